#include "cache/clsCacheWinGate.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "support/FileTimeUtils.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"

namespace loftwick {

namespace {

constexpr size_t kTimeFieldBytes = 4;
constexpr size_t kLengthFieldBytes = 8;

// Reads the fields of one record front to back. Text and number fields that run past the end of the
// buffer stop there without failing (a record cut short keeps what it has); only a length byte past
// the end is a failure.
class RecordReader {
  public:
    RecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // A view into the record: the fields are copied only into the object's own texts.
    std::string_view Text() {
        const size_t length = LengthByte();
        const size_t take = std::min(length, size_ - pos_);
        const std::string_view text(reinterpret_cast<const char*>(data_) + pos_, take);
        pos_ += take;
        return text;
    }

    uint64_t Number(size_t width) {
        uint64_t value = 0;
        for (size_t k = 0; k < width && pos_ < size_; ++k) value |= uint64_t{data_[pos_++]} << (8 * k);
        return value;
    }

  private:
    size_t LengthByte() {
        for (;;) {
            if (pos_ >= size_) Raise(vberr::SubscriptOutOfRange);
            const uint8_t length = data_[pos_++];
            if (length != 0) return length;
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

bool IsPlainContentName(std::string_view baseName) {
    return !baseName.empty() && baseName != "." && baseName != ".." &&
           baseName.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

void clsCacheWinGate::setFileName(const std::string& strNewValue) {
    if (strNewValue.empty()) return;
    const std::string folder = FolderOf(strNewValue);
    try {
        BindContentFile(TheFileSystem().OpenDirectory(folder.empty() ? "." : folder),
                        LastPartOf(strNewValue));
    } catch (const RuntimeError& e) {
        name_.clear();
        if (!IsMissingFileError(e)) HandleError(BindLocation(), strNewValue);
    }
}

void clsCacheWinGate::BindContentFile(const HeldDir& folder, const std::string& name) {
    try {
        // The content file is opened only when an operation reads or changes it: a scan that lists
        // records needs no more than its size.
        const std::optional<uint64_t> size = StatBound(folder, name);
        if (!size) {
            name_.clear();
            return;
        }
        actualLength_ = static_cast<int64_t>(*size);
    } catch (const RuntimeError& e) {
        name_.clear();
        if (!IsMissingFileError(e)) HandleError(BindLocation(), folder.PathOf(name));
    } catch (...) {
        name_.clear();
        HandleError(BindLocation(), folder.PathOf(name));
    }
}

bool clsCacheWinGate::TakeMetadata(const uint8_t* aBuffer, size_t size) {
    ClearMetadata();
    RecordReader record(aBuffer, size);
    return Trapped("clsCacheWinGate:clsCache_Filename", "", false, [&] {
        const std::string_view address = record.Text();  // read first: a record cut short leaves no URL
        url_.assign("http://").append(address);
        const std::string_view baseName = record.Text();
        // A name that is not a plain name in the cache folder is never joined to a path: nothing outside
        // the cache may be bound, copied or deleted because an index said so.
        if (IsPlainContentName(baseName)) {
            thread_local std::string name;  // one buffer for every record
            name.assign(baseName).append(".wgc");
            if (cacheFolder_) {
                BindContentFile(cacheFolder_, name);
            } else {
                setFileName(Program().CacheDir + name);
            }
        }
        SetRetrieved(TimeDateStampToDate(static_cast<int64_t>(record.Number(kTimeFieldBytes)), true));
        modified_ = TimeDateStampToDate(static_cast<int64_t>(record.Number(kTimeFieldBytes)), true);
        SetContentLabel(record.Text());
        const uint64_t reported = record.Number(kLengthFieldBytes);
        reportedLength_ =
            static_cast<int64_t>(std::min<uint64_t>(reported, std::numeric_limits<int64_t>::max()));
        return true;
    });
}

// A host with no path after it is none.
std::string clsCacheWinGate::Host() const {
    const size_t slashes = url_.find("//");
    if (slashes == std::string::npos || url_.find('/', slashes + 2) == std::string::npos) return {};
    return HostOfUrl(url_);
}

}  // namespace loftwick
