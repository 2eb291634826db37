#include "cache/clsCacheBase.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <vector>

#include "cache/ContentDecoder.h"
#include "support/Clock.h"
#include "support/FileTimeUtils.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {

namespace {

// The contents search reads this much at a time, and stops as soon as every word has turned up.
constexpr size_t kSearchBlock = 8192;
// Stored bytes are read this much at a time on their way through a decoder.
constexpr size_t kDecodeReadBlock = 65536;

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string text) {
    for (char& c : text) c = UpperAscii(c);
    return text;
}

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

void Discard(std::unique_ptr<OutputFile>& out, const std::string& path) {
    out.reset();
    try {
        TheFileSystem().RemoveFile(path);
    } catch (...) {
    }
}

}  // namespace

// The words of a contents filter not yet found, looked for in a text that arrives in pieces.
class clsCacheBase::WordSearch {
  public:
    explicit WordSearch(ParsedFilter& filter) : filter_(filter) {
        count_ = std::min(
            {static_cast<size_t>(std::max(filter.Count, 0)), filter.Words.size(), filter.Found.size()});
        size_t longest = 0;
        for (size_t i = 0; i < count_; ++i) {
            words_.push_back(UpperAscii(filter.Words[i]));
            longest = std::max(longest, words_.back().size());
        }
        // The text searched carries the end of the previous piece, one byte short of the longest word,
        // so a word that straddles two pieces is whole in the later one however long it is.
        carried_ = longest > 0 ? longest - 1 : 0;
    }

    // Looks in the piece for the words still missing and sets their Found flags; true when every word
    // has been found.
    bool Feed(const char* data, size_t size) {
        const size_t kept = text_.size();
        text_.resize(kept + size);
        UpperAsciiInto(data, size, text_.data() + kept);
        allFound_ = true;
        for (size_t i = 0; i < count_; ++i) {
            if (filter_.Found[i]) continue;
            if (text_.find(words_[i]) != std::string::npos) {
                filter_.Found[i] = true;
            } else {
                allFound_ = false;
            }
        }
        if (text_.size() > carried_) text_.erase(0, text_.size() - carried_);
        return allFound_;
    }

    // A new text follows that does not continue the one fed so far; the words found stay found.
    void Restart() { text_.clear(); }

    // As the last piece left it; false before the first.
    bool AllFound() const { return allFound_; }

  private:
    ParsedFilter& filter_;
    size_t count_ = 0;
    std::vector<std::string> words_;
    size_t carried_ = 0;
    std::string text_;
    bool allFound_ = false;
};

std::string ContentTypePrefix(const std::string& contentType) {
    auto trimmed = [](const std::string& text) {
        const size_t first = text.find_first_not_of(' ');
        if (first == std::string::npos) return std::string();
        return text.substr(first, text.find_last_not_of(' ') - first + 1);
    };
    auto cut = [](std::string text) {
        text = text.substr(0, text.find(';'));
        return text.substr(0, text.find('*'));
    };
    std::string type, subtype;
    const size_t slash = contentType.find('/');
    if (slash != std::string::npos && slash > 0) {
        type = cut(trimmed(contentType.substr(0, slash)));
        subtype = cut(trimmed(contentType.substr(slash + 1)));
    }
    std::string word = subtype.empty() ? type : subtype;
    for (char& c : word) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '_' || c == '/' || c == '\\' || u < 32 || u == 127) c = '-';
    }
    return word + "_";
}

bool IsMissingFileError(const RuntimeError& error) {
    return error.Number() == vberr::FileNotFound || error.Number() == vberr::PathNotFound;
}

void clsCacheBase::ReportBindFailure(const char* location, const std::string& path) {
    HandleError(location, path);
}

