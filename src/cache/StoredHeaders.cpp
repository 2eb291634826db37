#include "cache/StoredHeaders.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "support/Clock.h"
#include "support/Program.h"
#include "support/TextCodec.h"

namespace loftwick {
namespace {

constexpr size_t kLeadInLength = 9;
constexpr size_t kShortestParsedText = 20;

bool IsLineBreak(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// A signed decimal integer and nothing else; anything else (including a value beyond 64 bits) is "no
// reported length" rather than a broken object: the length is only informative.
int64_t ParseContentLength(std::string_view value) {
    if (!value.empty() && value.front() == '+') value.remove_prefix(1);
    int64_t number = 0;
    const char* first = value.data();
    const char* last = value.data() + value.size();
    const auto [end, ec] = std::from_chars(first, last, number);
    if (value.empty() || ec != std::errc() || end != last) return 0;
    return number;
}

void AppendListValue(std::string& list, std::string_view value) {
    if (value.empty()) return;
    if (!list.empty()) list += ", ";
    list += value;
}

void TakeHeaderLine(std::string_view line, StoredHeaderBlock& block) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    // Only blanks are trimmed: a tab inside a stored header is part of its value.
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(name, "DATE")) {
        block.date = value;
        block.hasDate = true;
    } else if (EqualsNoCase(name, "LAST-MODIFIED")) {
        block.lastModified = value;
        block.hasLastModified = true;
    } else if (EqualsNoCase(name, "CONTENT-TYPE")) {
        block.contentType = value;
    } else if (EqualsNoCase(name, "CONTENT-LENGTH")) {
        block.contentLength = ParseContentLength(value);
    } else if (EqualsNoCase(name, "CONTENT-ENCODING")) {
        AppendListValue(block.contentEncoding, value);
    } else if (EqualsNoCase(name, "TRANSFER-ENCODING")) {
        AppendListValue(block.transferEncoding, value);
    }
}

// Walks the lines of the block: calls `take(number, line)` for each complete line (1 is the URL line)
// and returns the header length, 0 when the block does not end in the text.
template <class F>
int64_t WalkStoredLines(std::string_view examined, F&& take) {
    const size_t n = examined.size();
    if (n < kShortestParsedText) return 0;

    // Indexes are 0-based here; the block-end rules read in 1-based positions p as p = index + 1.
    size_t lineStart = kLeadInLength;
    int lineCount = 0;
    while (lineStart < n) {
        size_t lineEnd = lineStart;
        while (lineEnd < n && !IsLineBreak(examined[lineEnd])) ++lineEnd;
        if (lineEnd >= n) break;  // an unterminated last line is not used: it may be cut short

        take(++lineCount, examined.substr(lineStart, lineEnd - lineStart));

        // An empty line ends the block. CR LF CR LF is recognised by its two CRs, which is why a CR
        // needs three characters after it and an LF only two.
        size_t k = lineEnd;
        for (; k < n && IsLineBreak(examined[k]); ++k) {
            const char c = examined[k];
            if (c == '\n' && n - k > 2 && examined[k + 1] == '\n') return static_cast<int64_t>(k + 2);
            if (c == '\r' && n - k > 3 && examined[k + 2] == '\r') return static_cast<int64_t>(k + 4);
        }
        lineStart = k;
    }
    return 0;
}

}  // namespace

StoredHeaderBlock ParseStoredHeaderBlock(std::string_view examined) {
    StoredHeaderBlock block;
    ParseStoredHeaderBlock(examined, block);
    return block;
}

namespace {

// Emptied, not replaced: the texts keep their room for the next object.
void Empty(StoredHeaderBlock& block) {
    for (std::string* text : {&block.url, &block.date, &block.lastModified, &block.contentType,
                              &block.contentEncoding, &block.transferEncoding}) {
        text->clear();
    }
    block.contentLength = 0;
    block.hasDate = block.hasLastModified = false;
}

}  // namespace

int64_t ParseStoredHeaderBlock(std::string_view examined, StoredHeaderBlock& block) {
    Empty(block);
    block.headerLength = WalkStoredLines(examined, [&](int number, std::string_view line) {
        if (number == 1) {
            block.url = line;
        } else if (number >= 3) {
            TakeHeaderLine(line, block);
        }
    });
    return block.headerLength;
}

std::string ResponseHeadOf(std::string_view examined) {
    std::string head;
    const int64_t headerLength = WalkStoredLines(examined, [&](int number, std::string_view line) {
        if (number < 2) return;
        head += line;
        head += "\r\n";
    });
    if (headerLength == 0 || head.rfind("HTTP/", 0) != 0) return {};
    return head + "\r\n";
}

namespace {

// Calls `take(number, line)` for each complete line of a stored reply (1 is the status line) and returns
// the bytes up to the content, 0 when the head does not end in the text.
template <class F>
int64_t WalkReplyLines(std::string_view reply, F&& take) {
    size_t lineStart = 0;
    for (int number = 1;; ++number) {
        const size_t lf = reply.find('\n', lineStart);
        if (lf == std::string_view::npos) return 0;
        std::string_view line = reply.substr(lineStart, lf - lineStart);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lineStart = lf + 1;
        if (line.empty()) return number == 1 ? 0 : static_cast<int64_t>(lineStart);
        take(number, line);
    }
}

}  // namespace

StoredHeaderBlock ParseStoredReply(std::string_view reply) {
    StoredHeaderBlock block;
    ParseStoredReply(reply, block);
    return block;
}

int64_t ParseStoredReply(std::string_view reply, StoredHeaderBlock& block) {
    Empty(block);
    block.headerLength = WalkReplyLines(reply, [&](int number, std::string_view line) {
        if (number >= 2) TakeHeaderLine(line, block);
    });
    return block.headerLength;
}

