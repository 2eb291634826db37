#pragma once
// A small line-based description of a cache, for demo caches and hand-made cases outside C++.
//
//   # a comment; blank lines are ignored
//   format winproxy                       (or wingate, or squid [L1 L2]; must come first)
//   object                                (WinProxy: starts an object)
//     host www.example.com
//     file 1a2b3c4d_index.html            (optional: made from the URL)
//     leadin LOFTWICK\n                   (9 bytes; escapes \n \r \t \0 \\ \xHH work in every value)
//     url http://www.example.com/index.html
//     status HTTP/1.0 200 OK
//     header Content-Type: text/html      (repeatable, written in order)
//     break crlf                          (lf, crlf, cr, nul, mixed)
//     blockend \r\n\r\n                   (bytes after the last header line instead of the empty line)
//     raw <bytes>                         (the whole file instead of all of the above)
//   record                                (WinGate: starts an index record)
//     url www.example.com/a.html          (without "http://")
//     name 00000001
//     retrieved 2024-11-01 10:00:00       (UTC, or seconds since 1970)
//     modified 1000000000
//     type text/html
//     length 4096
//     rawfield 2 \x03abc                  (field 1-6 written as exactly these bytes)
//     zeros 2 1                           (that many 0 bytes in front of field 2)
//     cut 17                              (the record stops after 17 bytes)
//     trailing <bytes>                    (after field 6)
//     missing                             (no ".wgc" file)
//   garbage <bytes>                       (WinGate: appended to the index as they are)
//   swapfile                              (Squid: starts a swap file)
//     url http://www.example.com/a.js
//     status HTTP/1.1 200 OK
//     header Content-Type: text/html      (repeatable, written in order)
//     timestamp 2024-11-01 10:00:00       (also lastref, expires, lastmod; UTC, seconds, or -1)
//     refcount 3                          (also flags)
//     vary accept-encoding="gzip"         (the stored Vary headers)
//     entry 99 <bytes>                    (an extra metadata entry of that type, after the others)
//     nourl                               (no URL entry)
//     metalength 4000                     (the length the prefix announces)
//     number 42                           (the file number; else the next one)
//     raw <bytes>                         (the whole swap file)
//   marker http://www.example.com/a.js Accept-Encoding   (Squid: the Vary marker of a URL)
//
// Content and times of either kind of object:
//     content <bytes>                     (or: size 4096 [pattern|zero|sparse])
//     patch 100 NEEDLE                    (bytes laid over the content at an offset)
//     written 2024-11-01 10:00:00         (last-write time; UTC or seconds since 1970)
//     created 2024-11-08 10:00:00         (creation time)
#include <cstdint>
#include <istream>
#include <string>

namespace loftwick::builder {

// Writes the cache a description names into `outDir`; returns the number of objects and records
// written. Throws std::runtime_error naming the line of the first mistake.
uint64_t BuildFromDescription(std::istream& in, const std::string& outDir);

// The escapes of a description value turned into bytes.
std::string Unescape(const std::string& text);

}  // namespace loftwick::builder
