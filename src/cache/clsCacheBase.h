#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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
// - An object is a name in a held folder (the walk's), never a path walked again: a folder along the
//   path swapped for a link after the walk listed it changes nothing the object does.
// - A name that is a symbolic link, a folder or anything but a regular file binds as a missing file, so
//   no later operation can act through a link.
// - Binding keeps the file it opened, and its facts (device, inode, size, last-write time). Times are
//   set on that very file; a name is removed only while it still stands for it; copies read the file now
//   at the name and read its header block again when the proxy has rewritten it since.
bool IsMissingFileError(const RuntimeError& error);

class clsCacheBase : public clsCache {
  public:
    // The held folder's path and the name: made when asked, as a kept result need not hold it.
    std::string fileName() const override { return name_.empty() ? std::string() : folder_.PathOf(name_); }
    bool HasFile() const override { return !name_.empty(); }

    OleDate DateModified() const override { return modified_; }
    OleDate DateRetrieved() const override { return retrieved_; }
    int32_t AgeRetrieved() const override { return age_; }

    // Stamp the file with the retrieval moment (else the modification moment, else now): the last-write
    // time, or as expiry the creation time. Failures are ModifyFileStamp's to handle; always true.
    // A file with a second name (a hard link, which may lie outside the cache) is not stamped: that is
    // reported, and false returned.
    bool FixFileTime() override;
    bool SetFileTTL(int32_t lngDaysToLive) override;
    // Replaces the name's prefix (up to its first "_") by ContentTypePrefix. False when there is no
    // content type, or when the rename fails (a file of the new name exists); the path is then unchanged.
    bool FixFileName() override;
    std::string FixedFileName() const override;

    int64_t ContentLen() const override { return reportedLength_; }
    int64_t ContentLenActual() const override { return actualLength_; }
    const std::string& ContentType() const override;
    const std::string& ObjectName() const override { return url_; }

    // Delete the bound file; the path and the metadata stay. DeleteIfAged only when the creation time
    // read at binding (the expiry that SetFileTTL stores) lies before now.
    bool DeleteIfAged() override;
    bool Delete() override;
    bool RemoveIfSame() override;
    void BindAt(const HeldDir& folder, const std::string& name) override;
    void ReleaseFile() override {
        opened_.reset();
        file_.reset();
    }
    std::shared_ptr<InputFile> OpenContent() override;
    // An expiry that cannot be read is reported (as DeleteIfAged reports it) and is no expired one.
    bool IsAged() override;

    // Searches the decoded content when FileCopy would decode it (lngStart then counts decoded bytes);
    // on content that does not decode, the words found so far stay found and the stored bytes are
    // searched for the rest.
    bool FindInContents(ParsedFilter& filter, int64_t lngStart = 1) override;

    bool MetaGathered() const override { return false; }

    // The content goes to a temporary file beside Destination that replaces it only once complete; a
    // failed copy leaves Destination as it was. A link at Destination is replaced, never written through.
    bool FileCopy(const std::string& Destination) override;
    bool FileCopyAt(const HeldDir& folder, const std::string& name) override;

    std::string ContentEncoding() const override;
    std::string TransferEncoding() const override;
    bool DecodeFailed() const override { return decodeFailed_; }
    int64_t ContentOffset() const override { return headerLength_; }

    // True while the path names the very regular file that binding read (same device and inode, not a
    // link); false when unbound, deleted or replaced since.
    bool StillSameFile() const override;

  protected:
    clsCacheBase() = default;

    // Resets every field binding sets, the path and the open file included.
    void ClearMetadata();
    // The retrieval date and, from it and today, the age in days (0 for no date).
    void SetRetrieved(OleDate date);
    // Opens the entry `name` of `folder` and takes it as the bound file (path, identity, the open file);
    // false, with nothing taken, when it is missing or no regular file (a link, a folder, a FIFO).
    // Throws RuntimeError.
    bool OpenBound(const HeldDir& folder, const std::string& name);
    // As OpenBound, by looking at the entry alone: the file is opened when something first needs it, and
    // it is then used only while the name still stands for the file looked at. Returns the file's size.
    // Throws RuntimeError.
    std::optional<uint64_t> StatBound(const HeldDir& folder, const std::string& name);
    // What OpenContent opens, with its present size, without sharing the bound file: that very file
    // when the name still stands for it, else the file now at the name, opened into `other`.
    InputFile* ContentFile(uint64_t& size, std::shared_ptr<InputFile>& other);
    // Reads the header block again when the proxy has rewritten or replaced the file since it was read;
    // `file` is open on the bound name. Returns the file's present size. Throws RuntimeError.
    uint64_t FollowRewrite(InputFile& file);
    // Reads what the format keeps in the file itself (a header block) from the start of `file`; runs at
    // binding and again when a copy finds the file rewritten; `size` is the file's size as just looked at.
    // Throws RuntimeError.
    virtual void TakeContentFacts(InputFile& file, uint64_t size) = 0;
    // Empties what TakeContentFacts takes from the file's header block (URL, type, lengths, codings,
    // dates), for a file read again.
    void ClearContentFacts();
    // The creation time as the file first showed it; nothing when it cannot be read.
    std::optional<OleDate> Created() const;
    // Holds the folder of `path` (links along it followed: it is the caller's choice) and binds the last
    // part of the path in it; a folder that cannot be held leaves the object unbound, reported unless it
    // is missing.
    void BindPath(const std::string& path);
    // The bound file, open, while the name still stands for it (device and inode); nothing otherwise,
    // and nothing either for a file that is there and cannot be opened unless `raiseUnreadable`, when
    // that open's error is raised.
    std::shared_ptr<InputFile> BoundFileOpen(bool raiseUnreadable = false) const;

