#pragma once
#include <cstdint>

#include "support/Controls.h"

namespace loftwick {

// Key codes and shift-state bits as the main window reports them to HandleKeyDown.
namespace keycode {
inline constexpr int16_t Backspace = 8;
inline constexpr int16_t Delete = 46;
inline constexpr int16_t F1 = 112;
inline constexpr int16_t F2 = 113;
}  // namespace keycode
namespace shiftstate {
inline constexpr int16_t Shift = 1;
inline constexpr int16_t Ctrl = 2;
inline constexpr int16_t Alt = 4;
}  // namespace shiftstate

// Completes a filter field's text from its history while the user types: the first entry that starts
// with the text (letter case ignored) is selected, and if it is longer its added tail is highlighted
// so the next keystroke overwrites it. Does nothing after Delete or Backspace, so that deleting the
// highlighted tail does not bring it straight back (LastKeyCode of the program values). Letter case is folded
// for ASCII and Latin-1 letters only; other characters must match exactly.
void ComboAutoComplete(ComboBox& combo);

// Moves the field's text to the top of its history (most recently used first). A typed text replaces
// the last entry equal to it (exact comparison, so a text differing in case is a new entry). The list
// is never cut here; the 40-entry limit applies only when the history is loaded.
void ComboAddToHistory(ComboBox& combo);

// The main window's key preview: remembers the key, and F2 without Shift, Ctrl or Alt toggles the
// selection of the focused text control.
void HandleKeyDown(int16_t keyCode, int16_t shift, FocusTracker& focus);

// Selects the first 100 characters of the control (all of a shorter text) when nothing is selected,
// else clears the selection. Null (no text control has the focus) and control errors are ignored.
void ToggleSelectAll(TextSelection* activeTextControl);

}  // namespace loftwick
