#include "MinimalReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace loftwick::bench {
namespace {

constexpr size_t kHeaderBytes = 4096;
constexpr size_t kReadBlock = 65536;

bool Hidden(const char* name) { return name[0] == '.'; }

// Names of the entries of `dir` of one type (DT_DIR or DT_REG), hidden ones left out.
std::vector<std::string> Entries(const std::string& dir, unsigned char type) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_type == type && !Hidden(e->d_name)) names.emplace_back(e->d_name);
    }
    ::closedir(d);
    return names;
}

void ForEachWinProxyFile(const std::string& cacheDir, const std::function<void(const std::string&)>& visit) {
    for (const std::string& host : Entries(cacheDir, DT_DIR)) {
        const std::string dir = cacheDir + host + "/";
        for (const std::string& name : Entries(dir, DT_REG)) visit(dir + name);
    }
}

// A Squid store: L1 folders, L2 folders below them, swap files below those (swap.state lies beside the
// L1 folders and is no object).
void ForEachSquidFile(const std::string& cacheDir, const std::function<void(const std::string&)>& visit) {
    for (const std::string& l1 : Entries(cacheDir, DT_DIR)) {
        for (const std::string& l2 : Entries(cacheDir + l1 + "/", DT_DIR)) {
            const std::string dir = cacheDir + l1 + "/" + l2 + "/";
            for (const std::string& name : Entries(dir, DT_REG)) visit(dir + name);
        }
    }
}

using Walk = void (*)(const std::string&, const std::function<void(const std::string&)>&);

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

// Plain pointers that cannot overlap, so the compiler turns the loop into vector code: the yardstick
// must not be slowed down by a byte-at-a-time loop.
void UpperInto(const char* __restrict from, size_t count, char* __restrict to) {
    for (size_t i = 0; i < count; ++i) to[i] = Upper(from[i]);
}

// Whether a header block (up to its end) has a "Content-Encoding: gzip" line.
bool SaysGzip(const char* head, const char* end) {
    for (const char* line = head; line < end;) {
        const char* next = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (!next) next = end;
        const size_t length = static_cast<size_t>(next - line);
        if (length > 17 && ::strncasecmp(line, "content-encoding:", 17) == 0 &&
            ::memmem(line + 17, length - 17, "gzip", 4))
            return true;
        line = next + 1;
    }
    return false;
}

// Searches files for an upper-cased word, letter case ignored, block by block; the end of each block is
// carried into the next so that a word cut by a block boundary is still found. The buffers serve every
// file. With `headed` (WinProxy and Squid files), the bytes after the first header block are searched,
// and a gzip-encoded content is inflated first: no word could be found in it otherwise.
class WordSearch {
  public:
    WordSearch(std::string upperWord, bool headed)
        : word_(std::move(upperWord)),
          headed_(headed),
          raw_(kReadBlock),
          inflated_(kReadBlock),
          text_(word_.size() - 1 + kReadBlock) {
        ::inflateInit2(&z_, 16 + MAX_WBITS);
    }
    ~WordSearch() { ::inflateEnd(&z_); }
    WordSearch(const WordSearch&) = delete;
    WordSearch& operator=(const WordSearch&) = delete;

    bool PathHolds(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) return false;
        struct stat st {};
        const bool found = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && FileHolds(fd);
        ::close(fd);
        return found;
    }

  private:
    bool FileHolds(int fd) {
        kept_ = 0;
        bool first = true, gzip = false;
        for (;;) {
            const ssize_t got = ::read(fd, raw_.data(), raw_.size());
            if (got <= 0) return false;
            const char* data = raw_.data();
            size_t n = static_cast<size_t>(got);
            if (first && headed_) {
                first = false;
                const char* end = static_cast<const char*>(::memmem(data, n, "\r\n\r\n", 4));
                const char* body = end ? end + 4 : nullptr;
                if (!end && (end = static_cast<const char*>(::memmem(data, n, "\n\n", 2)))) body = end + 2;
                if (body) {
                    gzip = SaysGzip(data, end);
                    n -= static_cast<size_t>(body - data);
                    data = body;
                    if (gzip) ::inflateReset(&z_);
                }
            }
            if (gzip ? InflatedHolds(data, n) : Holds(data, n)) return true;
        }
    }

    bool InflatedHolds(const char* data, size_t n) {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z_.avail_in = static_cast<uInt>(n);
        do {
            z_.next_out = reinterpret_cast<Bytef*>(inflated_.data());
            z_.avail_out = static_cast<uInt>(inflated_.size());
            const int rc = ::inflate(&z_, Z_NO_FLUSH);
            if (Holds(inflated_.data(), inflated_.size() - z_.avail_out)) return true;
            if (rc != Z_OK) return false;
        } while (z_.avail_out == 0 || z_.avail_in > 0);
        return false;
    }

    bool Holds(const char* data, size_t n) {
        UpperInto(data, n, text_.data() + kept_);
        const size_t length = kept_ + n;
        if (::memmem(text_.data(), length, word_.data(), word_.size())) return true;
        kept_ = std::min(word_.size() - 1, length);
        std::memmove(text_.data(), text_.data() + length - kept_, kept_);
        return false;
    }

    std::string word_;
    bool headed_;
    std::vector<char> raw_, inflated_;
    std::vector<char> text_;
    size_t kept_ = 0;
    z_stream z_{};
};

