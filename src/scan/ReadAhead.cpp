#include "scan/ReadAhead.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "support/Program.h"
#include "support/RuntimeError.h"

namespace loftwick {
namespace {

// What a call on the other thread raised, to be raised again on the scan thread when the scan makes
// that call itself: the exception and the last error it set.
struct Failure {
    std::exception_ptr error;
    uint32_t lastError = 0;

    void Take() {
        error = std::current_exception();
        lastError = GetLastError();
    }
    [[noreturn]] void Raise() {
        const std::exception_ptr raised = std::exchange(error, nullptr);
        SetLastError(lastError);
        std::rethrow_exception(raised);
    }
};

// An open file whose first bytes were read on the other thread: reads within them are answered from
// memory, the rest goes to the file itself. A read that failed there fails the scan's first read past
// what it got, as it would have failed there.
class PrefetchedFile final : public InputFile {
  public:
    PrefetchedFile(std::unique_ptr<InputFile> file, std::string head, Failure failure)
        : file_(std::move(file)),
          head_(std::move(head)),
          failure_(std::move(failure)),
          filePos_(head_.size()) {}

    size_t Read(char* buffer, size_t count) override {
        size_t done = 0;
        if (pos_ < head_.size()) {
            done = static_cast<size_t>(std::min<uint64_t>(count, head_.size() - pos_));
            std::memcpy(buffer, head_.data() + pos_, done);
            pos_ += done;
            if (done == count) return done;
        }
        if (failure_.error) {
            if (pos_ == head_.size()) failure_.Raise();
            failure_ = Failure();  // a read elsewhere was never made there
        }
        if (filePos_ != pos_) {
            file_->Seek(pos_);
            filePos_ = pos_;
        }
        const size_t got = file_->Read(buffer + done, count - done);
        pos_ += got;
        filePos_ = pos_;
        return done + got;
    }
    void Seek(uint64_t offset) override { pos_ = offset; }
    uint64_t Size() override { return file_->Size(); }
    std::pair<uint64_t, uint64_t> DataExtent(uint64_t at) override {
        filePos_ = UINT64_MAX;  // the file's own position is undefined after it
        return file_->DataExtent(at);
    }
    FileInfo Info() override { return file_->Info(); }
    FileInfo Current() override { return file_->Current(); }
    void SetTimes(std::optional<FileTimeSpec> writeTime, std::optional<FileTimeSpec> accessTime) override {
        file_->SetTimes(writeTime, accessTime);
    }
    std::optional<FileTimeSpec> CreationTime() override { return file_->CreationTime(); }
    void SetCreationTime(FileTimeSpec time) override { file_->SetCreationTime(time); }

  private:
    std::unique_ptr<InputFile> file_;
    std::string head_;
    Failure failure_;
    uint64_t pos_ = 0;
    uint64_t filePos_;  // where the file itself stands
};

}  // namespace

class ReadAhead::Window final : public FileSystem {
  public:
    Window(FileSystem& inner, uint64_t headBytes, std::function<void()> whileWaiting)
        : inner_(inner), headBytes_(headBytes), whileWaiting_(std::move(whileWaiting)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Window() override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        readerWake_.notify_all();
        thread_.join();
    }

