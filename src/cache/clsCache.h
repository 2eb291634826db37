#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "cache/ParsedFilter.h"
#include "support/FileSystem.h"
#include "support/OleDate.h"

namespace loftwick {

// One object of the proxy's disk cache: a cached file and the metadata the proxy stored with it.
// Callers bind it (fileName / TakeMetadata), then ask; only the operations touch the file again.
// No member throws: failures are reported through HandleError and answered with the neutral value.
// Text is bytes as stored in the cache, one byte per character.
class clsCache {
  public:
    virtual ~clsCache() = default;

    virtual int32_t ProxyType() const = 0;

    // Path of the bound file; empty when unbound or when binding failed (a missing file).
    virtual std::string fileName() const = 0;
    // Whether fileName is not empty, without making the path.
    virtual bool HasFile() const { return !fileName().empty(); }
    // Binds the object to a file and reads its metadata.
    virtual void setFileName(const std::string& strNewValue) = 0;
    // Binds the object from one index record (WinGate); the WinProxy object returns false.
    virtual bool TakeMetadata(const uint8_t* aBuffer, size_t size) = 0;
    // Binds the object to the entry `name` of a folder the walk holds, so that the file bound is the one
    // in that very folder whatever is renamed along its path. A WinGate object binds the content files its
    // records name in the folder it was last given.
    virtual void BindAt(const HeldDir& folder, const std::string& name) { setFileName(folder.PathOf(name)); }
    // Lets the open file of a bound object go (a scan holds one object's file at a time). Later operations
    // find the file again by its name in the held folder and act only while it is still the bound file.
    virtual void ReleaseFile() {}
    // The folder whose files the records name (WinGate); others ignore it.
    virtual void UseFolder(const HeldDir& folder) { (void)folder; }

    virtual OleDate DateModified() const = 0;   // local time; zero when none
    virtual OleDate DateRetrieved() const = 0;  // local time; zero when none
    virtual int32_t AgeRetrieved() const = 0;   // calendar days from DateRetrieved to today; 0 when none

    virtual bool FixFileTime() = 0;
    virtual bool SetFileTTL(int32_t lngDaysToLive) = 0;
    virtual bool FixFileName() = 0;

    virtual int64_t ContentLen() const = 0;        // as the proxy recorded it; 0 when none
    virtual int64_t ContentLenActual() const = 0;  // content bytes actually in the file
    virtual const std::string& ContentType() const = 0;
    virtual const std::string& ObjectName() const = 0;  // the URL
    virtual std::string Host() const = 0;               // WinGate only

    virtual bool DeleteIfAged() = 0;
    virtual bool Delete() = 0;

    // What DeleteIfAged and FixFileName would do, asked without doing it (a preview): whether the stored
    // expiry lies before now, and the path the new prefix would give ("" when the name would stay).
    // Reading them changes nothing on disk; the neutral answers suit an object with no file.
    virtual bool IsAged() { return false; }
    virtual std::string FixedFileName() const { return {}; }

    // Looks for the filter's words not yet found in the content from position lngStart (1-based) on and
    // sets their Found flags; true when every word has been found.
    virtual bool FindInContents(ParsedFilter& filter, int64_t lngStart = 1) = 0;

    virtual bool MetaGathered() const = 0;

    // Whether the path still names the very file that binding read (the proxy may replace files while
    // a scan runs); an object is only deleted while this holds.
    virtual bool StillSameFile() const = 0;
    // Removes the bound file's name from its folder while the name still stands for the bound file;
    // false, with nothing removed, when it does not. Throws RuntimeError.
    virtual bool RemoveIfSame() { return false; }

    // Writes the content (without stored headers) to Destination and stamps its last-write time. While
    // Program().DecodeContent is on and the stored headers name codings this program can undo, the copy
    // is decoded; content that does not decode is copied as stored and DecodeFailed turns true.
    virtual bool FileCopy(const std::string& Destination) = 0;
    // The same into the entry `name` of a held folder: a new file there, renamed over `name` once whole.
    virtual bool FileCopyAt(const HeldDir& folder, const std::string& name) {
        return FileCopy(folder.PathOf(name));
    }

    // The members below have answers for a format that stores no HTTP headers (WinGate), so that an
    // object of such a format, or a stand-in, need not spell them out.

    // The stored "Content-Encoding" and "Transfer-Encoding" values ("" when none).
    virtual std::string ContentEncoding() const { return {}; }
    virtual std::string TransferEncoding() const { return {}; }
    // Whether decoding the content failed since binding, so that copies and searches used the bytes as
    // stored ("raw"). Only FileCopy and FindInContents decode; binding clears it.
    virtual bool DecodeFailed() const { return false; }
    // Bytes in front of the content in the bound file: the stored header block.
    virtual int64_t ContentOffset() const { return 0; }
    // The bound file, open for reading its content, checked against the file bound (device, inode, size,
    // last-write time). Should the proxy have rewritten or replaced it since, what binding read is read
    // again from the file now open, so that ContentOffset and ResponseHeadOf describe that file. Nothing
    // when the file is gone. Throws RuntimeError.
    virtual std::shared_ptr<InputFile> OpenContent() { return nullptr; }
    // The stored status line and header lines, each ended by CR LF, and the empty line that closes them,
    // read from a file OpenContent gave; "" when the format stores none or they cannot be read.
    virtual std::string ResponseHeadOf(InputFile& file) const {
        (void)file;
        return {};
    }
    // Whether the bound file is no object to list: Squid's internal objects and swap files whose
    // metadata cannot be read. The path stays; the scan counts them as skipped.
    virtual bool Skipped() const { return false; }
    // What the format stores beside the reply that a user may want to see, as lines ended by CR LF
    // except the last; "" when nothing (Squid: the store key and the times of its metadata).
    virtual std::string StoredMetadataText() const { return {}; }
};

// A new, unbound cache object of the implementation that matches a proxy type (1, 2 or 3).
std::shared_ptr<clsCache> NewCacheObject(int32_t proxyType);

}  // namespace loftwick
