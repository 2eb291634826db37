#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "cache/clsCacheBase.h"

namespace loftwick {

// An object of a WinProxy cache: one file that holds a 9-byte lead-in, the URL line, the stored HTTP
// response header block and then the content. Binding reads at most the first 10,000 bytes, so that a
// scan over many thousands of files stays fast; everything after the header block is content.
class clsCacheWinProxy final : public clsCacheBase {
  public:
    int32_t ProxyType() const override { return 1; }

    // Most header blocks end within the first page, so that much is read first, and the rest of the
    // examined bytes only when the block goes on past it.
    static constexpr uint64_t kFirstRead = 4096;

    // Binds the object to the file at the path; a missing file, a link or a folder leaves it unbound
    // without a report. Any other failure is reported ("clsCacheWinProxy:clsCache_Filename") and also
    // leaves it unbound.
    void setFileName(const std::string& strNewValue) override;
    // WinProxy objects are bound by path only.
    bool TakeMetadata(const uint8_t* aBuffer, size_t size) override;

    // No host is derived for WinProxy objects: the URL line is all the file says, and the walk filters
    // on its host folder instead.
    std::string Host() const override { return {}; }

    // Reads the start of the file again: the head is kept nowhere, as only an export needs it.
    std::string ResponseHeadOf(InputFile& file) const override;

  private:
    const char* FileCopyLocation() const override { return "clsCacheWinProxy:clsCache_FileCopy"; }
    const char* BindLocation() const override { return "clsCacheWinProxy:clsCache_Filename"; }
    void TakeContentFacts(InputFile& file, uint64_t size) override;
};

}  // namespace loftwick
