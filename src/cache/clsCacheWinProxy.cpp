#include "cache/clsCacheWinProxy.h"

#include <algorithm>

#include "cache/StoredHeaders.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick {

namespace {

// Only the start of a file is examined: a header block that has not ended by then is not one.
constexpr uint64_t kExaminedBytes = 10000;
// Shorter files cannot hold a lead-in, a URL and an ended block worth parsing.
constexpr uint64_t kSmallestParsedFile = 20;

}  // namespace

void clsCacheWinProxy::setFileName(const std::string& strNewValue) {
    BindReporting(strNewValue, "clsCacheWinProxy:clsCache_Filename", [this](const std::string& path) { Bind(path); });
}

void clsCacheWinProxy::Bind(const std::string& path) {
    FileInfo listed;
    if (!TakeFileFacts(path, listed)) return;
    std::unique_ptr<InputFile> in = TheFileSystem().OpenRead(path, false);
    // What was opened is what counts, should the path have been replaced since the Lstat.
    const FileInfo opened = in->Info();
    TakeIdentity(opened);
    const uint64_t size = opened.size;
    actualLength_ = static_cast<int64_t>(size);
    if (size < kSmallestParsedFile) return;

    std::string examined(static_cast<size_t>(std::min(size, kExaminedBytes)), '\0');
    examined.resize(in->Read(examined.data(), examined.size()));
    const StoredHeaderBlock block = ParseStoredHeaderBlock(examined);
    url_ = block.url;
    contentType_ = block.contentType;
    reportedLength_ = block.contentLength;
    contentEncoding_ = block.contentEncoding;
    transferEncoding_ = block.transferEncoding;
    headerLength_ = block.headerLength;
    if (!block.date.empty()) SetRetrieved(InternetDateTime2Date(block.date));
    if (!block.lastModified.empty()) modified_ = InternetDateTime2Date(block.lastModified);
    actualLength_ = static_cast<int64_t>(size) - headerLength_;
}

bool clsCacheWinProxy::TakeMetadata(const uint8_t*, size_t) { return false; }

std::string clsCacheWinProxy::StoredResponseHead() const {
    if (path_.empty() || headerLength_ == 0) return {};
    try {
        std::unique_ptr<InputFile> in = TheFileSystem().OpenRead(path_, false);
        std::string examined(static_cast<size_t>(std::min(in->Size(), kExaminedBytes)), '\0');
        examined.resize(in->Read(examined.data(), examined.size()));
        return ResponseHeadOf(examined);
    } catch (...) {
        return {};  // the reader of the content will meet the same failure and report it
    }
}

}  // namespace loftwick
