#include "app/basKeyboard.h"

#include <gtest/gtest.h>

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
    // Letters typed one by one; the key code of a letter is its upper-case ASCII code.
    void Type(const std::string& letters) {
        for (char c : letters) {
            HandleKeyDown(static_cast<int16_t>(c >= 'a' && c <= 'z' ? c - 0x20 : c), 0, focus);
            combo.TypeText(std::string(1, c));
        }
    }
    // Several bytes that make one character, one keystroke (key code 0: no letter key of its own).
    void TypeCharacter(const std::string& utf8) {
        HandleKeyDown(0, 0, focus);
        combo.TypeText(utf8);
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

TEST_F(FilterField, TwoLowerCaseLettersCompleteToTheFirstLongerEntryWithItsTailSelected) {
    Entries({"abx", "AB"});
    Type("a");
    EXPECT_EQ(combo.Text(), "abx");
    EXPECT_EQ(Highlighted(), "bx");
    Type("b");
    EXPECT_EQ(combo.Text(), "abx");
    EXPECT_EQ(combo.SelStart(), 2);
    EXPECT_EQ(combo.SelLength(), 1);
    EXPECT_EQ(combo.SelectedIndex(), 0);
}

TEST_F(FilterField, AnEntryOfTheSameLengthIsShownInItsOwnCaseWithNothingHighlighted) {
    Entries({"AB"});
    Type("ab");
    EXPECT_EQ(combo.Text(), "AB");
    EXPECT_EQ(combo.SelectedIndex(), 0);
    EXPECT_EQ(combo.SelLength(), 0);
}

TEST_F(FilterField, AnEntryOfTheSameLengthDoesNotStopTheSearchForALongerOne) {
    Entries({"AB", "other", "abcd"});
    Type("ab");
    EXPECT_EQ(combo.Text(), "abcd");
    EXPECT_EQ(Highlighted(), "cd");
    EXPECT_EQ(combo.SelectedIndex(), 2);
}

TEST_F(FilterField, TheNextKeystrokeReplacesTheHighlightedTail) {
    Entries({"image/gif"});
    Type("im");
    ASSERT_EQ(Highlighted(), "age/gif");
    Type("x");
    EXPECT_EQ(combo.Text(), "imx");
    EXPECT_EQ(combo.SelectedIndex(), -1);
    EXPECT_EQ(combo.SelLength(), 0);
}

TEST_F(FilterField, BackspaceRemovesTheHighlightedTailAndDoesNotCompleteAgain) {
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
    EXPECT_EQ(combo.Text(), "ab");  // and Delete does not complete either
}

TEST_F(FilterField, DeletingEverythingLeavesTheFieldEmpty) {
    Entries({"a"});
    Type("x");
    Backspace();
    EXPECT_EQ(combo.Text(), "");
    LastKeyCode = 65;  // whatever the last key was, an empty text completes nothing
    ComboAutoComplete(combo);
    EXPECT_EQ(combo.Text(), "");
    EXPECT_EQ(combo.SelectedIndex(), -1);
}

TEST_F(FilterField, OnlyEntriesBeginningWithTheWholeTextMatch) {
    Entries({"a", "www.example.org"});
    Type("ab");
    EXPECT_EQ(combo.Text(), "ab");
    EXPECT_EQ(combo.SelectedIndex(), -1);
    combo.SetText("");
    Type("example");
    EXPECT_EQ(combo.Text(), "example");
}

TEST_F(FilterField, Latin1LettersCompleteRegardlessOfCaseAndPositionsCountCharacters) {
    Entries({"Ärger", "Öl"});
    TypeCharacter("ä");
    EXPECT_EQ(combo.Text(), "Ärger");
    EXPECT_EQ(combo.SelStart(), 1);
    EXPECT_EQ(combo.SelLength(), 4);
    EXPECT_EQ(Highlighted(), "rger");
}

TEST_F(FilterField, LettersBeyondLatin1MustMatchInCase) {
    Entries({"Δelta"});
    TypeCharacter("δ");
    EXPECT_EQ(combo.Text(), "δ");
    TypeCharacter("e");  // "δe"
    EXPECT_EQ(combo.SelectedIndex(), -1);
}

// ---- History

TEST_F(FilterField, LeavingTheFieldMovesTheChosenThirdEntryToTheTop) {
    Entries({"one", "two", "three", "four"});
    combo.SetSelectedIndex(2);
    combo.LoseFocus();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"three", "one", "two", "four"}));
    EXPECT_EQ(combo.SelectedIndex(), 0);
    EXPECT_EQ(combo.Text(), "three");
}

