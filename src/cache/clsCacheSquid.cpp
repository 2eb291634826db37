#include "cache/clsCacheSquid.h"

#include <algorithm>

#include "cache/StoredHeaders.h"
#include "support/Clock.h"
#include "support/FileSystem.h"
#include "support/OleDate.h"
#include "support/Program.h"
#include "support/ProxyControl.h"
#include "support/SquidConf.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

// The head of the stored reply is looked for in this many bytes after the metadata, as in the other
// formats: a head that has not ended by then is not one.
constexpr uint64_t kExaminedReply = 10000;
constexpr uint64_t kFirstRead = clsCacheSquid::kFirstRead;

constexpr std::string_view kInternalType = "x-squid-internal/";

// The swap metadata and as much of the reply as binding examines into `bytes`, which keeps its room;
// fewer bytes when the file is shorter.
void ReadSwapFileStart(InputFile& in, uint64_t size, std::string& bytes) {
    bytes.resize(static_cast<size_t>(std::min(size, kFirstRead)));
    bytes.resize(in.Read(bytes.data(), bytes.size()));
    const std::optional<uint64_t> length = SwapMetaLength(bytes);
    if (!length) return;
    const uint64_t wanted = std::min(size, *length + kExaminedReply);
    if (wanted > bytes.size()) {
        const size_t had = bytes.size();
        bytes.resize(static_cast<size_t>(wanted));
        bytes.resize(had + in.Read(bytes.data() + had, bytes.size() - had));
    }
}

}  // namespace

std::shared_ptr<SquidDeletion> DecideSquidDeletion() {
    auto deletion = std::make_shared<SquidDeletion>();
    deletion->address = Program().SquidAddress;
    const SquidConfFacts conf = ReadSquidConf(Program().SquidConf);
    deletion->purge = TheProxyControl().SquidRunning(conf.pidFile, deletion->address);
    return deletion;
}

int64_t RemoveSwapState(const std::string& cacheDir) {
    FileSystem& fs = TheFileSystem();
    const HeldDir cache = fs.OpenDirectory(cacheDir);
    int64_t removed = 0;
    for (const DirEntry& entry : fs.ListAt(cache)) {
        if (entry.isLink || entry.kind != EntryKind::File || entry.name.rfind("swap.state", 0) != 0) continue;
        if (fs.RemoveAt(cache, entry.name, nullptr)) ++removed;
    }
    return removed;
}

std::string PurgeRefusedAdvice() {
    return "Squid's configuration must allow PURGE from this host, for example with these two lines in "
           "squid.conf, before its first \"http_access deny\":\r\n"
           "    acl purge method PURGE\r\n"
           "    http_access allow localhost purge";
}

void clsCacheSquid::setFileName(const std::string& strNewValue) { BindPath(strNewValue); }

void clsCacheSquid::ClearSwapFacts() {
    hasKey_ = false;
    skipped_ = false;
    referenceCount_ = 0;
    timestamp_ = lastReference_ = expires_ = -1;
    if (varyHeaders_) varyHeaders_->clear();
}

const std::string& clsCacheSquid::VaryHeaders() const {
    static const std::string none;
    return varyHeaders_ ? *varyHeaders_ : none;
}

void clsCacheSquid::BindAt(const HeldDir& folder, const std::string& name) {
    ClearSwapFacts();
    clsCacheBase::BindAt(folder, name);
}

// The bound file stays bound (its name, identity and open file); nothing else of it is taken.
void clsCacheSquid::Skip() {
    ClearSwapFacts();
    skipped_ = true;
}

void clsCacheSquid::TakeContentFacts(InputFile& file, uint64_t size) {
    ClearContentFacts();
    actualLength_ = 0;
    ClearSwapFacts();

    // One room for every swap file this thread binds.
    thread_local std::string start;
    thread_local SwapMetadata meta;
    thread_local StoredHeaderBlock reply;
    ReadSwapFileStart(file, size, start);
    ParseSwapMetadata(start, meta);
    if (!meta.valid) return Skip();

    ParseStoredReply(std::string_view(start).substr(meta.length), reply);
    if (StartsWithNoCase(reply.contentType, kInternalType)) return Skip();  // an internal object of Squid
    url_ = meta.url;
    key_ = meta.key;
    hasKey_ = meta.hasKey;
    referenceCount_ = meta.referenceCount;
    timestamp_ = meta.timestamp;
    lastReference_ = meta.lastReference;
    expires_ = meta.expires;
    if (!meta.varyHeaders.empty()) {
        if (!varyHeaders_) varyHeaders_ = std::make_unique<std::string>();
        *varyHeaders_ = meta.varyHeaders;
    }
    SetContentLabel(reply.contentType, reply.contentEncoding, reply.transferEncoding);
    reportedLength_ = reply.contentLength;
    // A head that does not end where it is looked for leaves everything after the metadata as content.
    headerLength_ = static_cast<int64_t>(meta.length) + reply.headerLength;
    if (reply.hasDate) {
        SetRetrieved(InternetDateTime2Date(reply.date));
    } else if (meta.timestamp > 0) {
        SetRetrieved(EpochToLocalDate(meta.timestamp));
    }
    if (reply.hasLastModified) {
        modified_ = InternetDateTime2Date(reply.lastModified);
    } else if (meta.lastModified > 0) {
        modified_ = EpochToLocalDate(meta.lastModified);
    }
    actualLength_ = std::max<int64_t>(static_cast<int64_t>(size) - headerLength_, 0);
}

