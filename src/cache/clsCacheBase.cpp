#include "cache/clsCacheBase.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "cache/ContentDecoder.h"
#include "support/Clock.h"
#include "support/FileTimeUtils.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {

namespace {

// The contents search reads this much at a time, and stops as soon as every word has turned up.
// Large enough that the reads, not their number, set the pace on a big cache.
constexpr size_t kSearchBlock = 65536;
// Stored bytes are read this much at a time on their way through a decoder.
constexpr size_t kDecodeReadBlock = 65536;
// A search lets events run (and Break end it) after this many bytes of one object.
constexpr size_t kSearchPollBytes = size_t{4} << 20;

// The contents search folds every byte it reads: plain pointers that cannot overlap let the compiler
// fold many bytes per instruction instead of appending them one at a time.
void UpperAsciiInto(const char* __restrict from, size_t count, char* __restrict to) {
    for (size_t i = 0; i < count; ++i) to[i] = UpperAscii(from[i]);
}

// Reads `in` from where it stands to its end through the decoder, and finishes the decoder, unless
// `stop` says after a piece that nothing more is wanted. Throws DecodeError and RuntimeError.
template <class Stop>
void ReadThrough(InputFile& in, ContentDecoder& decoder, Stop&& stop) {
    // Not zero-filled: every byte used is read first.
    const std::unique_ptr<char[]> block = std::make_unique_for_overwrite<char[]>(kDecodeReadBlock);
    for (;;) {
        const size_t got = in.Read(block.get(), kDecodeReadBlock);
        if (got > 0) decoder.Put(block.get(), got);
        if (stop()) return;
        if (got < kDecodeReadBlock) break;
    }
    decoder.Finish();
}

// The decompression guard counts the bytes the file really stores: a sparse file's apparent size says
// nothing of what was written to it.
uint64_t GuardedLimit(InputFile& in, uint64_t storedLength) {
    const uint64_t allocated = in.Info().allocated;
    return DecodedSizeLimit(allocated > 0 ? std::min(storedLength, allocated) : storedLength);
}

// The Win32 "file not found", for an object whose file has left the cache since binding.
[[noreturn]] void RaiseGone(const std::string& path) {
    Raise(vberr::FileNotFound, "The file is no longer in the cache: " + path);
}

}  // namespace

// The words of a contents filter not yet found, looked for in a text that arrives in pieces.
class clsCacheBase::WordSearch {
  public:
    // The buffers of the last search on this thread are taken over, so that a scan's searches do not
    // allocate and fill them again for every object; a search begun inside another (from an event the
    // first let run) finds none and makes its own.
    explicit WordSearch(ParsedFilter& filter)
        : filter_(filter), words_(std::move(SpareWords())), text_(std::move(SpareText())) {
        const size_t count = std::min(
            {static_cast<size_t>(std::max(filter.Count, 0)), filter.Words.size(), filter.Found.size()});
        words_.resize(count);
        unfindable_.assign(count, false);
        size_t longest = 0;
        for (size_t i = 0; i < count; ++i) {
            const std::string& word = filter.Words[i];
            words_[i].resize(word.size());
            UpperAsciiInto(word.data(), word.size(), words_[i].data());
            unfindable_[i] = i < filter.Unfindable.size() && filter.Unfindable[i];
            longest = std::max(longest, word.size());
        }
        // The text searched carries the end of the previous piece, one byte short of the longest word,
        // so a word that straddles two pieces is whole in the later one however long it is.
        carried_ = longest > 0 ? longest - 1 : 0;
    }