    template <class It, class NameOf>
    void Queue(const HeldDir& dir, It first, It last, NameOf nameOf) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            for (; first != last; ++first) slots_.push_back(Slot{dir, nameOf(*first)});
        }
        readerWake_.notify_all();
    }

    std::unique_ptr<InputFile> OpenReadAt(const HeldDir& dir, const std::string& name) override {
        std::unique_lock<std::mutex> lock(mutex_);
        // Only the name the walk binds next is answered from the window; any other open is the scan's own.
        if (slots_.empty() || slots_.front().dir.fd() != dir.fd() || slots_.front().name != name) {
            lock.unlock();
            return inner_.OpenReadAt(dir, name);
        }
        // Even a name not begun yet is left to the other thread, so that the opens reach the file system in
        // listing order however the two threads run.
        if (slots_.front().state != State::Done) {
            scanWaiting_ = true;
            while (!scanWake_.wait_for(lock, kWaitSlice, [&] { return Ahead(); })) {
                // The other thread is held up (a slow disk, a busy machine): the window is not.
                if (!whileWaiting_) continue;
                lock.unlock();
                whileWaiting_();
                lock.lock();
            }
            scanWaiting_ = false;
        }
        Slot slot = std::move(slots_.front());
        slots_.pop_front();
        --next_;
        held_ -= slot.head.size();
        const bool wake = readerWaiting_ && Drained();
        lock.unlock();
        if (wake) readerWake_.notify_one();
        if (!slot.file) slot.openFailure.Raise();
        return std::make_unique<PrefetchedFile>(std::move(slot.file), std::move(slot.head),
                                                std::move(slot.readFailure));
    }

    std::vector<DirEntry> ListDirectory(const std::string& path) override {
        return inner_.ListDirectory(path);
    }
    std::optional<FileInfo> Stat(const std::string& path) override { return inner_.Stat(path); }
    std::optional<FileInfo> Lstat(const std::string& path) override { return inner_.Lstat(path); }
    std::unique_ptr<InputFile> OpenRead(const std::string& path, bool followLinks) override {
        return inner_.OpenRead(path, followLinks);
    }
    std::unique_ptr<OutputFile> OpenWrite(const std::string& path, WriteMode mode) override {
        return inner_.OpenWrite(path, mode);
    }
    std::unique_ptr<OutputFile> OpenStream(const std::string& path) override {
        return inner_.OpenStream(path);
    }
    void Rename(const std::string& from, const std::string& to) override { inner_.Rename(from, to); }
    void RemoveFile(const std::string& path) override { inner_.RemoveFile(path); }
    void MakeDirectory(const std::string& path, bool ownerOnly) override {
        inner_.MakeDirectory(path, ownerOnly);
    }
    void RemoveDirectory(const std::string& path) override { inner_.RemoveDirectory(path); }
    bool IsWritableDirectory(const std::string& path) override { return inner_.IsWritableDirectory(path); }
    HeldDir OpenDirectory(const std::string& path, bool followLinks) override {
        return inner_.OpenDirectory(path, followLinks);
    }
    HeldDir OpenDirectoryAt(const HeldDir& dir, const std::string& name) override {
        return inner_.OpenDirectoryAt(dir, name);
    }
    std::vector<DirEntry> ListAt(const HeldDir& dir) override { return inner_.ListAt(dir); }
    void ListInto(const HeldDir& dir, std::vector<DirEntry>& entries) override {
        inner_.ListInto(dir, entries);
    }
    std::optional<FileInfo> LstatAt(const HeldDir& dir, const std::string& name) override {
        return inner_.LstatAt(dir, name);
    }
    std::unique_ptr<OutputFile> CreateAt(const HeldDir& dir, const std::string& name) override {
        return inner_.CreateAt(dir, name);
    }
    void MakeDirectoryAt(const HeldDir& dir, const std::string& name) override {
        inner_.MakeDirectoryAt(dir, name);
    }
    bool RemoveAt(const HeldDir& dir, const std::string& name, const FileInfo* expected) override {
        return inner_.RemoveAt(dir, name, expected);
    }
    void RemoveDirectoryAt(const HeldDir& dir, const std::string& name) override {
        inner_.RemoveDirectoryAt(dir, name);
    }
    void RenameAt(const HeldDir& fromDir, const std::string& from, const HeldDir& toDir,
                  const std::string& to) override {
        inner_.RenameAt(fromDir, from, toDir, to);
    }
    bool ThreadSafe() const override { return inner_.ThreadSafe(); }

  private:
    enum class State { Queued, Reading, Done };
    struct Slot {
        Slot(const HeldDir& d, const std::string& n) : dir(d), name(n) {}
        HeldDir dir;
        std::string name;
        State state = State::Queued;
        std::unique_ptr<InputFile> file;
        std::string head;
        Failure openFailure, readFailure;
    };

    // A scan that caught up with the other thread sleeps until it is a few objects ahead again (or has
    // read all that is queued, or the window is full), for the same reason.
    bool Ahead() const {
        return slots_.front().state == State::Done &&
               (next_ >= kWakeAhead || next_ == slots_.size() || held_ >= kWindowBytes / 2);
    }
    static constexpr size_t kWakeAhead = 8;
    static constexpr std::chrono::milliseconds kWaitSlice{5};

    // Once full, the window is let drain to half before the other thread reads on, so that the two
    // threads do not wake each other for every object.
    bool Drained() const {
        return next_ < slots_.size() && next_ <= kWindowObjects / 2 && held_ <= kWindowBytes / 2;
    }

    // The other thread: the queued names in order, while the window has room.
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (!stop_ && (next_ >= slots_.size() || next_ >= kWindowObjects || held_ >= kWindowBytes)) {
                readerWaiting_ = true;
                readerWake_.wait(lock, [&] { return stop_ || Drained(); });
                readerWaiting_ = false;
            }
            if (stop_) return;
            // References into a deque stay valid while elements are added at the back, and the scan
            // takes none that is not done.
            Slot& slot = slots_[next_];
            slot.state = State::Reading;
            const uint64_t room = kWindowBytes - held_;
            lock.unlock();
            Fill(slot, room);
            lock.lock();
            held_ += slot.head.size();
            slot.state = State::Done;
            ++next_;
            if (scanWaiting_ && Ahead()) scanWake_.notify_one();
        }
    }

    void Fill(Slot& slot, uint64_t room) {
        try {
            slot.file = inner_.OpenReadAt(slot.dir, slot.name);
        } catch (...) {
            slot.file.reset();
            slot.openFailure.Take();
            return;
        }
        try {
            const uint64_t size = slot.file->Info().size;
            const uint64_t wanted = std::min({headBytes_ > 0 ? headBytes_ : size, size, room});
            slot.head.resize(static_cast<size_t>(wanted));
            slot.head.resize(wanted > 0 ? slot.file->Read(slot.head.data(), slot.head.size()) : 0);
        } catch (...) {
            slot.head.clear();
            slot.readFailure.Take();
        }
    }

    FileSystem& inner_;
    const uint64_t headBytes_;
    const std::function<void()> whileWaiting_;
    std::mutex mutex_;
    std::condition_variable readerWake_, scanWake_;
    bool readerWaiting_ = false, scanWaiting_ = false;
    std::deque<Slot> slots_;  // from the one the scan binds next
    size_t next_ = 0;         // the first slot not begun
    uint64_t held_ = 0;       // bytes read ahead and not yet taken
    bool stop_ = false;
    std::thread thread_;
};

ReadAhead::ReadAhead(uint64_t headBytes, std::function<void()> whileWaiting) {
    FileSystem& fs = TheFileSystem();
    if (!Program().ReadAhead || !fs.ThreadSafe()) return;
    try {
        window_ = std::make_unique<Window>(fs, headBytes, std::move(whileWaiting));
    } catch (const std::exception&) {
        return;  // no second thread to be had: the scan reads for itself
    }
    replaced_ = Platform().fileSystem;
    Platform().fileSystem = window_.get();
}

ReadAhead::~ReadAhead() {
    if (!window_) return;
    Platform().fileSystem = replaced_;
    window_.reset();
}

void ReadAhead::Queue(const HeldDir& dir, const std::vector<std::string>& names) {
    if (window_)
        window_->Queue(dir, names.begin(), names.end(),
                       [](const std::string& n) -> const std::string& { return n; });
}

void ReadAhead::Queue(const HeldDir& dir, const std::vector<DirEntry>& entries) {
    if (window_)
        window_->Queue(dir, entries.begin(), entries.end(),
                       [](const DirEntry& e) -> const std::string& { return e.name; });
}

}  // namespace loftwick
