#include "results/ContentTypes.h"

#include <string_view>

#include "support/RuntimeError.h"
#include "support/TextCodec.h"

namespace loftwick {
namespace {

struct ContentTypeRow {
    std::string_view extensions;  // separated by blanks; each gives `contentType`
    std::string_view contentType;
    std::string_view extension;  // what `contentType` gives
};

// Rows are searched in this order both ways, so for a content type listed twice (application/postscript,
// video/quicktime) the first row's extension is the one saved copies get.
const ContentTypeRow kContentTypes[] = {
    {"ai", "application/postscript", "ai"},
    {"aif aifc aiff", "audio/aiff", "aif"},
    {"asa", "text/asa", "asa"},
    {"asf asx", "video/x-ms-asf", "asf"},
    {"au snd", "audio/basic", "au"},
    {"avi", "video/avi", "avi"},
    {"bmp", "image/bmp", "bmp"},
    {"class java", "java/*", "class"},
    // Only a content type: no extension leads back to the bare "java".
    {"", "java", "java"},
    {"css", "text/css", "css"},
    {"dll exe", "application/x-msdownload", "exe"},
    {"doc dot", "application/msword", "doc"},
    {"eml mht mhtml nws", "message/rfc822", "eml"},
    {"eps ps", "application/postscript", "ai"},
    {"gz", "application/x-gzip", "gz"},
    {"hta", "application/hta", "hta"},
    {"html asp htm shtml shtm phtml htx plg stm", "text/html", "html"},
    {"ico", "image/x-icon", "ico"},
    {"djv djvu", "image/x.djvu", "djv"},
    {"gif", "image/gif", "gif"},
    {"jpg jpeg jfif jpe", "image/jpeg", "jpg"},
    {"js ls", "application/x-javascript", "js"},
    {"lsf lsx", "video/x-la-asf", "lsf"},
    {"m1v mp2 mpa mpe mpeg mpg mpv2", "video/mpeg", "mpg"},
    {"mp3", "audio/mpeg", "mp3"},
    {"m3u", "audio/x-mpegurl", "m3u"},
    {"mid rmi", "audio/mid", "rmi"},
    {"mov", "video/quicktime", "mov"},
    {"movie", "video/x-sgi-movie", "movie"},
    {"pdf", "application/pdf", "pdf"},
    {"pl", "application/x-perl", "pl"},
    {"png", "image/png", "png"},
    {"pot ppa pps ppt pwz", "application/vnd.ms-powerpoint", "ppt"},
    {"prf", "application/pics-rules", "prf"},
    {"qt", "video/quicktime", "mov"},
    {"rtf", "text/rtf", "rtf"},
    {"scm uin", "application/x-icq", "scm"},
    {"sct wsc", "text/scriptlet", "sct"},
    {"spl", "application/futuresplash", "spl"},
    {"swf", "application/x-shockwave-flash", "swf"},
    {"tar", "application/x-tar", "tar"},
    {"tgz z", "application/x-compressed", "tgz"},
    {"txt asc", "text/plain", "txt"},
    {"tif tiff", "image/tiff", "tif"},
    {"vcf", "text/x-vcard", "vcf"},
    {"wav", "audio/x-wav", "wav"},
    {"xls", "application/x-msexcel", "xls"},
    {"xml xsl", "text/xml", "xml"},
    {"zip", "application/zip", "zip"},
};

bool ListsExtension(std::string_view list, std::string_view extension) {
    while (!list.empty()) {
        const size_t blank = list.find(' ');
        if (list.substr(0, blank) == extension) return true;
        if (blank == std::string_view::npos) break;
        list.remove_prefix(blank + 1);
    }
    return false;
}

}  // namespace

std::string ContentTypeFromFileName(const std::string& fileName, const std::string& defaultValue) {
    const std::string extension = GetFileExtension(fileName, "");
    if (extension.empty()) return defaultValue;
    for (const ContentTypeRow& row : kContentTypes) {
        if (ListsExtension(row.extensions, extension)) return std::string(row.contentType);
    }
    return defaultValue;
}

std::string ExtensionFromContentType(const std::string& contentType, const std::string& defaultValue) {
    for (const ContentTypeRow& row : kContentTypes) {
        if (row.contentType == contentType) return std::string(row.extension);
    }
    return defaultValue;
}

std::string GetFileExtension(const std::string& name, const std::string& defaultValue) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return defaultValue;
    std::string extension(Trim(std::string_view(name).substr(dot + 1)));
    const size_t query = extension.find('?');
    if (query != std::string::npos) extension.resize(query);
    if (extension.find_first_of("/\\ ") != std::string::npos) return defaultValue;
    return extension;
}

int32_t InstrSet(int32_t start, const std::string& text, const std::string& set) {
    if (start < 1) Raise(vberr::InvalidProcedureCall);
    if (set.empty()) return 0;
    const size_t found = text.find_first_of(set, static_cast<size_t>(start) - 1);
    return found == std::string::npos ? 0 : static_cast<int32_t>(found + 1);
}

}  // namespace loftwick
