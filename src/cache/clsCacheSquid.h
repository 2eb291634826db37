#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "cache/SwapMetadata.h"
#include "cache/clsCacheBase.h"

namespace loftwick {

// How the objects of one scan are deleted, decided once for the scan, and what came of it. Squid keeps
// its index in memory while it runs: under a running Squid an object is deleted by a PURGE request to
// it, never by removing its swap file; with no Squid running the swap file is removed, and the store's
// swap.state files must go too so that Squid rebuilds its index from the swap files on its next start.
struct SquidDeletion {
    bool purge = false;
    std::string address;  // the Squid asked to purge ("host:port")
    int64_t purged = 0;   // answered 200
    int64_t refused = 0;  // answered 403: PURGE is not allowed from this host
    int64_t failed = 0;   // any other answer, or none
    int64_t removed = 0;  // swap files removed
    std::string lastFailure;
};

// Decides how to delete the objects of the Squid cache in Program().CacheDir: by PURGE when a Squid runs
// for it (its pid file from Program().SquidConf names a live process, or Program().SquidAddress answers).
std::shared_ptr<SquidDeletion> DecideSquidDeletion();

// Removes the swap.state files (swap.state, swap.state.last-clean, ...) of a ufs cache folder, held
// first so that a folder swapped for a link changes nothing; returns how many went. Throws RuntimeError.
int64_t RemoveSwapState(const std::string& cacheDir);

// The report of refused PURGE requests: how Squid's configuration must allow them.
std::string PurgeRefusedAdvice();

// An object of a Squid ufs, aufs or diskd store: one swap file that holds the swap metadata, then the
// stored HTTP reply (status line, header lines, empty line, body). Binding reads the metadata and the
// head of the reply; the content is everything after the head.
//
// A swap file whose metadata is damaged or holds no URL, and Squid's own internal objects (content type
// "x-squid-internal/...", such as the markers of objects with variants) bind as Skipped: the path is
// kept, nothing else, and they are never listed.
//
// File times mean nothing to Squid (it keeps its own in the metadata and swap.state), and a renamed swap
// file is a lost one: FixFileTime, SetFileTTL and FixFileName change nothing and answer false.
class clsCacheSquid final : public clsCacheBase {
  public:
    // The first read: the metadata of almost every swap file and the head of its reply.
    static constexpr uint64_t kFirstRead = 16384;
    int32_t ProxyType() const override { return 3; }

    // A missing file, a link or a folder leaves the object unbound without a report; a damaged one binds
    // as Skipped. Other failures are reported ("clsCacheSquid:clsCache_Filename") and leave it unbound.
    void setFileName(const std::string& strNewValue) override;
    void BindAt(const HeldDir& folder, const std::string& name) override;
    bool TakeMetadata(const uint8_t* aBuffer, size_t size) override;

    // The host of the URL.
    std::string Host() const override;

    bool FixFileTime() override { return false; }
    bool SetFileTTL(int32_t) override { return false; }
    bool FixFileName() override { return false; }
    std::string FixedFileName() const override { return {}; }

    // Deletes when the metadata expiry lies before now; an object without expiry never ages.
    bool DeleteIfAged() override;
    bool IsAged() override;
    // By PURGE or by removing the swap file, as the scan's SquidDeletion says; without one (a command
    // on one result) it is decided now, and a removal takes the store's swap.state files along. False,
    // with the store unchanged, when Squid did not purge the object (reported unless a scan's
    // SquidDeletion gathers the outcomes).
    bool Delete() override;

    std::string ResponseHeadOf(InputFile& file) const override;
    bool Skipped() const override { return skipped_; }
    std::string StoredMetadataText() const override;

    // How the scan that binds this object deletes: set before each binding, and let go with the file
    // when the object's turn in the scan ends, so that a command on a kept result decides (and reports)
    // its deletion itself.
    void SetDeletion(std::shared_ptr<SquidDeletion> deletion) { deletion_ = std::move(deletion); }
    void ReleaseFile() override {
        clsCacheBase::ReleaseFile();
        deletion_.reset();
    }

  private:
    const char* FileCopyLocation() const override { return "clsCacheSquid:clsCache_FileCopy"; }
    const char* BindLocation() const override { return "clsCacheSquid:clsCache_Filename"; }
    void TakeContentFacts(InputFile& file, uint64_t size) override;
    void Skip();
    void ClearSwapFacts();
    bool Purge(SquidDeletion& deletion, bool report);

    // The Vary headers as stored ("" when none).
    const std::string& VaryHeaders() const;

    // What the swap metadata tells that is kept after binding; the URL goes to the common fields. Every
    // selected object is kept, so the store key is kept as its 16 bytes, and the Vary headers, which
    // few objects have, in a text of their own.
    std::array<uint8_t, 16> key_{};
    bool hasKey_ = false;
    bool skipped_ = false;
    uint16_t referenceCount_ = 0;
    int64_t timestamp_ = -1, lastReference_ = -1, expires_ = -1;
    std::unique_ptr<std::string> varyHeaders_;  // none, or emptied, when there are none
    std::shared_ptr<SquidDeletion> deletion_;
};

}  // namespace loftwick
