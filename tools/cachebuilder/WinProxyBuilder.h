#pragma once
// Writes WinProxy caches: one folder per host below the cache folder, one file per object. An object
// file is a 9-byte lead-in, the URL line, a second line (the status line), header lines, an empty line,
// then the content.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cachebuilder/CacheBuilder.h"

namespace loftwick::builder {

// The lead-in the builder writes unless told otherwise; the program never reads it.
inline constexpr const char* kLeadIn = "LOFTWICK\n";
inline constexpr size_t kLeadInSize = 9;

// How the lines of the header block end.
enum class LineBreak {
    Lf,
    CrLf,
    Cr,
    Nul,
    Mixed,  // LF, CR LF and CR in turn, line by line
};

// The bytes that end line number `index` (0 is the URL line) in a given style.
std::string BreakOf(LineBreak style, size_t index);

struct WinProxyObject {
    std::string host;      // the folder below the cache folder
    std::string fileName;  // the file's name in it; "" makes one from the URL (see DefaultFileName)
    std::string leadIn = kLeadIn;
    std::string url;
    std::string statusLine = "HTTP/1.0 200 OK";
    std::vector<std::string> headerLines;  // written in this order, each as given ("Name: value")
    LineBreak lineBreak = LineBreak::CrLf;
    // The bytes after the last line's break instead of the empty line of the same style; a block that
    // is never closed, or one closed in an odd way, is made with this.
    std::optional<std::string> blockEnd;
    Content content;
    FileStamp stamp;
    // The whole file verbatim, for hostile shapes; only host, fileName and stamp still count.
    std::optional<std::string> rawFile;

    WinProxyObject& Header(const std::string& name, const std::string& value);
};

// The bytes in front of the content: lead-in, URL line, second line, header lines and the empty line.
// For the LF and CR LF styles its length is the header length the program computes.
std::string HeaderBlock(const WinProxyObject& object);

// "<8 hex digits of a hash of the URL>_<last path segment>", a name with a prefix ending at its first
// "_", as the cache names its files.
std::string DefaultFileName(const std::string& url);

// An HTTP date text of an instant: "Sun, 06 Nov 1994 08:49:37 GMT".
std::string HttpDate(int64_t epochSeconds);

class WinProxyCache {
  public:
    // Creates the cache folder (and its parents) when missing.
    explicit WinProxyCache(std::string dir);

    // Writes one object file and returns its full path. Throws std::runtime_error.
    std::string Add(const WinProxyObject& object);
    // The path Add writes the object to.
    std::string PathOf(const WinProxyObject& object) const;

    // The cache folder, ending in "/", as the program's CacheDir holds it.
    std::string CacheDir() const;

  private:
    std::string dir_;
};

}  // namespace loftwick::builder