    // Looks in the piece for the words still missing and sets their Found flags; true when every word
    // has been found, or when the filter's KeepSearching said to stop.
    bool Feed(const char* data, size_t size) {
        sincePoll_ += size;
        if (sincePoll_ >= kSearchPollBytes && filter_.KeepSearching) {
            sincePoll_ = 0;
            if (!filter_.KeepSearching()) return true;
        }
        if (text_.size() < kept_ + size) text_.resize(kept_ + size);
        UpperAsciiInto(data, size, text_.data() + kept_);
        const size_t length = kept_ + size;
        allFound_ = true;
        for (size_t i = 0; i < words_.size(); ++i) {
            if (filter_.Found[i]) continue;
            if (!unfindable_[i] && ::memmem(text_.data(), length, words_[i].data(), words_[i].size())) {
                filter_.Found[i] = true;
            } else {
                allFound_ = false;
            }
        }
        kept_ = std::min(length, carried_);
        std::memmove(text_.data(), text_.data() + length - kept_, kept_);
        return allFound_;
    }

    // A new text follows that does not continue the one fed so far; the words found stay found.
    void Restart() { kept_ = 0; }

    // As the last piece left it; false before the first.
    bool AllFound() const { return allFound_; }

    // Whether a run of zero bytes can be passed over unread: no word holds a zero byte.
    bool ZerosNeverMatch() const {
        return std::none_of(words_.begin(), words_.end(),
                            [](const std::string& word) { return word.find('\0') != std::string::npos; });
    }

    ~WordSearch() {
        SpareWords() = std::move(words_);
        SpareText() = std::move(text_);
    }
    WordSearch(const WordSearch&) = delete;
    WordSearch& operator=(const WordSearch&) = delete;

  private:
    static std::vector<std::string>& SpareWords() {
        thread_local std::vector<std::string> spare;
        return spare;
    }
    static std::vector<char>& SpareText() {
        thread_local std::vector<char> spare;
        return spare;
    }

    ParsedFilter& filter_;
    std::vector<std::string> words_;  // the filter's words to look for, upper-cased
    std::vector<bool> unfindable_;    // a typed character no byte holds: never found
    size_t carried_ = 0;
    // The carried end of the previous piece (its first kept_ bytes), then the piece, folded; grown,
    // never shrunk, and only read where written.
    std::vector<char> text_;
    size_t kept_ = 0;
    bool allFound_ = false;
    size_t sincePoll_ = 0;
};

std::string ContentTypePrefix(const std::string& contentType) {
    auto cut = [](std::string_view text) {
        text = text.substr(0, text.find(';'));
        return text.substr(0, text.find('*'));
    };
    std::string type, subtype;
    const size_t slash = contentType.find('/');
    if (slash != std::string::npos && slash > 0) {
        type = cut(Trim(std::string_view(contentType).substr(0, slash)));
        subtype = cut(Trim(std::string_view(contentType).substr(slash + 1)));
    }
    std::string word = subtype.empty() ? type : subtype;
    for (char& c : word) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '_' || IsPathSeparator(c) || u < 32 || u == 127) c = '-';
    }
    return word + "_";
}

bool IsMissingFileError(const RuntimeError& error) {
    return error.Number() == vberr::FileNotFound || error.Number() == vberr::PathNotFound;
}

void clsCacheBase::ClearMetadata() {
    folder_.Release();
    name_.clear();
    url_.clear();
    label_.reset();
    created_ = OleDate();
    createdKnown_ = false;
    createdRead_ = false;
    retrieved_ = OleDate();
    modified_ = OleDate();
    age_ = 0;
    reportedLength_ = 0;
    actualLength_ = 0;
    headerLength_ = 0;
    decodeFailed_ = false;
    identityKnown_ = false;
    bound_ = FileId();
    parsed_ = FileMark();
    opened_.reset();
    file_.reset();
}

struct clsCacheBase::ContentLabel {
    std::string type;
    std::string codings;  // content coding, line break, transfer coding; "" when neither is stored
};

namespace {

// The label of objects with neither type nor codings.
const std::string kNoText;

}  // namespace

