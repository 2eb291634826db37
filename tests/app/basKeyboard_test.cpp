#include "app/basKeyboard.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "support/MemoryControls.h"
#include "support/RuntimeError.h"

namespace loftwick {
namespace {

// One filter field wired as the main window wires it: every keystroke goes through the window's key
// preview (HandleKeyDown) before it reaches the field, whose change handler completes and whose
// focus loss files the text into the history.
class FilterField : public ::testing::Test {
  protected:
    FilterField() {
        LastKeyCode = 0;
        combo.onTextChanged = [this] { ComboAutoComplete(combo); };
        combo.onLostFocus = [this] { ComboAddToHistory(combo); };
        focus.active = &combo;
    }

    void Entries(const std::vector<std::string>& entries) {
        for (const auto& entry : entries) combo.AddItem(entry);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> entries;
        for (int32_t i = 0; i < combo.ListCount(); ++i) entries.push_back(combo.ItemText(i));
        return entries;
    }
    // Characters typed one by one; a letter's key code is its upper-case ASCII code, any other
    // character (several bytes of UTF-8) comes with key code 0, as from no letter key of its own.
    void Type(const std::string& text) {
        for (size_t at = 0; at < text.size();) {
            const unsigned char c = static_cast<unsigned char>(text[at]);
            const size_t length = utf8::CharSize(text, at);
            const int keyCode = std::isalpha(c) ? std::toupper(c) : c < 0x80 ? c : 0;
            HandleKeyDown(static_cast<int16_t>(keyCode), 0, focus);
            combo.TypeText(text.substr(at, length));
            at += length;
        }
    }
    void Backspace() {
        HandleKeyDown(keycode::Backspace, 0, focus);
        combo.PressBackspace();
    }
    void Delete() {
        HandleKeyDown(keycode::Delete, 0, focus);
        combo.PressDelete();
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

// ---- Completion

TEST_F(FilterField, TypedTextCompletesToTheFirstLongerEntryThatBeginsWithItWithTheTailSelected) {
    struct Case {
        std::vector<std::string> entries;
        std::string typed, text, highlighted;
        int32_t selected;
    };
    const Case cases[] = {
        {{"abx", "AB"}, "a", "abx", "bx", 0},
        {{"abx", "AB"}, "ab", "abx", "x", 0},
        {{"AB"}, "ab", "AB", "", 0},  // same length: the entry in its own case, nothing highlighted
        {{"AB", "other", "abcd"}, "ab", "abcd", "cd", 2},  // ... and the search goes on for a longer one
        {{"image/gif"}, "imx", "imx", "", -1},             // the next keystroke replaces the tail
        {{"a", "www.example.org"}, "ab", "ab", "", -1},
        {{"a", "www.example.org"}, "example", "example", "", -1},
        {{"Ärger", "Öl"}, "ä", "Ärger", "rger", 0},  // Latin-1 letters regardless of case
        {{"Δelta"}, "δe", "δe", "", -1},             // letters beyond Latin-1 must match in case
    };
    for (const Case& c : cases) {
        combo.Clear();
        combo.SetText("");
        Entries(c.entries);
        Type(c.typed);
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(combo.Text(), c.text);
        EXPECT_EQ(Highlighted(), c.highlighted);
        EXPECT_EQ(combo.SelectedIndex(), c.selected);
        EXPECT_EQ(combo.SelStart() + combo.SelLength(), static_cast<int32_t>(utf8::CharCount(c.text)));
    }
}

TEST_F(FilterField, BackspaceAndDeleteRemoveTheHighlightedTailAndDoNotCompleteAgain) {
    Entries({"abx"});
    Type("ab");
    ASSERT_EQ(combo.Text(), "abx");
    Backspace();
    EXPECT_EQ(combo.Text(), "ab");
    EXPECT_EQ(combo.SelLength(), 0);
    EXPECT_EQ(combo.SelectedIndex(), -1);
    Backspace();
    EXPECT_EQ(combo.Text(), "a");  // still no completion while deleting
    Type("b");
    EXPECT_EQ(combo.Text(), "abx");  // the next letter completes again
    Delete();
    EXPECT_EQ(combo.Text(), "ab");
    Backspace();
    Backspace();
    EXPECT_EQ(combo.Text(), "");
    LastKeyCode = 65;  // whatever the last key was, an empty text completes nothing
    ComboAutoComplete(combo);
    EXPECT_EQ(combo.Text(), "");
    EXPECT_EQ(combo.SelectedIndex(), -1);
}

// ---- History

TEST_F(FilterField, LeavingTheFieldPutsItsTextOnTopOfTheHistoryOnce) {
    struct Case {
        std::vector<std::string> entries;
        int32_t chosen;
        std::string typed, set;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {{"one", "two", "three", "four"}, 2, "", "", {"three", "one", "two", "four"}},
        {{"one", "two", "three"}, -1, "three", "", {"three", "one", "two"}},
        {{"a", "b"}, -1, "cd", "", {"cd", "a", "b"}},
        {{"a", "b"}, -1, "", "", {"a", "b"}},              // an empty field changes nothing
        {{"Alpha"}, -1, "", "alpha", {"alpha", "Alpha"}},  // another case is another entry
        {{"x", "dup", "y", "dup"}, -1, "", "dup", {"dup", "x", "dup", "y"}},  // the last equal one goes
    };
    for (const Case& c : cases) {
        combo.Clear();
        combo.SetText("");
        Entries(c.entries);
        if (c.chosen >= 0) combo.SetSelectedIndex(c.chosen);
        Type(c.typed);
        if (!c.set.empty()) combo.SetText(c.set);  // as completion would replace it
        combo.LoseFocus();
        EXPECT_EQ(Entries(), c.after);
        EXPECT_EQ(combo.SelectedIndex(), c.after == c.entries ? -1 : 0);
    }
}

TEST_F(FilterField, TheFirstEntryStaysInPlaceAndTheHistoryGrowsBeyondForty) {
    Entries({"a", "b"});
    combo.SetItemData(0, 7);
    combo.SetSelectedIndex(0);
    combo.LoseFocus();
    EXPECT_EQ(combo.ItemData(0), 7);  // not removed and inserted again
    for (int i = 1; i <= 40; ++i) combo.AddItem("host" + std::to_string(i));
    combo.SetText("new");
    combo.LoseFocus();
    EXPECT_EQ(combo.ListCount(), 43);
    EXPECT_EQ(combo.ItemText(42), "host40");
}

// ---- Keys

TEST_F(FilterField, F2SelectsUpToAHundredCharactersThenClearsTheSelection) {
    combo.SetText(std::string(150, 'x'));
    HandleKeyDown(keycode::F2, 0, focus);
    EXPECT_EQ(combo.SelStart(), 0);
    EXPECT_EQ(combo.SelLength(), 100);
    HandleKeyDown(keycode::F2, 0, focus);
    EXPECT_EQ(combo.SelLength(), 0);
    MemoryTextBox ttl;
    ttl.SetText("200");
    focus.active = &ttl;
    HandleKeyDown(keycode::F2, 0, focus);
    EXPECT_EQ(ttl.SelLength(), 3);
    focus.active = nullptr;
    EXPECT_NO_THROW(HandleKeyDown(keycode::F2, 0, focus));
    EXPECT_EQ(LastKeyCode, keycode::F2);
}

TEST_F(FilterField, F2WithShiftCtrlOrAltAndOtherKeysOnlyRecordTheKey) {
    combo.SetText("gif");
    for (int16_t shift : {shiftstate::Shift, shiftstate::Ctrl, shiftstate::Alt}) {
        HandleKeyDown(keycode::F2, shift, focus);
        EXPECT_EQ(combo.SelLength(), 0);
    }
    HandleKeyDown(keycode::F1, 0, focus);
    EXPECT_EQ(LastKeyCode, keycode::F1);
    EXPECT_EQ(combo.SelLength(), 0);
}

// A control whose selection cannot be read, as a control without a text selection would behave.
class NoSelection final : public TextSelection {
  public:
    std::string Text() const override { return ""; }
    int32_t SelStart() const override { Raise(438, "Object doesn't support this property or method"); }
    int32_t SelLength() const override { Raise(438, "Object doesn't support this property or method"); }
    void SetSelStart(int32_t) override { Raise(438); }
    void SetSelLength(int32_t) override { Raise(438); }
};

TEST(ToggleSelectAll, AControlWithoutASelectionIsLeftAlone) {
    NoSelection control;
    EXPECT_NO_THROW(ToggleSelectAll(&control));
    EXPECT_NO_THROW(ToggleSelectAll(nullptr));
}

}  // namespace
}  // namespace loftwick
