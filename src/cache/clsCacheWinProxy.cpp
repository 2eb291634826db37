#include "cache/clsCacheWinProxy.h"

#include <algorithm>

#include "cache/StoredHeaders.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick {

namespace {

// Only the start of a file is examined: a header block that has not ended by then is not one.
constexpr uint64_t kExaminedBytes = 10000;
// A block that ends within the first read (kFirstRead) ends where it would in the full examined text:
// a walk over a shorter text that finds the end finds the same one.
// Shorter files cannot hold a lead-in, a URL and an ended block worth parsing.
constexpr uint64_t kSmallestParsedFile = 20;

}  // namespace

void clsCacheWinProxy::setFileName(const std::string& strNewValue) { BindPath(strNewValue); }

// Everything is read from the start of the open file with one read: the head, and for small objects all
// of it.
void clsCacheWinProxy::TakeContentFacts(InputFile& file, uint64_t size) {
    ClearContentFacts();
    actualLength_ = static_cast<int64_t>(size);
    if (size < kSmallestParsedFile) return;

    // Shared by every object this thread binds, so that binding allocates nothing once they have
    // grown, and a kept object holds no buffer.
    thread_local std::string examined;
    thread_local StoredHeaderBlock block;
    const size_t wanted = static_cast<size_t>(std::min(size, kExaminedBytes));
    const size_t first = static_cast<size_t>(std::min<uint64_t>(wanted, kFirstRead));
    examined.resize(wanted);
    size_t got = file.Read(examined.data(), first);
    if (ParseStoredHeaderBlock(std::string_view(examined.data(), got), block) == 0 && got == first &&
        wanted > first) {
        got += file.Read(examined.data() + first, wanted - first);
        ParseStoredHeaderBlock(std::string_view(examined.data(), got), block);
    }
    url_ = block.url;
    SetContentLabel(block.contentType, block.contentEncoding, block.transferEncoding);
    reportedLength_ = block.contentLength;
    headerLength_ = block.headerLength;
    if (block.hasDate) SetRetrieved(InternetDateTime2Date(block.date));
    if (block.hasLastModified) modified_ = InternetDateTime2Date(block.lastModified);
    actualLength_ = static_cast<int64_t>(size) - headerLength_;
}

bool clsCacheWinProxy::TakeMetadata(const uint8_t*, size_t) { return false; }

std::string clsCacheWinProxy::ResponseHeadOf(InputFile& file) const {
    if (headerLength_ == 0) return {};
    file.Seek(0);
    std::string examined(static_cast<size_t>(std::min(file.Size(), kExaminedBytes)), '\0');
    examined.resize(file.Read(examined.data(), examined.size()));
    return loftwick::ResponseHeadOf(std::string_view(examined));
}

}  // namespace loftwick