void clsCacheBase::SetContentLabel(std::string_view contentType, std::string_view contentEncoding,
                                   std::string_view transferEncoding) {
    label_.reset();
    if (contentType.empty() && contentEncoding.empty() && transferEncoding.empty()) return;
    // One room for the joined codings.
    thread_local std::string codings;
    codings.clear();
    // Neither holds a line break: a stored header value ends at one.
    if (!contentEncoding.empty() || !transferEncoding.empty())
        codings.append(contentEncoding).append(1, '\n').append(transferEncoding);
    // The labels seen last are shared: a cache holds few types, and its objects come in no order.
    constexpr size_t kRecent = 32;
    thread_local std::array<std::shared_ptr<const ContentLabel>, kRecent> recent;
    thread_local size_t replaced = 0;
    for (const std::shared_ptr<const ContentLabel>& label : recent) {
        if (label && label->type == contentType && label->codings == codings) {
            label_ = label;
            return;
        }
    }
    label_ = std::make_shared<const ContentLabel>(ContentLabel{std::string(contentType), codings});
    recent[replaced++ % kRecent] = label_;
}

const std::string& clsCacheBase::ContentType() const { return label_ ? label_->type : kNoText; }

std::string clsCacheBase::ContentEncoding() const {
    if (!label_) return {};
    return label_->codings.substr(0, label_->codings.find('\n'));
}

std::string clsCacheBase::TransferEncoding() const {
    if (!label_) return {};
    const size_t cut = label_->codings.find('\n');
    return cut == std::string::npos ? std::string() : label_->codings.substr(cut + 1);
}

