#include "app/basKeyboard.h"

#include <string>
#include <string_view>

#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick {

namespace {

// The character (code point) at `pos`; a byte that starts no valid sequence stands for itself.
char32_t CharAt(std::string_view text, size_t pos, size_t size) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (size == 1) return lead;
    char32_t c = lead & (0xFF >> (size + 1));
    for (size_t i = 1; i < size; ++i) c = (c << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
    return c;
}

// Upper case for the ASCII and Latin-1 letters (not the division sign, and not y with diaeresis, whose
// capital lies outside Latin-1).
char32_t FoldCase(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    return c;
}

// Whether `entry` begins with the `chars` characters of `typed`, letter case ignored.
bool StartsWithNoCase(std::string_view entry, std::string_view typed, size_t chars) {
    size_t e = 0, t = 0;
    for (; chars > 0; --chars) {
        if (e >= entry.size() || t >= typed.size()) return false;
        const size_t eSize = utf8::CharSize(entry, e);
        const size_t tSize = utf8::CharSize(typed, t);
        if (FoldCase(CharAt(entry, e, eSize)) != FoldCase(CharAt(typed, t, tSize))) return false;
        e += eSize;
        t += tSize;
    }
    return true;
}

}  // namespace

void ComboAutoComplete(ComboBox& combo) {
    TrappedVoid("basKeyboard:ComboAutoComplete", "", [&] {
        if (Program().LastKeyCode == keycode::Delete || Program().LastKeyCode == keycode::Backspace) return;
        const std::string typed = combo.Text();
        const size_t length = utf8::CharCount(typed);
        if (length == 0) return;

        bool completed = false;
        const int32_t count = combo.ListCount();
        for (int32_t i = 0; i < count; ++i) {
            const std::string entry = combo.ItemText(i);
            if (!StartsWithNoCase(entry, typed, length)) continue;
            // Selecting shows the entry in its own letter case; an entry just as long as the text
            // only does that, and the search goes on for a longer one.
            combo.SetSelectedIndex(i);
            if (utf8::CharCount(entry) > length) {
                completed = true;
                break;
            }
        }
        if (!completed) return;
        const auto start = static_cast<int32_t>(length);
        combo.SetSelStart(start);
        combo.SetSelLength(static_cast<int32_t>(utf8::CharCount(combo.Text())) - start);
    });
}

void ComboAddToHistory(ComboBox& combo) {
    TrappedVoid("basKeyboard:ComboAddToHistory", "", [&] {
        const std::string text = combo.Text();
        if (text.empty()) return;
        const int32_t selected = combo.SelectedIndex();
        if (selected == 0) return;
        if (selected > 0) {
            combo.RemoveItem(selected);
        } else {
            for (int32_t i = combo.ListCount() - 1; i >= 0; --i) {
                if (combo.ItemText(i) == text) {
                    combo.RemoveItem(i);
                    break;
                }
            }
        }
        combo.InsertItem(0, text);
        combo.SetSelectedIndex(0);
    });
}

void HandleKeyDown(int16_t keyCode, int16_t shift, FocusTracker& focus) {
    Program().LastKeyCode = keyCode;
    const int16_t modifiers = shiftstate::Shift | shiftstate::Ctrl | shiftstate::Alt;
    if (keyCode == keycode::F2 && (shift & modifiers) == 0) ToggleSelectAll(focus.ActiveTextControl());
}

void ToggleSelectAll(TextSelection* activeTextControl) {
    if (!activeTextControl) return;
    try {
        if (activeTextControl->SelLength() == 0) {
            activeTextControl->SetSelStart(0);
            activeTextControl->SetSelLength(100);
        } else {
            activeTextControl->SetSelLength(0);
        }
    } catch (...) {
        // A control that cannot select is left as it is.
    }
}

}  // namespace loftwick
