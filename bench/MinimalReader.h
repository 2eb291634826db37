#pragma once
// The yardstick for the scan: the least a program must do to visit the same objects, written with
// plain system calls and no error reporting. The scan's speed is judged against these.
#include <cstdint>
#include <string>

namespace loftwick::bench {

struct ReaderCount {
    uint64_t objects = 0;  // objects visited
    uint64_t hits = 0;     // headers ended (header pass) or objects holding the word (search pass)
};

// WinProxy: lists the host folders and their files, opens each file without following a link, takes
// its size (fstat), reads its first 4 KiB, finds the end of the header block and its Content-Type and
// Date lines.
ReaderCount ReadWinProxyHeaders(const std::string& cacheDir);
// WinProxy: the same walk, every byte after the header block of every regular file searched for `word`,
// letter case ignored; a gzip-encoded content is inflated first, as a search that finds words must.
ReaderCount SearchWinProxy(const std::string& cacheDir, const std::string& word);

// WinGate: reads the index, cuts it into records and stats each record's content file (links not
// followed).
ReaderCount ReadWinGateIndex(const std::string& cacheDir);
// WinGate: the same walk, every byte of each content file searched for `word`, letter case ignored.
ReaderCount SearchWinGate(const std::string& cacheDir, const std::string& word);

// Squid: lists the L1 and L2 folders and their swap files, opens each, reads its first 4 KiB and looks
// for the end of the stored reply's head.
ReaderCount ReadSquidHeaders(const std::string& cacheDir);
// Squid: the same walk and the same search, after the head of the stored reply.
ReaderCount SearchSquid(const std::string& cacheDir, const std::string& word);

}  // namespace loftwick::bench