void clsCacheBase::ClearMetadata() {
    path_.clear();
    url_.clear();
    contentType_.clear();
    created_.reset();
    createdRead_ = false;
    retrieved_ = OleDate();
    modified_ = OleDate();
    age_ = 0;
    reportedLength_ = 0;
    actualLength_ = 0;
    headerLength_ = 0;
    contentEncoding_.clear();
    transferEncoding_.clear();
    decodeFailed_ = false;
    identityKnown_ = false;
    device_ = 0;
    inode_ = 0;
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

bool clsCacheBase::TakeFileFacts(const std::string& path, FileInfo& info) {
    FileSystem& fs = TheFileSystem();
    // Lstat, not Stat: a link is never bound, so nothing done to this object later can reach its target.
    const std::optional<FileInfo> found = fs.Lstat(path);
    if (!found || found->isLink || found->kind != EntryKind::File) return false;
    info = *found;
    path_ = path;
    created_.reset();  // read when first needed: most objects of a scan never need it
    createdRead_ = false;
    TakeIdentity(info);
    return true;
}

std::optional<OleDate> clsCacheBase::Created() const {
    if (!createdRead_) {
        createdRead_ = true;
        const std::optional<FileTimeSpec> created = TheFileSystem().GetCreationTime(path_);
        if (created) created_ = FileTimeToLocalDate(*created);
    }
    return created_;
}

void clsCacheBase::TakeIdentity(const FileInfo& info) {
    identityKnown_ = true;
    device_ = info.device;
    inode_ = info.inode;
}

bool clsCacheBase::StillSameFile() const {
    if (path_.empty() || !identityKnown_) return false;
    const std::optional<FileInfo> now = TheFileSystem().Lstat(path_);
    return now && !now->isLink && now->kind == EntryKind::File && now->device == device_ &&
           now->inode == inode_;
}

OleDate clsCacheBase::StampMoment() const {
    if (!retrieved_.IsZero()) return retrieved_;
    if (!modified_.IsZero()) return modified_;
    return TheClock().Now();
}

bool clsCacheBase::FixFileTime() {
    ModifyFileStamp(path_, StampMoment(), true, false);
    return true;
}

bool clsCacheBase::SetFileTTL(int32_t lngDaysToLive) {
    // The expiry lives in the creation time, which DeleteIfAged of a later scan reads back. This object
    // keeps the creation time it had when it was bound, so it is taken before it changes.
    Created();
    ModifyFileStamp(path_, AddDays(StampMoment(), lngDaysToLive), false, true);
    return true;
}

bool clsCacheBase::FixFileName() {
    if (contentType_.empty()) return false;
    const size_t separator = path_.find_last_of('/');
    const std::string folder =
        separator == std::string::npos ? std::string() : path_.substr(0, separator + 1);
    const std::string name = separator == std::string::npos ? path_ : path_.substr(separator + 1);
    const size_t underscore = name.find('_');
    const std::string oldPrefix =
        underscore == std::string::npos ? std::string() : name.substr(0, underscore + 1);
    const std::string rest = underscore == std::string::npos ? name : name.substr(underscore + 1);
    const std::string newPrefix = ContentTypePrefix(contentType_);

    const std::string detail =
        "Content-Type: " + contentType_ + " Name:\"" + rest + "\" -> \"" + newPrefix + "\"\r\nFile: " + path_;
    return Trapped("FixFileName", detail, false, [&] {
        if (newPrefix == oldPrefix) return true;
        const std::string newPath = folder + newPrefix + rest;
        // A POSIX rename silently replaces the target; this one must fail instead, as it always did.
        if (TheFileSystem().Lstat(newPath)) RaiseFromErrno(EEXIST, newPath);
        TheFileSystem().Rename(path_, newPath);
        path_ = newPath;
        return true;
    });
}

bool clsCacheBase::DeleteIfAged() {
    const std::string detail = "File:\"" + path_ + "\" DateCreated: " + FormatGeneralDate(Created().value_or(OleDate()));
    return Trapped("DeleteIfAged", detail, false, [&] {
        // An expiry that cannot be read is not an expired one: the file stays, and the failure is told.
        const std::optional<OleDate> created = Created();
        if (!created) Raise(vberr::PathFileAccessError, "the creation time of the file cannot be read");
        if (!(*created < TheClock().Now())) return false;
        TheFileSystem().RemoveFile(path_);
        return true;
    });
}

bool clsCacheBase::Delete() {
    const std::string detail = "File:\"" + path_ + "\" DateCreated: " + FormatGeneralDate(Created().value_or(OleDate()));
    return Trapped("Delete", detail, false, [&] {
        TheFileSystem().RemoveFile(path_);
        return true;
    });
}

bool clsCacheBase::Decodes() const {
    return Program().DecodeContent && IsDecodable(contentEncoding_, transferEncoding_);
}

bool clsCacheBase::FindInContents(ParsedFilter& filter, int64_t lngStart) {
    if (path_.empty()) return false;
    WordSearch search(filter);
    // A start before the content's first byte counts as its first byte.
    const int64_t start = std::max<int64_t>(lngStart, 1);
    try {
        std::unique_ptr<InputFile> in = TheFileSystem().OpenRead(path_, false);
        const int64_t contentLength = static_cast<int64_t>(in->Size()) - headerLength_;
        if (contentLength < 1) return false;
        if (Decodes() && SearchDecoded(*in, search, start, static_cast<uint64_t>(contentLength)))
            return search.AllFound();
        if (contentLength < start) return false;
        in->Seek(static_cast<uint64_t>(headerLength_ + start - 1));

        // Not zero-filled: every byte used is read first, and a big cache has many objects to search.
        const std::unique_ptr<char[]> block = std::make_unique_for_overwrite<char[]>(kSearchBlock);
        for (int64_t position = start - 1; position < contentLength;) {
            const size_t wanted =
                static_cast<size_t>(std::min<int64_t>(kSearchBlock, contentLength - position));
            const size_t got = in->Read(block.get(), wanted);
            if (search.Feed(block.get(), got) || got < wanted) break;  // done, or the file has shrunk
            position += static_cast<int64_t>(wanted);
        }
        return search.AllFound();
    } catch (...) {
        HandleError("FindInContents", url_);
        return search.AllFound();
    }
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
            ContentDecoder::Make(contentEncoding_, transferEncoding_, DecodedSizeLimit(storedLength), take);
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

bool clsCacheBase::CopyDecoded(const std::string& Destination) {
    FileSystem& fs = TheFileSystem();
    std::unique_ptr<InputFile> in = fs.OpenRead(path_, false);
    const uint64_t size = in->Size();
    const uint64_t offset = static_cast<uint64_t>(headerLength_);
    const uint64_t storedLength = size > offset ? size - offset : 0;
    std::string partial;
    std::unique_ptr<OutputFile> out = CreateSibling(fs, Destination, partial);
    try {
        std::unique_ptr<ContentDecoder> decoder = ContentDecoder::Make(
            contentEncoding_, transferEncoding_, DecodedSizeLimit(storedLength),
            [&](const char* data, size_t count) { out->Write(data, count); });
        if (!decoder) {
            Discard(out, partial);
            return false;
        }
        if (storedLength > 0) {
            in->Seek(offset);
            ReadThrough(*in, *decoder, [] { return false; });
        }
        out->Sync();
        out->Close();
        fs.Rename(partial, Destination);
        return true;
    } catch (const DecodeError&) {
        Discard(out, partial);
        decodeFailed_ = true;
        return false;
    } catch (...) {
        Discard(out, partial);
        throw;
    }
}

bool clsCacheBase::FileCopy(const std::string& Destination) {
    const bool copied = Trapped(FileCopyLocation(), path_ + " to " + Destination, false, [&] {
        // Content that does not decode is still worth having: it is copied as stored.
        if (!Decodes() || !CopyDecoded(Destination))
            CopyFilePart(path_, static_cast<uint64_t>(headerLength_), Destination);
        return true;
    });
    if (!copied) return false;
    OleDate moment;
    if (modified_.Serial() > 0) {
        moment = modified_;
    } else if (retrieved_.Serial() > 0) {
        moment = retrieved_;
    }
    if (!moment.IsZero()) ModifyFileStamp(Destination, moment, true, false);
    return true;
}

}  // namespace loftwick
