#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/FileSystem.h"

namespace loftwick {

// Reading ahead on a second thread: while the scan binds and processes one object, the next ones of the
// same folder are opened and their first bytes read (the head for a metadata scan, the content for a
// contents search) into a bounded window. The scan still makes every call itself and in its own order;
// only the open and the first read of a queued name are answered from the window, with what that call
// gave on the other thread (the open file, or the very error it raised). Nothing is ever changed from
// the other thread: it opens and reads only.
//
// While one is alive it stands in as the program's file system (every other call goes straight through
// to the one it replaced, which also serves the other thread), and it stops its thread when it goes.
// It does nothing when read-ahead is off, or when the file system in place cannot be called from two
// threads at once.
class ReadAhead {
  public:
    // `headBytes`: how much of each queued file to read; 0 for all of it (the window's bound applies).
    // `whileWaiting` runs on the scan thread, every few milliseconds, while the scan waits for the other
    // thread to read the object it takes next: the window's events must not wait with it.
    ReadAhead(uint64_t headBytes, std::function<void()> whileWaiting);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The names of `dir` the walk binds next, in the order it binds them.
    void Queue(const HeldDir& dir, const std::vector<std::string>& names);
    void Queue(const HeldDir& dir, const std::vector<DirEntry>& entries);

    // The window's bounds: objects read ahead and not yet taken, and their bytes.
    static constexpr size_t kWindowObjects = 64;
    static constexpr uint64_t kWindowBytes = 8u << 20;

  private:
    class Window;
    std::unique_ptr<Window> window_;
    FileSystem* replaced_ = nullptr;
};

}  // namespace loftwick
