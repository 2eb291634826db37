#include "app/basKeyboard.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "support/MemoryControls.h"
#include "support/Program.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

// One filter field wired as the main window wires it: every keystroke goes through the window's key
// preview (HandleKeyDown) before it reaches the field, whose change handler completes and whose
// focus loss files the text into the history.
class FilterField : public test::ProgramFixture {
  protected:
    FilterField() {
        combo.onTextChanged = [this] { ComboAutoComplete(combo); };
        combo.onLostFocus = [this] { ComboAddToHistory(combo); };
        focus.active = &combo;
    }

    void Reset(const std::vector<std::string>& entries) {
        combo.Clear();
        combo.SetText("");
        for (const auto& entry : entries) combo.AddItem(entry);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> entries;
        for (int32_t i = 0; i < combo.ListCount(); ++i) entries.push_back(combo.ItemText(i));
        return entries;
    }
    // Characters typed one by one; a letter's key code is its upper-case ASCII code, "\b" is Backspace,
    // "\x7f" Delete, and any other character comes with key code 0, as from no letter key of its own.
    void Type(const std::string& text) {
        for (size_t at = 0; at < text.size();) {
            const unsigned char c = static_cast<unsigned char>(text[at]);
            const size_t length = utf8::CharSize(text, at);
            if (c == '\b' || c == 0x7f) {
                HandleKeyDown(c == '\b' ? keycode::Backspace : keycode::Delete, 0, focus);
                c == '\b' ? combo.PressBackspace() : combo.PressDelete();
            } else {
                HandleKeyDown(static_cast<int16_t>(std::isalpha(c) ? std::toupper(c) : 0), 0, focus);
                combo.TypeText(text.substr(at, length));
            }
            at += length;
        }
    }
    std::string Highlighted() const {
        const std::string text = combo.Text();
        const size_t from = utf8::ByteOffset(text, static_cast<size_t>(combo.SelStart()));
        const size_t to = utf8::ByteOffset(text, static_cast<size_t>(combo.SelStart() + combo.SelLength()));
        return text.substr(from, to - from);
    }

    MemoryComboBox combo;
    MemoryFocusTracker focus;
};

TEST_F(FilterField, TypedTextCompletesToTheFirstLongerEntryAndDeletingDoesNotCompleteAgain) {
    struct Case {
        std::vector<std::string> entries;
        std::string typed, text, highlighted;
        int32_t selected;
    };
    const Case cases[] = {
        {{"AB"}, "ab", "AB", "", 0},  // same length: the entry in its own case, nothing highlighted
        {{"AB", "other", "abcd"}, "ab", "abcd", "cd", 2},  // ... and the search goes on for a longer one
        {{"a", "www.example.org"}, "example", "example", "", -1},
        {{"Ärger", "Öl"}, "ä", "Ärger", "rger", 0},  // Latin-1 letters regardless of case
        {{"Δelta"}, "δe", "δe", "", -1},             // letters beyond Latin-1 must match in case
        {{"abx"}, "ab\b", "ab", "", -1},             // Backspace takes the tail and completes nothing
        {{"abx"}, "ab\b\bb", "abx", "x", 0},         // the next letter completes again
        {{"abx"}, "ab\x7f", "ab", "", -1},
    };
    for (const Case& c : cases) {
        Reset(c.entries);
        Type(c.typed);
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(combo.Text(), c.text);
        EXPECT_EQ(Highlighted(), c.highlighted);
        EXPECT_EQ(combo.SelectedIndex(), c.selected);
    }
}

TEST_F(FilterField, LeavingTheFieldPutsItsTextOnTopOfTheHistoryOnce) {
    struct Case {
        std::vector<std::string> entries;
        int32_t chosen;
        std::string set;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {{"one", "two", "three", "four"}, 2, "", {"three", "one", "two", "four"}},
        {{"one", "two", "three"}, -1, "three", {"three", "one", "two"}},
        {{"a", "b"}, -1, "cd", {"cd", "a", "b"}},
        {{"a", "b"}, -1, "", {"a", "b"}},                                 // an empty field changes nothing
        {{"Alpha"}, -1, "alpha", {"alpha", "Alpha"}},                     // another case is another entry
        {{"x", "dup", "y", "dup"}, -1, "dup", {"dup", "x", "dup", "y"}},  // the last equal one goes
    };
    for (const Case& c : cases) {
        Reset(c.entries);
        if (c.chosen >= 0) combo.SetSelectedIndex(c.chosen);
        if (!c.set.empty()) combo.SetText(c.set);
        combo.LoseFocus();
        EXPECT_EQ(Entries(), c.after);
    }
}

}  // namespace
}  // namespace loftwick