    virtual const char* BindLocation() const = 0;
    virtual const char* FileCopyLocation() const = 0;

    // The bound file, open: shared only once someone asks for it, as most objects of a scan never are.
    InputFile* BoundFile() const { return opened_ ? opened_.get() : file_.get(); }
    std::shared_ptr<InputFile> SharedFile() const {
        if (opened_) file_ = std::move(opened_);
        return file_;
    }

    // The bound file is the entry name_ of folder_; an empty name_ is no file.
    HeldDir folder_;
    std::string name_;
    // Open from binding until the walk moves on (ReleaseFile), so that the operations of a scan act on
    // the file that was read: in opened_ as binding opened it, in file_ once shared.
    mutable std::unique_ptr<InputFile> opened_;
    mutable std::shared_ptr<InputFile> file_;

    std::string url_;
    OleDate retrieved_;
    OleDate modified_;
    int64_t reportedLength_ = 0;
    int64_t actualLength_ = 0;
    int64_t headerLength_ = 0;  // bytes in front of the content; 0 for WinGate

    // The content type and the stored codings, as stored (no codings for WinGate).
    void SetContentLabel(std::string_view contentType, std::string_view contentEncoding = {},
                         std::string_view transferEncoding = {});

  private:
    class WordSearch;  // the state of one contents search

    // Takes the entry `name` of `folder`, whose facts are `info`, as the bound file, not yet open.
    void TakeBound(const HeldDir& folder, const std::string& name, const FileInfo& info);
    OleDate StampMoment() const;
    // Stamps the bound file itself; see FixFileTime.
    bool Stamp(const char* location, OleDate moment, bool writeTimeOnly, bool creationTimeOnly);
    // Whether the stored expiry lies before now; throws RuntimeError when it cannot be read.
    bool ExpiryPassed() const;
    // The note of an expiry's error reports.
    std::string ExpiryDetail() const;
    // Whether copies and searches decode this object's content.
    bool Decodes() const;
    // Copies the content to `name` in `folder`; throws RuntimeError.
    void CopyInto(const HeldDir& folder, const std::string& name);
    // Searches the decoded content of `in` (stored bytes: storedLength). False when there was nothing
    // to decode or it did not decode; the stored bytes are then to be searched. Throws RuntimeError.
    bool SearchDecoded(InputFile& in, WordSearch& search, int64_t start, uint64_t storedLength);

    // A scan's window keeps every selected object, so the fields are packed. The content type and the
    // codings are one label that the objects of the same type share; none when all are empty.
    struct ContentLabel;
    std::shared_ptr<const ContentLabel> label_;
    // The creation time as binding found it; read from the file on first use.
    mutable OleDate created_;
    int32_t age_ = 0;
    mutable bool createdRead_ = false;
    mutable bool createdKnown_ = false;
    bool decodeFailed_ = false;
    bool identityKnown_ = false;
    // The part of the file's facts an object keeps: which file binding found (deletes and stamps act on
    // it only), and the size and last-write time of the file whose header block the fields describe.
    // That file is taken to be the bound one: a file found replaced is read again each time it is used.
    struct FileId {
        uint64_t device = 0, inode = 0;
        FileId() = default;
        explicit FileId(const FileInfo& info) : device(info.device), inode(info.inode) {}
        bool Names(const FileInfo& info) const { return info.device == device && info.inode == inode; }
    };
    struct FileMark {
        uint64_t size = 0;
        FileTimeSpec writeTime;
        FileMark() = default;
        explicit FileMark(const FileInfo& info) : size(info.size), writeTime(info.writeTime) {}
    };
    // Whether `info` is the file the fields describe, as it was.
    bool ParsedUnchanged(const FileInfo& info) const {
        return bound_.Names(info) && info.size == parsed_.size && info.writeTime == parsed_.writeTime;
    }
    FileId bound_;
    FileMark parsed_;
};

// The prefix FixFileName gives a cache file: the content type's subtype (else its type) and "_", for
// "text/html; charset=utf-8" "html_"; "_" alone for a type without "/". Characters that would end the
// prefix early or leave the folder ("_", "/", backslash, control characters) become "-", so that a renamed
// file keeps its name on every later run instead of losing one more "_"-ended piece each time.
std::string ContentTypePrefix(const std::string& contentType);

// Whether a run-time error means "there is no such file" (which binding does not report).
bool IsMissingFileError(const RuntimeError& error);

}  // namespace loftwick