TEST_F(FilterField, TypedTextEqualToTheThirdEntryAlsoMovesItToTheTop) {
    Entries({"one", "two", "three"});
    Type("three");  // completion selects the entry of the same length
    combo.LoseFocus();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"three", "one", "two"}));
}

TEST_F(FilterField, LeavingWithANewTextAddsItAtTheTop) {
    Entries({"a", "b"});
    Type("cd");
    combo.LoseFocus();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"cd", "a", "b"}));
    EXPECT_EQ(combo.SelectedIndex(), 0);
}

TEST_F(FilterField, LeavingAnEmptyFieldChangesNothing) {
    Entries({"a", "b"});
    combo.LoseFocus();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(combo.SelectedIndex(), -1);
}

TEST_F(FilterField, LeavingWithTheFirstEntryChangesNothing) {
    Entries({"a", "b"});
    combo.SetItemData(0, 7);
    combo.SetSelectedIndex(0);
    combo.LoseFocus();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(combo.ItemData(0), 7);  // not removed and inserted again
}

TEST_F(FilterField, TextDifferingOnlyInCaseIsANewEntry) {
    Entries({"Alpha"});
    combo.SetText("alpha");  // as completion would replace it, the program sets it here
    combo.LoseFocus();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"alpha", "Alpha"}));
}

TEST_F(FilterField, ATypedDuplicateReplacesTheLastEqualEntry) {
    Entries({"x", "dup", "y", "dup"});
    combo.SetText("dup");
    combo.LoseFocus();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"dup", "x", "dup", "y"}));
}

TEST_F(FilterField, TheHistoryGrowsBeyondFortyEntriesDuringARun) {
    for (int i = 1; i <= 40; ++i) combo.AddItem("host" + std::to_string(i));
    combo.SetText("new");
    combo.LoseFocus();
    EXPECT_EQ(combo.ListCount(), 41);
    EXPECT_EQ(combo.ItemText(40), "host40");
}

// ---- Keys

TEST_F(FilterField, F2SelectsTheFirstHundredCharactersThenClearsTheSelection) {
    combo.SetText(std::string(150, 'x'));
    HandleKeyDown(keycode::F2, 0, focus);
    EXPECT_EQ(combo.SelStart(), 0);
    EXPECT_EQ(combo.SelLength(), 100);
    HandleKeyDown(keycode::F2, 0, focus);
    EXPECT_EQ(combo.SelLength(), 0);
}

TEST_F(FilterField, F2OnAShortTextSelectsAllOfIt) {
    combo.SetText("gif");
    HandleKeyDown(keycode::F2, 0, focus);
    EXPECT_EQ(Highlighted(), "gif");
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

TEST_F(FilterField, F2WorksOnTextBoxesAndIgnoresFocusOutsideTextControls) {
    MemoryTextBox ttl;
    ttl.SetText("200");
    focus.active = &ttl;
    HandleKeyDown(keycode::F2, 0, focus);
    EXPECT_EQ(ttl.SelLength(), 3);
    focus.active = nullptr;
    EXPECT_NO_THROW(HandleKeyDown(keycode::F2, 0, focus));
    EXPECT_EQ(LastKeyCode, keycode::F2);
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
