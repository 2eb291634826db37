#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "support/OleDate.h"

namespace loftwick {

// What the start of a WinProxy cache file says about the object: line 1 after the 9-byte lead-in is the
// URL, line 2 is skipped, then header lines up to an empty line. Bytes are characters, one per byte.
struct StoredHeaderBlock {
    std::string url;
    std::string date;          // raw "DATE" value ("" when none); the last occurrence wins
    std::string lastModified;  // raw "LAST-MODIFIED" value
    // Whether those headers are there at all: a present one with an empty value is still a date text.
    bool hasDate = false, hasLastModified = false;
    std::string contentType;  // raw "CONTENT-TYPE" value
    // "CONTENT-ENCODING" and "TRANSFER-ENCODING": every occurrence, joined by ", " in the order stored,
    // since each line adds codings to the list rather than replacing it.
    std::string contentEncoding;
    std::string transferEncoding;
    int64_t contentLength = 0;  // "CONTENT-LENGTH"; 0 when missing or not a number
    int64_t headerLength = 0;   // bytes before the content; 0 when the block does not end in the text
};

// Parses the examined text (the first 10,000 bytes of the file, or all of a shorter file). A text of
// fewer than 20 bytes is not parsed at all. Never fails.
StoredHeaderBlock ParseStoredHeaderBlock(std::string_view examined);
// The same into a block that is reused from object to object; returns its header length.
int64_t ParseStoredHeaderBlock(std::string_view examined, StoredHeaderBlock& block);

// The status line (line 2) and the header lines of the examined text, each ended by CR LF whatever the
// file used, and the empty line that closes them: the response head as a reader of HTTP expects it. ""
// when the block does not end in the text or line 2 is no "HTTP/" status line.
std::string ResponseHeadOf(std::string_view examined);

// The stored reply of a Squid swap file, from its first byte: the status line, header lines and the
// empty line, each line ended by LF or CR LF; `url` stays empty and headerLength counts the bytes up to
// the content (0 when the head does not end in the text). Never fails.
StoredHeaderBlock ParseStoredReply(std::string_view reply);
// The same into a block that is reused from object to object; returns its header length.
int64_t ParseStoredReply(std::string_view reply, StoredHeaderBlock& block);
// The head of such a reply with every line ended by CR LF; "" when it does not end in the text or does
// not begin with an "HTTP/" status line.
std::string ReplyHeadOf(std::string_view reply);

// An HTTP date text as a local date. Never fails: what it cannot recognise takes defaults
// (1990-01-01 00:00). Zone names and offsets are honoured and the moment is converted from UTC to local.
OleDate InternetDateTime2Date(const std::string& text);

}  // namespace loftwick
