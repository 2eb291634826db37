#include "results/ContentTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/RuntimeError.h"

namespace loftwick {
namespace {

TEST(GetFileExtension, QueryIsCutBlankOrSeparatorMeansNoExtension) {
    EXPECT_EQ(GetFileExtension("a.b?c", "x"), "b");
    EXPECT_EQ(GetFileExtension("a.b c", "x"), "x");
    EXPECT_EQ(GetFileExtension("abc", "x"), "x");
    EXPECT_EQ(GetFileExtension("abc.", "x"), "");
    // The dot belongs to a directory, not to the name.
    EXPECT_EQ(GetFileExtension("www.host/page", "x"), "x");
    EXPECT_EQ(GetFileExtension("www.host\\page", "x"), "x");
    // Only the last dot counts, and blanks around the extension are not part of it.
    EXPECT_EQ(GetFileExtension("archive.tar.gz", "x"), "gz");
    EXPECT_EQ(GetFileExtension("page.  htm  ", "x"), "htm");
    EXPECT_EQ(GetFileExtension(".htaccess", "x"), "htaccess");
}

TEST(InstrSet, FindsTheFirstOfAnySetCharacterFromStart) {
    EXPECT_EQ(InstrSet(1, "abc;d&e", ";&"), 4);
    EXPECT_EQ(InstrSet(5, "abc;d&e", ";&"), 6);
    EXPECT_EQ(InstrSet(4, "abc;d&e", ";&"), 4);
    EXPECT_EQ(InstrSet(1, "abc", ";&"), 0);
    EXPECT_EQ(InstrSet(1, "abc;", ""), 0);
    EXPECT_EQ(InstrSet(8, "abc;d&e", ";&"), 0);
    EXPECT_EQ(InstrSet(100, "", ";&"), 0);
}

TEST(InstrSet, StartBelowOneIsTheCallersError) {
    try {
        InstrSet(0, "abc", "a");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), vberr::InvalidProcedureCall);
    }
}

TEST(ContentTypeTable, ContentTypeListedTwiceGivesTheFirstRowsExtension) {
    EXPECT_EQ(ContentTypeFromFileName("x.eps", "?"), "application/postscript");
    EXPECT_EQ(ContentTypeFromFileName("x.ps", "?"), "application/postscript");
    EXPECT_EQ(ExtensionFromContentType("application/postscript", "?"), "ai");
    EXPECT_EQ(ContentTypeFromFileName("x.qt", "?"), "video/quicktime");
    EXPECT_EQ(ExtensionFromContentType("video/quicktime", "?"), "mov");
}

TEST(ContentTypeTable, JavaRowsDoNotMix) {
    EXPECT_EQ(ContentTypeFromFileName("Main.java", "?"), "java/*");
    EXPECT_EQ(ContentTypeFromFileName("Main.class", "?"), "java/*");
    EXPECT_EQ(ExtensionFromContentType("java/*", "?"), "class");
    EXPECT_EQ(ExtensionFromContentType("java", "?"), "java");
}

TEST(ContentTypeTable, LookupsAreExactCaseIncluded) {
    EXPECT_EQ(ContentTypeFromFileName("PIC.GIF", "none"), "none");
    EXPECT_EQ(ExtensionFromContentType("Image/GIF", "none"), "none");
    EXPECT_EQ(ExtensionFromContentType("image/gif; charset=x", "none"), "none");
    EXPECT_EQ(ExtensionFromContentType("text/htm", "none"), "none");
}

TEST(ContentTypeTable, NamesWithoutAUsableExtensionGiveTheDefault) {
    EXPECT_EQ(ContentTypeFromFileName("readme", "text"), "text");
    EXPECT_EQ(ContentTypeFromFileName("readme.", "text"), "text");
    EXPECT_EQ(ContentTypeFromFileName("a.b c", "text"), "text");
    EXPECT_EQ(ContentTypeFromFileName("a.unknown", "text"), "text");
    EXPECT_EQ(ExtensionFromContentType("", "html"), "html");
    // "tar.gz" is not a row; the last extension decides.
    EXPECT_EQ(ContentTypeFromFileName("a.tar.gz", "?"), "application/x-gzip");
    EXPECT_EQ(ContentTypeFromFileName("page.asp?id=1", "?"), "text/html");
}

// Every extension the table knows leads to a content type whose own extension leads back to the same
// content type, so a saved copy never gets an extension that would be read as something else.
TEST(ContentTypeTable, EveryKnownExtensionRoundTrips) {
    const std::vector<std::string> extensions = {
        "ai",   "aif",  "aifc", "aiff", "asa",  "asf",   "asx",  "au",    "snd",   "avi", "bmp", "class",
        "java", "css",  "dll",  "exe",  "doc",  "dot",   "eml",  "mht",   "mhtml", "nws", "eps", "ps",
        "gz",   "hta",  "html", "asp",  "htm",  "shtml", "shtm", "phtml", "htx",   "plg", "stm", "ico",
        "djv",  "djvu", "gif",  "jpg",  "jpeg", "jfif",  "jpe",  "js",    "ls",    "lsf", "lsx", "m1v",
        "mp2",  "mpa",  "mpe",  "mpeg", "mpg",  "mpv2",  "mp3",  "m3u",   "mid",   "rmi", "mov", "movie",
        "pdf",  "pl",   "png",  "pot",  "ppa",  "pps",   "ppt",  "pwz",   "prf",   "qt",  "rtf", "scm",
        "uin",  "sct",  "wsc",  "spl",  "swf",  "tar",   "tgz",  "z",     "txt",   "asc", "tif", "tiff",
        "vcf",  "wav",  "xls",  "xml",  "xsl",  "zip"};
    for (const std::string& extension : extensions) {
        const std::string contentType = ContentTypeFromFileName("name." + extension, "");
        ASSERT_FALSE(contentType.empty()) << extension;
        const std::string back = ExtensionFromContentType(contentType, "");
        EXPECT_EQ(ContentTypeFromFileName("name." + back, ""), contentType) << extension;
    }
    EXPECT_EQ(ContentTypeFromFileName("x.txt", ""), "text/plain");
    EXPECT_EQ(ContentTypeFromFileName("x.asc", ""), "text/plain");
    EXPECT_EQ(ExtensionFromContentType("text/plain", ""), "txt");
    EXPECT_EQ(ExtensionFromContentType("audio/mid", ""), "rmi");
    EXPECT_EQ(ExtensionFromContentType("image/jpeg", ""), "jpg");
    EXPECT_EQ(ExtensionFromContentType("application/x-compressed", ""), "tgz");
}

}  // namespace
}  // namespace loftwick