std::string ReplyHeadOf(std::string_view reply) {
    std::string head;
    const int64_t headerLength = WalkReplyLines(reply, [&](int, std::string_view line) {
        head += line;
        head += "\r\n";
    });
    if (headerLength == 0 || head.rfind("HTTP/", 0) != 0) return {};
    return head + "\r\n";
}

namespace {

// What the tokens of a date text have told so far; zero means "not seen".
struct DateFindings {
    bool weekdaySeen = false;
    int32_t day = 0, month = 0, year = 0;
    OleDate time;
    std::optional<int32_t> zoneMinutes;  // east of UTC
};

// Case-insensitive 1-based position of `token` in `list`, 0 when absent (InStr's answer).
size_t FindIgnoringCase(std::string_view list, std::string_view token) {
    const size_t at = FindNoCase(list, token);
    return at == std::string_view::npos ? 0 : at + 1;
}

bool AllDigits(std::string_view token) {
    if (token.empty()) return false;
    for (char c : token) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Plain decimal integers only; one too large for 32 bits is simply not a number.
std::optional<int32_t> AsNumber(std::string_view token) {
    if (!AllDigits(token)) return std::nullopt;
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return value;
}

// RFC 850 dates carry two-digit years; HTTP reads them as the year nearest to now, and one that would
// lie more than 50 years ahead as the past century's.
int32_t ExpandTwoDigitYear(int32_t twoDigits) {
    const int32_t current = SplitDate(TheClock().Now()).year;
    int32_t year = current - current % 100 + twoDigits;
    if (year > current + 50)
        year -= 100;
    else if (year <= current - 50)
        year += 100;
    return year;
}

std::optional<int32_t> ZoneOffsetMinutes(std::string_view token) {
    struct NamedZone {
        std::string_view name;
        int32_t hours;
    };
    static constexpr NamedZone kZones[] = {
        {"GMT", 0},  {"UTC", 0},  {"UT", 0},   {"Z", 0},    {"EST", -5}, {"EDT", -4},
        {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7},
    };
    for (const NamedZone& zone : kZones) {
        if (token == zone.name) return zone.hours * 60;
    }
    if (token.size() == 5 && (token[0] == '+' || token[0] == '-') && AllDigits(token.substr(1))) {
        const int32_t hours = (token[1] - '0') * 10 + (token[2] - '0');
        const int32_t minutes = (token[3] - '0') * 10 + (token[4] - '0');
        if (minutes >= 60) return std::nullopt;
        const int32_t offset = hours * 60 + minutes;
        return token[0] == '-' ? -offset : offset;
    }
    return std::nullopt;
}

void TakeDateToken(std::string_view token, DateFindings& found) {
    if (!found.weekdaySeen && FindIgnoringCase("Mon,Tue,Wed,Thu,Fri,Sat,Sun,", token) > 0) {
        found.weekdaySeen = true;
        return;
    }
    if (const std::optional<int32_t> v = AsNumber(token)) {
        if (found.day == 0 && *v < 32) {
            found.day = *v;
            return;
        }
        if (found.year == 0 && *v > 1900) {
            found.year = *v;
            return;
        }
        if (found.year == 0 && found.day != 0 && token.size() == 2) {
            found.year = ExpandTwoDigitYear(*v);
            return;
        }
    }
    if (found.month == 0) {
        if (const size_t p = FindIgnoringCase("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", token)) {
            // (p + 3) / 4 rounded half to even: "Nov" at 41 is 11, a fragment such as "n" at 3 is 2.
            const size_t q = p + 3;
            size_t month = q / 4;
            const size_t rest = q % 4;
            if (rest > 2 || (rest == 2 && month % 2 == 1)) ++month;
            found.month = static_cast<int32_t>(month);
            return;
        }
    }
    if (found.time.IsZero()) {
        if (const std::optional<OleDate> time = ParseDateOrTime(std::string(token))) {
            found.time = *time;
            return;
        }
    }
    if (!found.zoneMinutes) found.zoneMinutes = ZoneOffsetMinutes(token);
}

}  // namespace

OleDate InternetDateTime2Date(const std::string& text) {
    const std::string_view t = Trim(text);
    const size_t n = t.size();
    DateFindings found;

    // A token ends at the next blank, or at a "-" before that blank, so "06-Nov-94" splits into its parts;
    // the last token runs to the end of the text, "-" included, which keeps a trailing "-0500" whole.
    size_t pos = 0;
    while (pos < n) {
        const size_t blank = t.find(' ', pos);
        size_t end = n;
        if (blank != std::string_view::npos) {
            const size_t dash = t.find('-', pos);
            end = dash != std::string_view::npos && dash < blank ? dash : blank;
        }
        const std::string_view token = t.substr(pos, end - pos);
        pos = end + 1;
        if (!token.empty()) TakeDateToken(token, found);
    }

    const int32_t year = found.year != 0 ? found.year : 1990;
    const int32_t month = found.month != 0 ? found.month : 1;
    const int32_t day = found.day != 0 ? found.day : 1;
    // Beyond the date type's last year there is no date to give.
    if (year > 9999) return OleDate();
    const OleDate stated(DateSerial(year, month, day).Serial() + found.time.Serial());
    if (!found.zoneMinutes) return NoDatePastYear9999(stated);  // no zone: the text is taken as local time

    const OleDate utc = AddSeconds(stated, -int64_t{*found.zoneMinutes} * 60);
    // A zone shift or a rolled-over day can carry 9999-12-31 past the date type's end.
    return NoDatePastYear9999(EpochToLocalDate(UtcDateToEpoch(utc)));
}

}  // namespace loftwick
