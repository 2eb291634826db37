#include "scan/basParse.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

bool IsQuote(char c) { return c == '"' || c == '#'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSeparator(char c) { return std::string_view(" ,;/[]{}*!").find(c) != std::string_view::npos; }
bool IsOperator(char c) { return std::string_view("+:()='").find(c) != std::string_view::npos; }

// A quoted token as the text searched for: the enclosing quotes go, a doubled quote stands for one.
std::string Unquoted(const std::string& token) {
    if (token.empty() || !IsQuote(token.front())) return token;
    const char quote = token.front();
    std::string inner;
    for (size_t k = 1; k < token.size(); ++k) {
        if (token[k] != quote) {
            inner += token[k];
        } else if (k + 1 < token.size() && token[k + 1] == quote) {
            inner += quote;
            ++k;
        } else {
            break;  // the closing quote
        }
    }
    return inner;
}

// "-pie" is the user's "exclude PIE"; "-5" and "-.5" are numbers and stay words. Only a minus that
// begins a word as typed (first in the text, or after a blank or separator) excludes: the tokenizer also
// cuts "e-mail" into E and -MAIL, and that -MAIL is part of what the user wants found.
bool IsGluedMinus(const std::string& text, int32_t tokenStart, const std::string& token) {
    if (token.size() < 2 || token[0] != '-' || IsDigit(token[1]) || token[1] == '.') return false;
    if (tokenStart <= 1) return true;
    const char before = text[static_cast<size_t>(tokenStart - 2)];
    return IsSeparator(before) || before == '\t';
}

void AddTerm(ParsedFilter& f) {
    ++f.Count;
    f.Words.emplace_back();
    f.Excluded.push_back(false);
    f.Required.push_back(false);
    f.Found.push_back(false);
    f.Unfindable.push_back(false);
}

void DropLastTerm(ParsedFilter& f) {
    --f.Count;
    f.Words.pop_back();
    f.Excluded.pop_back();
    f.Required.pop_back();
    f.Found.pop_back();
    f.Unfindable.pop_back();
}

bool FlagAt(const std::vector<bool>& flags, size_t k) { return k < flags.size() && flags[k]; }

}  // namespace

std::string GetNextWord(const std::string& text, int32_t& position, int32_t& tokenStart) {
    const std::string s = UpperAscii(text);
    const auto length = static_cast<int64_t>(TrimRight(s).size());
    const auto at = [&s](int64_t i) { return s[static_cast<size_t>(i - 1)]; };  // 1-based

    int64_t i = position < 1 ? 0 : int64_t{position} - 1;
    int64_t start = 0, end = 0;  // 1-based; 0 = not yet
    bool number = false;
    for (;;) {
        if (i >= length) {
            if (end == 0) end = length;
            break;
        }
        if (end != 0) break;
        ++i;
        const char c = at(i);
        if (IsQuote(c)) {
            if (start != 0) {
                end = i - 1;  // the quote opens the next call's token
                continue;
            }
            start = i;
            end = length;  // an unclosed quote takes the rest
            for (int64_t j = i + 1; j <= length; ++j) {
                if (at(j) != c) continue;
                if (j + 1 <= length && at(j + 1) == c) {
                    ++j;
                    continue;
                }
                end = j;
                break;
            }
        } else if (IsDigit(c)) {
            if (start == 0) {
                start = i;
                number = true;
            }
        } else if (c == '.') {
            if (start != 0 && !number) end = i - 1;
        } else if (c == '-') {
            if (start != 0) {
                end = i - 1;
            } else {
                start = i;
                number = true;
            }
        } else if (IsSeparator(c)) {
            if (start != 0) end = i - 1;
        } else if (IsOperator(c)) {
            if (start != 0) {
                end = i - 1;
            } else {
                start = i;
                end = i;
            }
        } else if (start == 0) {
            start = i;
        }
    }

    position = static_cast<int32_t>(end + 1);
    tokenStart = static_cast<int32_t>(start);
    if (start == 0) return {};
    return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start + 1));
}

bool ParseFilter(const std::string& text, ParsedFilter& f, const std::vector<bool>& unheld) {
    return Trapped("ParseFilter", text, false, [&] {
        f = ParsedFilter{};
        int32_t position = 1;
        int32_t start = 0;
        for (;;) {
            std::string token = GetNextWord(text, position, start);
            if (start == 0) break;
            AddTerm(f);
            const size_t term = f.Words.size() - 1;
            if (token == "-") {
                f.Excluded[term] = true;
                token.clear();
            } else if (token == "+") {
                f.Required[term] = true;
                token.clear();
            } else if (IsGluedMinus(text, start, token)) {
                f.Excluded[term] = true;
                token.erase(0, 1);
            }
            if (token.empty()) {
                token = GetNextWord(text, position, start);
                if (token.empty()) {  // a sign at the very end
                    DropLastTerm(f);
                    break;
                }
            }
            token = Unquoted(token);
            if (token.empty()) {  // "" would match every body
                DropLastTerm(f);
                continue;
            }
            f.Words[term] = token;
            // The token ran from `start` to just before `position` (both 1-based).
            for (int32_t k = start; k < position && static_cast<size_t>(k) <= unheld.size(); ++k) {
                if (unheld[static_cast<size_t>(k - 1)]) f.Unfindable[term] = true;
            }
        }
        return true;
    });
}

void ResetFilterFound(ParsedFilter& f) {
    if (f.Count < 1) return;
    f.Found.assign(static_cast<size_t>(f.Count), false);
}

int16_t FilterScore(const ParsedFilter& f) {
    if (f.Count <= 0) return 0;
    const auto weight = static_cast<int64_t>(RoundHalfEven(10000.0 / f.Count));
    int64_t sum = 0;
    for (size_t k = 0; k < static_cast<size_t>(f.Count); ++k) {
        const bool found = FlagAt(f.Found, k);
        const bool excluded = FlagAt(f.Excluded, k);
        if (found && excluded) return 0;
        if (!found && FlagAt(f.Required, k)) return 0;
        if (found || excluded) sum += weight;
    }
    // With many terms the rounded weights can add up past 10000: a score is a share, never above 100.
    return static_cast<int16_t>(
        std::min<int64_t>(100, static_cast<int64_t>(RoundHalfEven(static_cast<double>(sum) / 100.0))));
}

}  // namespace loftwick
