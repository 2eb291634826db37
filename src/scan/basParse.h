#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cache/ParsedFilter.h"

namespace loftwick {

// The next token of a contents-filter text, upper-cased. `position` (1-based) is where to look and
// afterwards just past the token; `tokenStart` is the token's 1-based start, 0 when no token was left.
// Quoted tokens come back with their quote characters; numbers keep their sign and decimal point;
// each of + : ( ) = ' is a token of its own.
std::string GetNextWord(const std::string& text, int32_t& position, int32_t& tokenStart);

// Fills `f` with the terms of a contents-filter text: "+word" required, "-word" or "- word" excluded,
// a quoted phrase one term without its quotes. A sign with nothing after it adds no term. On a run-time
// error reports "ParseFilter" with the text and returns false, `f` filled as far as it got.
// `unheld` (one flag per byte of the text, or empty) marks characters that no cache byte can hold; a term
// containing one is marked Unfindable.
bool ParseFilter(const std::string& text, ParsedFilter& f, const std::vector<bool>& unheld = {});

// Clears every Found flag before the next object's body is searched.
void ResetFilterFound(ParsedFilter& f);

// 0..100: the share of satisfied terms in per cent (a found word, or an excluded word not found);
// 0 at once when a required word is missing or an excluded one is present, and 0 for no terms.
int16_t FilterScore(const ParsedFilter& f);

}  // namespace loftwick
