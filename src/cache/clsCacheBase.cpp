#include "cache/clsCacheBase.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <vector>

#include "support/Clock.h"
#include "support/FileTimeUtils.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {

namespace {

// The contents search reads this much at a time, and stops as soon as every word has turned up.
constexpr size_t kSearchBlock = 8192;

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

}  // namespace

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

void clsCacheBase::ClearMetadata() {
    path_.clear();
    url_.clear();
    contentType_.clear();
    created_ = OleDate();
    retrieved_ = OleDate();
    modified_ = OleDate();
    age_ = 0;
    reportedLength_ = 0;
    actualLength_ = 0;
    headerLength_ = 0;
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
    const std::optional<FileTimeSpec> created = fs.GetCreationTime(path);
    if (!created) return false;  // gone since the Lstat
    info = *found;
    path_ = path;
    created_ = FileTimeToLocalDate(*created);
    TakeIdentity(info);
    return true;
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
    // The expiry lives in the creation time, which DeleteIfAged of a later scan reads back at binding.
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
    const std::string detail = "File:\"" + path_ + "\" DateCreated: " + FormatGeneralDate(created_);
    return Trapped("DeleteIfAged", detail, false, [&] {
        if (!(created_ < TheClock().Now())) return false;
        TheFileSystem().RemoveFile(path_);
        return true;
    });
}

bool clsCacheBase::Delete() {
    const std::string detail = "File:\"" + path_ + "\" DateCreated: " + FormatGeneralDate(created_);
    return Trapped("Delete", detail, false, [&] {
        TheFileSystem().RemoveFile(path_);
        return true;
    });
}

bool clsCacheBase::FindInContents(ParsedFilter& filter, int64_t lngStart) {
    if (path_.empty()) return false;
    const size_t count =
        std::min({static_cast<size_t>(std::max(filter.Count, 0)), filter.Words.size(), filter.Found.size()});
    std::vector<std::string> words;
    size_t longest = 0;
    for (size_t i = 0; i < count; ++i) {
        words.push_back(UpperAscii(filter.Words[i]));
        longest = std::max(longest, words.back().size());
    }
    // The text searched carries the end of the previous block, one byte short of the longest word, so a
    // word that straddles two blocks is whole in the later one however long it is.
    const size_t carried = longest > 0 ? longest - 1 : 0;
    // A start before the content's first byte counts as its first byte.
    const int64_t start = std::max<int64_t>(lngStart, 1);

    bool allFound = false;
    try {
        std::unique_ptr<InputFile> in = TheFileSystem().OpenRead(path_, false);
        const int64_t contentLength = static_cast<int64_t>(in->Size()) - headerLength_;
        if (contentLength < start) return false;
        in->Seek(static_cast<uint64_t>(headerLength_ + start - 1));

        std::string text;
        // Not zero-filled: every byte used is read first, and a big cache has many objects to search.
        const std::unique_ptr<char[]> block = std::make_unique_for_overwrite<char[]>(kSearchBlock);
        for (int64_t position = start - 1; position < contentLength;) {
            const size_t wanted =
                static_cast<size_t>(std::min<int64_t>(kSearchBlock, contentLength - position));
            const size_t got = in->Read(block.get(), wanted);
            const size_t kept = text.size();
            text.resize(kept + got);
            UpperAsciiInto(block.get(), got, text.data() + kept);
            allFound = true;
            for (size_t i = 0; i < count; ++i) {
                if (filter.Found[i]) continue;
                if (text.find(words[i]) != std::string::npos) {
                    filter.Found[i] = true;
                } else {
                    allFound = false;
                }
            }
            if (allFound || got < wanted) break;  // done, or the file has shrunk since binding
            if (text.size() > carried) text.erase(0, text.size() - carried);
            position += static_cast<int64_t>(wanted);
        }
        return allFound;
    } catch (...) {
        HandleError("FindInContents", url_);
        return allFound;
    }
}

bool clsCacheBase::FileCopy(const std::string& Destination) {
    const bool copied = Trapped(FileCopyLocation(), path_ + " to " + Destination, false, [&] {
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
