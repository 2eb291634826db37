#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "cache/clsCache.h"
#include "support/FileSystem.h"
#include "support/OleDate.h"
#include "support/RuntimeError.h"

namespace loftwick {

// What the WinProxy and WinGate objects share: the fields binding fills, the getters, and the operations
// that act on the bound file the same way in both formats (times, rename, delete, search, copy). The
// formats differ in how they bind, in where the content starts (headerLength_) and in their report
// locations.
//
// Safety rules both formats keep:
// - A path that is a symbolic link, a folder or anything but a regular file binds as a missing file, so
//   no later operation can act through a link.
// - Binding remembers which file it bound (device and inode); StillSameFile tells whether the path still
//   names it, so that a caller can refuse to delete a file that was replaced since.
bool IsMissingFileError(const RuntimeError& error);

class clsCacheBase : public clsCache {
  public:
    std::string fileName() const override { return path_; }

    OleDate DateModified() const override { return modified_; }
    OleDate DateRetrieved() const override { return retrieved_; }
    int32_t AgeRetrieved() const override { return age_; }

    // Stamp the file with the retrieval moment (else the modification moment, else now): the last-write
    // time, or as expiry the creation time. Failures are ModifyFileStamp's to handle; always true.
    bool FixFileTime() override;
    bool SetFileTTL(int32_t lngDaysToLive) override;
    // Replaces the name's prefix (up to its first "_") by ContentTypePrefix. False when there is no
    // content type, or when the rename fails (a file of the new name exists); the path is then unchanged.
    bool FixFileName() override;

    int64_t ContentLen() const override { return reportedLength_; }
    int64_t ContentLenActual() const override { return actualLength_; }
    std::string ContentType() const override { return contentType_; }
    std::string ObjectName() const override { return url_; }

    // Delete the bound file; the path and the metadata stay. DeleteIfAged only when the creation time
    // read at binding (the expiry that SetFileTTL stores) lies before now.
    bool DeleteIfAged() override;
    bool Delete() override;

    // Searches the decoded content when FileCopy would decode it (lngStart then counts decoded bytes);
    // on content that does not decode, the words found so far stay found and the stored bytes are
    // searched for the rest.
    bool FindInContents(ParsedFilter& filter, int64_t lngStart = 1) override;

    bool MetaGathered() const override { return false; }

    // The content goes to a temporary file beside Destination that replaces it only once complete; a
    // failed copy leaves Destination as it was. A link at Destination is replaced, never written through.
    bool FileCopy(const std::string& Destination) override;

    std::string ContentEncoding() const override { return contentEncoding_; }
    std::string TransferEncoding() const override { return transferEncoding_; }
    bool DecodeFailed() const override { return decodeFailed_; }
    int64_t ContentOffset() const override { return headerLength_; }

    // True while the path names the very regular file that binding read (same device and inode, not a
    // link); false when unbound, deleted or replaced since.
    bool StillSameFile() const override;

  protected:
    clsCacheBase() = default;

    // Resets every field binding sets, the path included.
    void ClearMetadata();
    // The retrieval date and, from it and today, the age in days (0 for no date).
    void SetRetrieved(OleDate date);
    // Takes path, creation time and identity of a regular file; false, with nothing taken, when the path
    // names no regular file (missing, a link, a folder). Throws RuntimeError.
    bool TakeFileFacts(const std::string& path, FileInfo& info);
    // The creation time as the file first showed it; nothing when it cannot be read.
    std::optional<OleDate> Created() const;
    // The identity of the file as it was opened, when that is known better than from the path.
    void TakeIdentity(const FileInfo& info);
    // Clears the metadata and runs `bind` on the path. A missing file leaves the object unbound without
    // a report; any other failure is reported at `location` and leaves it unbound too.
    template <class Bind>
    void BindReporting(const std::string& path, const char* location, Bind&& bind) {
        ClearMetadata();
        if (path.empty()) return;
        try {
            bind(path);
        } catch (const RuntimeError& e) {
            ClearMetadata();
            if (!IsMissingFileError(e)) ReportBindFailure(location, path);
        } catch (...) {
            ClearMetadata();
            ReportBindFailure(location, path);
        }
    }

    virtual const char* FileCopyLocation() const = 0;

    std::string path_;
    std::string url_;
    std::string contentType_;
    // The creation time as binding found it; read from the file on first use.
    mutable std::optional<OleDate> created_;
    mutable bool createdRead_ = false;
    OleDate retrieved_;
    OleDate modified_;
    int32_t age_ = 0;
    int64_t reportedLength_ = 0;
    int64_t actualLength_ = 0;
    int64_t headerLength_ = 0;  // bytes in front of the content; 0 for WinGate
    std::string contentEncoding_;   // as stored; always "" for WinGate
    std::string transferEncoding_;  // as stored; always "" for WinGate

  private:
    class WordSearch;  // the state of one contents search

    static void ReportBindFailure(const char* location, const std::string& path);

    OleDate StampMoment() const;
    // Whether copies and searches decode this object's content.
    bool Decodes() const;
    // Writes the decoded content to Destination as CopyFilePart writes the stored one. False, with
    // Destination as it was and DecodeFailed set, when the content does not decode. Throws RuntimeError.
    bool CopyDecoded(const std::string& Destination);
    // Searches the decoded content of `in` (stored bytes: storedLength). False when there was nothing
    // to decode or it did not decode; the stored bytes are then to be searched. Throws RuntimeError.
    bool SearchDecoded(InputFile& in, WordSearch& search, int64_t start, uint64_t storedLength);

    bool decodeFailed_ = false;

    bool identityKnown_ = false;
    uint64_t device_ = 0;
    uint64_t inode_ = 0;
};

// The prefix FixFileName gives a cache file: the content type's subtype (else its type) and "_", for
// "text/html; charset=utf-8" "html_"; "_" alone for a type without "/". Characters that would end the
// prefix early or leave the folder ("_", "/", backslash, control characters) become "-", so that a renamed
// file keeps its name on every later run instead of losing one more "_"-ended piece each time.
std::string ContentTypePrefix(const std::string& contentType);

// Whether a run-time error means "there is no such file" (which binding does not report).
bool IsMissingFileError(const RuntimeError& error);

}  // namespace loftwick