std::string UpperWord(const std::string& word) {
    std::string upper = word;
    for (char& c : upper) c = Upper(c);
    return upper;
}

// Cuts "cache.idx" into records and hands over each record's content base name. A record is: length
// byte + URL, length byte + base name, 4 + 4 bytes of times, length byte + content type, 8 bytes of
// length; a length byte of 0 is followed by another length byte.
class IndexCutter {
  public:
    template <class Visit>
    void Feed(const unsigned char* data, size_t size, Visit&& visit) {
        for (size_t i = 0; i < size; ++i) {
            const unsigned char byte = data[i];
            if (need_ == 0) {
                need_ = byte;  // a length byte; 0 means another follows
                continue;
            }
            if (field_ == 2) name_ += static_cast<char>(byte);
            if (--need_ > 0) continue;
            switch (++field_) {
                case 3:
                case 4:
                    need_ = 4;
                    break;
                case 6:
                    need_ = 8;
                    break;
                case 7:
                    visit(name_);
                    name_.clear();
                    field_ = 1;
                    need_ = 0;
                    break;
                default:
                    need_ = 0;
                    break;
            }
        }
    }

  private:
    int field_ = 1;
    size_t need_ = 0;
    std::string name_;
};

template <class Visit>
uint64_t ForEachWinGateRecord(const std::string& cacheDir, Visit&& visit) {
    uint64_t records = 0;
    const int fd = ::open((cacheDir + "cache.idx").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::vector<unsigned char> block(kReadBlock);
    IndexCutter cutter;
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got <= 0) break;
        cutter.Feed(block.data(), static_cast<size_t>(got), [&](const std::string& base) {
            ++records;
            visit(cacheDir + base + ".wgc");
        });
    }
    ::close(fd);
    return records;
}

// Finds the end of the header block and the values of its Content-Type and Date lines, as the list
// shows them; true when the block ends.
bool HeaderBlockFacts(const char* head, size_t n, uint64_t size) {
    const char* end = static_cast<const char*>(::memmem(head, n, "\r\n\r\n", 4));
    if (!end) end = static_cast<const char*>(::memmem(head, n, "\n\n", 2));
    if (!end) return false;
    size_t typeLength = 0, dateLength = 0;
    for (const char* line = head; line < end;) {
        const char* next = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (!next) next = end;
        const size_t length = static_cast<size_t>(next - line);
        if (length > 13 && ::strncasecmp(line, "content-type:", 13) == 0)
            typeLength = length - 13;
        else if (length > 5 && ::strncasecmp(line, "date:", 5) == 0)
            dateLength = length - 5;
        line = next + 1;
    }
    // Kept from being thrown away as unused.
    volatile size_t sink = typeLength + dateLength + size;
    (void)sink;
    return true;
}

// Opens each file of the walk, reads its first 4 KiB and looks for the end of a header block.
ReaderCount ReadHeaders(Walk walk, const std::string& cacheDir) {
    ReaderCount count;
    std::vector<char> head(kHeaderBytes);
    walk(cacheDir, [&](const std::string& path) {
        ++count.objects;
        // What the listing needs: a file that is no link, its size, and the header block's end, type and
        // date.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) return;
        struct stat st {};
        const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        const ssize_t got = regular ? ::read(fd, head.data(), head.size()) : -1;
        ::close(fd);
        if (got <= 0) return;
        if (HeaderBlockFacts(head.data(), static_cast<size_t>(got), static_cast<uint64_t>(st.st_size)))
            ++count.hits;
    });
    return count;
}

ReaderCount SearchFiles(Walk walk, const std::string& cacheDir, const std::string& word) {
    ReaderCount count;
    WordSearch search(UpperWord(word), true);
    walk(cacheDir, [&](const std::string& path) {
        ++count.objects;
        if (search.PathHolds(path)) ++count.hits;
    });
    return count;
}

}  // namespace

ReaderCount ReadWinProxyHeaders(const std::string& cacheDir) {
    return ReadHeaders(ForEachWinProxyFile, cacheDir);
}
ReaderCount SearchWinProxy(const std::string& cacheDir, const std::string& word) {
    return SearchFiles(ForEachWinProxyFile, cacheDir, word);
}
ReaderCount ReadSquidHeaders(const std::string& cacheDir) { return ReadHeaders(ForEachSquidFile, cacheDir); }
ReaderCount SearchSquid(const std::string& cacheDir, const std::string& word) {
    return SearchFiles(ForEachSquidFile, cacheDir, word);
}

ReaderCount ReadWinGateIndex(const std::string& cacheDir) {
    ReaderCount count;
    count.objects = ForEachWinGateRecord(cacheDir, [&](const std::string& path) {
        struct stat st {};
        // Links are not followed: the size listed is the content file's own.
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ++count.hits;
    });
    return count;
}

ReaderCount SearchWinGate(const std::string& cacheDir, const std::string& word) {
    ReaderCount count;
    WordSearch search(UpperWord(word), false);
    count.objects = ForEachWinGateRecord(cacheDir, [&](const std::string& path) {
        if (search.PathHolds(path)) ++count.hits;
    });
    return count;
}

}  // namespace loftwick::bench