void clsCacheBase::SetRetrieved(OleDate date) {
    retrieved_ = date;
    if (date.IsZero()) {
        age_ = 0;
        return;
    }
    const int64_t days = DayBoundaries(date, TheClock().Now());
    age_ = static_cast<int32_t>(
        std::clamp<int64_t>(days, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

bool clsCacheBase::OpenBound(const HeldDir& folder, const std::string& name) {
    FileSystem& fs = TheFileSystem();
    std::unique_ptr<InputFile> file;
    try {
        file = fs.OpenReadAt(folder, name);
    } catch (const RuntimeError&) {
        // A link, a folder or a FIFO is refused by the open; like a missing file it binds as nothing,
        // without a report. Only a regular file that cannot be opened is worth one.
        PreserveLastError keep;
        const std::optional<FileInfo> what = fs.LstatAt(folder, name);
        if (!what || what->isLink || what->kind != EntryKind::File) return false;
        throw;
    }
    TakeBound(folder, name, file->Info());
    opened_ = std::move(file);
    return true;
}

std::optional<uint64_t> clsCacheBase::StatBound(const HeldDir& folder, const std::string& name) {
    const std::optional<FileInfo> what = TheFileSystem().LstatAt(folder, name);
    if (!what || what->isLink || what->kind != EntryKind::File) return std::nullopt;
    TakeBound(folder, name, *what);
    return what->size;
}

void clsCacheBase::TakeBound(const HeldDir& folder, const std::string& name, const FileInfo& info) {
    folder_ = folder;
    name_ = name;
    bound_ = FileId(info);
    parsed_ = FileMark(info);
    identityKnown_ = true;
    created_ = OleDate();  // read when first needed: most objects of a scan never need it
    createdKnown_ = false;
    createdRead_ = false;
    file_.reset();
    opened_.reset();
}

void clsCacheBase::BindAt(const HeldDir& folder, const std::string& name) {
    ClearMetadata();
    if (name.empty()) return;
    try {
        if (OpenBound(folder, name)) TakeContentFacts(*opened_, parsed_.size);
    } catch (const RuntimeError& e) {
        ClearMetadata();
        if (!IsMissingFileError(e)) HandleError(BindLocation(), folder.PathOf(name));
    } catch (...) {
        ClearMetadata();
        HandleError(BindLocation(), folder.PathOf(name));
    }
}

void clsCacheBase::ClearContentFacts() {
    url_.clear();
    label_.reset();
    reportedLength_ = 0;
    headerLength_ = 0;
    SetRetrieved(OleDate());
    modified_ = OleDate();
}

void clsCacheBase::BindPath(const std::string& path) {
    ClearMetadata();
    if (path.empty()) return;
    const std::string folder = FolderOf(path);
    HeldDir held;
    try {
        held = TheFileSystem().OpenDirectory(folder.empty() ? "." : folder);
    } catch (const RuntimeError& e) {
        if (!IsMissingFileError(e)) HandleError(BindLocation(), path);
        return;
    }
    BindAt(held, LastPartOf(path));
}

std::shared_ptr<InputFile> clsCacheBase::BoundFileOpen(bool raiseUnreadable) const {
    if (name_.empty() || !identityKnown_) return nullptr;
    if (BoundFile()) return SharedFile();
    PreserveLastError keep;
    try {
        std::shared_ptr<InputFile> file = TheFileSystem().OpenReadAt(folder_, name_);
        if (bound_.Names(file->Info())) return file;
    } catch (const RuntimeError& e) {
        if (raiseUnreadable && !IsMissingFileError(e)) throw;
    }
    return nullptr;
}

std::shared_ptr<InputFile> clsCacheBase::OpenContent() {
    uint64_t size = 0;
    std::shared_ptr<InputFile> other;
    InputFile* const file = ContentFile(size, other);
    if (!file) return nullptr;
    return other ? other : SharedFile();
}

InputFile* clsCacheBase::ContentFile(uint64_t& size, std::shared_ptr<InputFile>& other) {
    if (name_.empty() || !identityKnown_) return nullptr;
    FileSystem& fs = TheFileSystem();
    const std::optional<FileInfo> now = fs.LstatAt(folder_, name_);
    if (!now || now->isLink || now->kind != EntryKind::File) return nullptr;
    InputFile* file = BoundFile();
    if (!file || !SameFile(file->Info(), *now)) {
        try {
            other = fs.OpenReadAt(folder_, name_);
        } catch (const RuntimeError& e) {
            if (IsMissingFileError(e)) return nullptr;
            throw;
        }
        file = other.get();
    }
    size = FollowRewrite(*file);
    return file;
}

uint64_t clsCacheBase::FollowRewrite(InputFile& file) {
    const FileInfo current = file.Current();
    if (!ParsedUnchanged(current)) {
        // The proxy rewrote or replaced the object: the content starts where the file now open says.
        file.Seek(0);
        TakeContentFacts(file, current.size);
        parsed_ = FileMark(current);
    }
    return current.size;
}

std::optional<OleDate> clsCacheBase::Created() const {
    if (!createdRead_) {
        createdRead_ = true;
        if (const std::shared_ptr<InputFile> file = BoundFileOpen()) {
            const std::optional<FileTimeSpec> created = file->CreationTime();
            if (created) {
                created_ = FileTimeToLocalDate(*created);
                createdKnown_ = true;
            }
        }
    }
    if (!createdKnown_) return std::nullopt;
    return created_;
}

bool clsCacheBase::StillSameFile() const {
    if (name_.empty() || !identityKnown_) return false;
    const std::optional<FileInfo> now = TheFileSystem().LstatAt(folder_, name_);
    return now && !now->isLink && now->kind == EntryKind::File && bound_.Names(*now);
}

OleDate clsCacheBase::StampMoment() const {
    if (!retrieved_.IsZero()) return retrieved_;
    if (!modified_.IsZero()) return modified_;
    return TheClock().Now();
}

bool clsCacheBase::Stamp(const char* location, OleDate moment, bool writeTimeOnly, bool creationTimeOnly) {
    // As ever, a file that is gone or was replaced changes nothing and is not reported.
    // A file bound without opening it is opened now; one that is there and cannot be opened is reported.
    const std::string path = fileName();
    std::shared_ptr<InputFile> file;
    if (!Trapped(location, path, false, [&] {
            file = BoundFileOpen(true);
            return true;
        }))
        return true;
    if (!file) return true;
    std::optional<FileInfo> now;
    try {
        now = file->Current();
    } catch (const RuntimeError&) {
        return true;
    }
    if (now->links > 1) {
        return Trapped(location, path, false, [&] {
            Raise(vberr::PermissionDenied,
                  "The file has another name, which may lie outside the cache folder; its times are left "
                  "alone: " +
                      path);
            return true;
        });
    }
    ModifyFileStamp(*file, path, moment, writeTimeOnly, creationTimeOnly);
    return true;
}

bool clsCacheBase::FixFileTime() { return Stamp("FixFileTime", StampMoment(), true, false); }

bool clsCacheBase::SetFileTTL(int32_t lngDaysToLive) {
    // The expiry lives in the creation time, which DeleteIfAged of a later scan reads back. This object
    // keeps the creation time it had when it was bound, so it is taken before it changes.
    Created();
    return Stamp("SetFileTTL", AddDays(StampMoment(), lngDaysToLive), false, true);
}

namespace {

// A cache file's path cut where FixFileName works on it: the folder, the name's prefix up to its first
// "_" (empty when none), the rest of the name, and the prefix the content type asks for.
struct PrefixedName {
    std::string folder, oldPrefix, rest, newPrefix;
};

PrefixedName SplitPrefixedName(const std::string& path, const std::string& contentType) {
    PrefixedName n;
    const size_t separator = path.find_last_of('/');
    n.folder = separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
    const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    const size_t underscore = name.find('_');
    n.oldPrefix = underscore == std::string::npos ? std::string() : name.substr(0, underscore + 1);
    n.rest = underscore == std::string::npos ? name : name.substr(underscore + 1);
    n.newPrefix = ContentTypePrefix(contentType);
    return n;
}

}  // namespace

std::string clsCacheBase::FixedFileName() const {
    if (ContentType().empty()) return {};
    const PrefixedName n = SplitPrefixedName(fileName(), ContentType());
    return n.newPrefix == n.oldPrefix ? std::string() : n.folder + n.newPrefix + n.rest;
}

bool clsCacheBase::FixFileName() {
    if (ContentType().empty()) return false;
    const PrefixedName n = SplitPrefixedName(name_, ContentType());
    const std::string detail = "Content-Type: " + ContentType() + " Name:\"" + n.rest + "\" -> \"" +
                               n.newPrefix + "\"\r\nFile: " + fileName();
    return Trapped("FixFileName", detail, false, [&] {
        if (n.newPrefix == n.oldPrefix) return true;
        const std::string newName = n.newPrefix + n.rest;
        FileSystem& fs = TheFileSystem();
        // A POSIX rename silently replaces the target; this one must fail instead, as it always did.
        if (fs.LstatAt(folder_, newName)) RaiseFromErrno(EEXIST, folder_.PathOf(newName));
        fs.RenameAt(folder_, name_, folder_, newName);
        name_ = newName;
        return true;
    });
}

bool clsCacheBase::RemoveIfSame() {
    if (name_.empty() || !identityKnown_) return false;
    FileInfo expected;
    expected.device = bound_.device;
    expected.inode = bound_.inode;
    return TheFileSystem().RemoveAt(folder_, name_, &expected);
}

// The one test of an expiry, for the deletion and for its preview.
bool clsCacheBase::ExpiryPassed() const {
    // An expiry that cannot be read is not an expired one: the file stays, and the failure is told.
    const std::optional<OleDate> created = Created();
    if (!created) Raise(vberr::PathFileAccessError, "the creation time of the file cannot be read");
    return *created < TheClock().Now();
}

std::string clsCacheBase::ExpiryDetail() const {
    return "File:\"" + fileName() + "\" DateCreated: " + FormatGeneralDate(Created().value_or(OleDate()));
}

bool clsCacheBase::IsAged() {
    return Trapped("DeleteIfAged", ExpiryDetail(), false, [&] { return ExpiryPassed(); });
}

bool clsCacheBase::DeleteIfAged() {
    return Trapped("DeleteIfAged", ExpiryDetail(), false, [&] {
        if (!ExpiryPassed()) return false;
        if (RemoveIfSame()) return true;
        // A file replaced since it was read is left alone for the scan to count; a gone one is told.
        if (!TheFileSystem().LstatAt(folder_, name_)) RaiseGone(fileName());
        return false;
    });
}

bool clsCacheBase::Delete() {
    return Trapped("Delete", ExpiryDetail(), false, [&] {
        if (!RemoveIfSame())
            Raise(vberr::FileNotFound, "The file is gone or was replaced since it was read: " + fileName());
        return true;
    });
}

bool clsCacheBase::Decodes() const {
    return Program().DecodeContent && label_ && !label_->codings.empty() &&
           IsDecodable(ContentEncoding(), TransferEncoding());
}

bool clsCacheBase::FindInContents(ParsedFilter& filter, int64_t lngStart) {
    if (name_.empty()) return false;
    WordSearch search(filter);
    // A start before the content's first byte counts as its first byte.
    const int64_t start = std::max<int64_t>(lngStart, 1);
    // A search cut short by a failure still counts the words it had found.
    const auto notes = [&] { return url_; };
    const std::optional<bool> found =
        Trapped("FindInContents", notes, std::optional<bool>(), [&]() -> std::optional<bool> {
            uint64_t size = 0;
            std::shared_ptr<InputFile> other;
            InputFile* const in = ContentFile(size, other);
            if (!in) RaiseGone(fileName());
            const int64_t contentLength = static_cast<int64_t>(size) - headerLength_;
            if (contentLength < 1) return false;
            if (Decodes() && SearchDecoded(*in, search, start, static_cast<uint64_t>(contentLength)))
                return search.AllFound();
            if (contentLength < start) return false;
            in->Seek(static_cast<uint64_t>(headerLength_ + start - 1));

            // One block for every object this thread searches.
            thread_local const std::unique_ptr<char[]> searchBlock =
                std::make_unique_for_overwrite<char[]>(kSearchBlock);
            char* const block = searchBlock.get();
            // A sparse file's holes read as zeros: they are passed over, not read, when no word can match
            // there. Asked only of a file that stores less than its size, so other files cost nothing more.
            const FileInfo opened = in->Info();
            const bool skipHoles = opened.allocated < opened.size && search.ZerosNeverMatch();
            const uint64_t contentEnd = static_cast<uint64_t>(headerLength_ + contentLength);
            uint64_t dataEnd = 0;  // where the stretch being read ends
            for (int64_t position = start - 1; position < contentLength;) {
                if (skipHoles && static_cast<uint64_t>(headerLength_ + position) >= dataEnd) {
                    const uint64_t at = static_cast<uint64_t>(headerLength_ + position);
                    const auto [first, end] = in->DataExtent(at);
                    dataEnd = end;
                    if (first > at) {
                        search.Restart();
                        if (first >= contentEnd) break;
                        position = static_cast<int64_t>(first) - headerLength_;
                    }
                    in->Seek(static_cast<uint64_t>(headerLength_ + position));
                }
                const size_t wanted =
                    static_cast<size_t>(std::min<int64_t>(kSearchBlock, contentLength - position));
                const size_t got = in->Read(block, wanted);
                if (search.Feed(block, got) || got < wanted) break;  // done, or the file has shrunk
                position += static_cast<int64_t>(wanted);
            }
            return search.AllFound();
        });
    return found ? *found : search.AllFound();
}

bool clsCacheBase::SearchDecoded(InputFile& in, WordSearch& search, int64_t start, uint64_t storedLength) {
    // Decoded bytes are searched in blocks of the same size as stored ones, whatever pieces the decoder
    // hands out; the first start - 1 of them are skipped.
    std::string pending;
    uint64_t skip = static_cast<uint64_t>(start - 1);
    bool done = false;
    auto take = [&](const char* data, size_t size) {
        if (done) return;
        const size_t skipped = static_cast<size_t>(std::min<uint64_t>(skip, size));
        skip -= skipped;
        data += skipped;
        size -= skipped;
        while (size > 0 && !done) {
            const size_t piece = std::min(size, kSearchBlock - pending.size());
            pending.append(data, piece);
            data += piece;
            size -= piece;
            if (pending.size() < kSearchBlock) continue;
            done = search.Feed(pending.data(), pending.size());
            pending.clear();
        }
    };
    try {
        std::unique_ptr<ContentDecoder> decoder =
            ContentDecoder::Make(ContentEncoding(), TransferEncoding(), GuardedLimit(in, storedLength), take);
        if (!decoder) return false;
        in.Seek(static_cast<uint64_t>(headerLength_));
        ReadThrough(in, *decoder, [&] { return done; });
        if (!done && !pending.empty()) search.Feed(pending.data(), pending.size());
        return true;
    } catch (const DecodeError&) {
        // What decoded before the damage is content too; the rest of the words are looked for as stored.
        if (!done && !pending.empty()) search.Feed(pending.data(), pending.size());
        search.Restart();
        decodeFailed_ = true;
        return false;
    }
}

void clsCacheBase::CopyInto(const HeldDir& folder, const std::string& name) {
    const std::shared_ptr<InputFile> in = OpenContent();
    if (!in) RaiseGone(fileName());
    // The copy carries the origin's modification time, else the retrieval time.
    const OleDate moment = modified_.Serial() > 0    ? modified_
                           : retrieved_.Serial() > 0 ? retrieved_
                                                     : OleDate();
    const std::optional<FileTimeSpec> stamp =
        moment.IsZero() ? std::nullopt : StampFor(moment, folder.PathOf(name));
    auto stamped = [&](OutputFile& out) {
        try {
            if (stamp) out.SetWriteTime(*stamp);
        } catch (...) {
        }
    };
    FileSystem& fs = TheFileSystem();
    const uint64_t offset = static_cast<uint64_t>(headerLength_);
    if (Decodes()) {
        struct NothingToDecode {};
        try {
            ReplaceFileAt(fs, folder, name, [&](OutputFile& out) {
                const uint64_t size = in->Size();
                const uint64_t storedLength = size > offset ? size - offset : 0;
                std::unique_ptr<ContentDecoder> decoder = ContentDecoder::Make(
                    ContentEncoding(), TransferEncoding(), GuardedLimit(*in, storedLength),
                    [&](const char* data, size_t count) { out.Write(data, count); });
                if (!decoder) throw NothingToDecode{};
                if (storedLength > 0) {
                    in->Seek(offset);
                    ReadThrough(*in, *decoder, [] { return false; });
                }
                stamped(out);
            });
            return;
        } catch (const DecodeError&) {
            // Content that does not decode is still worth having: it is copied as stored.
            decodeFailed_ = true;
        } catch (const NothingToDecode&) {
        }
    }
    ReplaceFileAt(fs, folder, name, [&](OutputFile& out) {
        CopyContent(*in, offset, out);
        stamped(out);
    });
}

bool clsCacheBase::FileCopy(const std::string& Destination) {
    return Trapped(FileCopyLocation(), fileName() + " to " + Destination, false, [&] {
        const std::string folder = FolderOf(Destination);
        CopyInto(TheFileSystem().OpenDirectory(folder.empty() ? "." : folder), LastPartOf(Destination));
        return true;
    });
}

bool clsCacheBase::FileCopyAt(const HeldDir& folder, const std::string& name) {
    return Trapped(FileCopyLocation(), fileName() + " to " + folder.PathOf(name), false, [&] {
        CopyInto(folder, name);
        return true;
    });
}

}  // namespace loftwick
