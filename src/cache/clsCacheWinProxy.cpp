#include "cache/clsCacheWinProxy.h"

#include <algorithm>

#include "cache/StoredHeaders.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick {

namespace {

// Only the start of a file is examined: a header block that has not ended by then is not one.
constexpr uint64_t kExaminedBytes = 10000;
// Most header blocks end within the first page, so that much is read first, and the rest of the
// examined bytes only when the block goes on past it. The block ends where it would in the full
// examined text: a walk over a shorter text that finds the end finds the same one.
constexpr uint64_t kFirstRead = 4096;
// Shorter files cannot hold a lead-in, a URL and an ended block worth parsing.
constexpr uint64_t kSmallestParsedFile = 20;

}  // namespace

void clsCacheWinProxy::setFileName(const std::string& strNewValue) {
    ClearMetadata();
    if (strNewValue.empty()) return;
    try {
        Bind(strNewValue);
    } catch (const RuntimeError& e) {
        ClearMetadata();
        if (!IsMissingFileError(e)) HandleError("clsCacheWinProxy:clsCache_Filename", strNewValue);
    } catch (...) {
        ClearMetadata();
        HandleError("clsCacheWinProxy:clsCache_Filename", strNewValue);
    }
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

    // Shared by every object this thread binds, so that binding allocates nothing once they have
    // grown, and a kept object holds no buffer.
    thread_local std::string examined;
    thread_local StoredHeaderBlock block;
    const size_t wanted = static_cast<size_t>(std::min(size, kExaminedBytes));
    const size_t first = static_cast<size_t>(std::min<uint64_t>(wanted, kFirstRead));
    examined.resize(wanted);
    size_t got = in->Read(examined.data(), first);
    if (ParseStoredHeaderBlock(std::string_view(examined.data(), got), block) == 0 && got == first &&
        wanted > first) {
        got += in->Read(examined.data() + first, wanted - first);
        ParseStoredHeaderBlock(std::string_view(examined.data(), got), block);
    }
    url_ = block.url;
    contentType_ = block.contentType;
    reportedLength_ = block.contentLength;
    SetCodings(block.contentEncoding, block.transferEncoding);
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