bool clsCacheSquid::TakeMetadata(const uint8_t*, size_t) { return false; }

std::string clsCacheSquid::Host() const {
    const size_t scheme = url_.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    std::string authority = url_.substr(start, url_.find_first_of("/?#", start) - start);
    if (const size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority.front() == '[') return authority.substr(0, authority.find(']') + 1);
    return authority.substr(0, authority.find(':'));
}

bool clsCacheSquid::IsAged() {
    return HasFile() && !skipped_ && expires_ > 0 && expires_ < TheClock().EpochSeconds();
}

bool clsCacheSquid::DeleteIfAged() { return IsAged() && Delete(); }

bool clsCacheSquid::Purge(SquidDeletion& deletion, bool report) {
    std::string failure;
    const int status =
        TheProxyControl().Purge(deletion.address, url_, VaryRequestHeaders(VaryHeaders()), failure);
    if (status == 200) {
        ++deletion.purged;
        return true;
    }
    if (status == 403) {
        ++deletion.refused;
        failure = "Squid at " + deletion.address + " refused to purge the object (403 Forbidden). " +
                  PurgeRefusedAdvice();
    } else {
        ++deletion.failed;
        failure = status == 0 ? "no answer from Squid at " + deletion.address + ": " + failure
                              : "Squid at " + deletion.address + " answered " + std::to_string(status) +
                                    " to the PURGE request";
    }
    deletion.lastFailure = failure;
    if (report)
        Trapped("Delete", url_, false, [&] {
            Raise(vberr::PermissionDenied, failure);
            return false;
        });
    return false;
}

bool clsCacheSquid::Delete() {
    if (!HasFile() || skipped_) return false;
    const std::shared_ptr<SquidDeletion> deletion = deletion_ ? deletion_ : DecideSquidDeletion();
    if (deletion->purge) return Purge(*deletion, !deletion_);
    const bool removed = Trapped("Delete", "File:\"" + fileName() + "\"", false, [&] {
        if (!RemoveIfSame())
            Raise(vberr::FileNotFound, "The file is gone or was replaced since it was read: " + fileName());
        return true;
    });
    if (!removed) {
        ++deletion->failed;
        deletion->lastFailure = "the swap file " + fileName() + " could not be removed";
        return false;
    }
    ++deletion->removed;
    // One object deleted by hand: its store is told at once, as a scan tells it at its end.
    if (!deletion_) TrappedVoid("Delete", Program().CacheDir, [] { RemoveSwapState(Program().CacheDir); });
    return true;
}

std::string clsCacheSquid::StoredMetadataText() const {
    if (!HasFile() || skipped_) return {};
    auto moment = [](int64_t seconds) {
        return seconds <= 0 ? std::string("none") : FormatGeneralDate(EpochToLocalDate(seconds));
    };
    const std::string key =
        hasKey_ ? HexOf(std::string_view(reinterpret_cast<const char*>(key_.data()), key_.size())) : "none";
    return "Squid key: " + key + "\r\n" + "Time stamp: " + moment(timestamp_) + "\r\n" +
           "Last reference: " + moment(lastReference_) + "\r\n" + "Expires: " + moment(expires_) + "\r\n" +
           "Reference count: " + std::to_string(referenceCount_) +
           (VaryHeaders().empty() ? std::string() : "\r\nVary headers: " + VaryHeaders());
}

std::string clsCacheSquid::ResponseHeadOf(InputFile& file) const {
    file.Seek(0);
    std::string start;
    ReadSwapFileStart(file, file.Size(), start);
    const SwapMetadata meta = ParseSwapMetadata(start);
    if (!meta.valid) return {};
    return loftwick::ReplyHeadOf(std::string_view(start).substr(meta.length));
}

}  // namespace loftwick
