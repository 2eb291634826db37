#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "support/TextCodec.h"

namespace loftwick {

// The controls the window models talk to. Implementations: in-memory (tests and loftwick-scan) and the
// Qt adapters; one contract suite keeps them alike.
//
// Texts are UTF-8. Text positions (selection start and length) count characters, not bytes, so that a
// selection means the same on every implementation; a byte that is not part of a valid UTF-8 sequence
// counts as one character.
//
// Events are plain callbacks that the window model sets. They fire for what the user does, never for a
// change the program makes, with one exception the window depends on: selecting a list line from the
// program fires the list's selection handler as a click would. Handlers trap their own errors; the Qt
// adapters report any that escape (location "QtControls:<event>") rather than let them into Qt.

// Run-time errors a control raises for an index it does not have (besides vberr::InvalidProcedureCall).
namespace ctlerr {
inline constexpr int32_t InvalidPropertyValue = 380;
inline constexpr int32_t InvalidPropertyArrayIndex = 381;
}  // namespace ctlerr

// What every control has.
class Control {
  public:
    virtual ~Control() = default;

    // The control's own visible/enabled setting; a control on a hidden window still reports true.
    virtual bool Visible() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual std::string ToolTipText() const = 0;
    virtual void SetToolTipText(const std::string& text) = 0;
};

// A control whose text can be partly selected: text boxes and the edit part of combo boxes.
class TextSelection {
  public:
    virtual ~TextSelection() = default;

    virtual std::string Text() const = 0;
    // With nothing selected, the start is the caret position.
    virtual int32_t SelStart() const = 0;
    virtual int32_t SelLength() const = 0;
    // Moves the caret and drops the selection; clamped to 0..length of the text.
    virtual void SetSelStart(int32_t start) = 0;
    // Selects from SelStart on; clamped to the end of the text, so a length beyond it selects the rest.
    virtual void SetSelLength(int32_t length) = 0;
};

// Which text control of the active window has the keyboard focus (nullptr when none has).
class FocusTracker {
  public:
    virtual ~FocusTracker() = default;
    virtual TextSelection* ActiveTextControl() = 0;
};

class Label : public Control {
  public:
    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    // Repaints now, so a status text shows while long work keeps the event loop waiting.
    virtual void Refresh() = 0;
};

class TextBox : public Control, public TextSelection {
  public:
    // Setting the text puts the caret at its end with nothing selected.
    virtual void SetText(const std::string& text) = 0;
};

// 0 unchecked, 1 checked, 2 grayed.
class CheckBox : public Control {
  public:
    virtual int32_t Value() const = 0;
    // Values other than 0, 1 and 2 are ignored.
    virtual void SetValue(int32_t value) = 0;
    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
};

// An editable drop-down: a text field plus a list of entries, each with an integer of item data.
//
// The selected entry is the one last chosen (by the program or from the drop-down list) for as long as
// the text still equals it; once the text is edited away from it, SelectedIndex is -1. Inserting or
// removing entries before the selected one moves the selection with its entry; removing the selected
// entry leaves none selected and the text as it was.
//
// Index arguments are 0-based. Reading an entry outside the list gives "" or 0. Inserting or removing
// at an index that does not exist raises run-time error 5, selecting one 380, setting its data 381.
class ComboBox : public Control, public TextSelection {
  public:
    // Setting the text puts the caret at its end with nothing selected, and selects no entry.
    virtual void SetText(const std::string& text) = 0;

    virtual int32_t ListCount() const = 0;
    virtual std::string ItemText(int32_t index) const = 0;
    virtual void AddItem(const std::string& text) = 0;
    // index may be ListCount, which appends.
    virtual void InsertItem(int32_t index, const std::string& text) = 0;
    virtual void RemoveItem(int32_t index) = 0;
    // Empties the list and the text.
    virtual void Clear() = 0;

    virtual int32_t SelectedIndex() const = 0;
    // Makes the text the whole entry, caret at its end; -1 selects nothing and empties the text.
    virtual void SetSelectedIndex(int32_t index) = 0;

    virtual int32_t ItemData(int32_t index) const = 0;
    virtual void SetItemData(int32_t index, int32_t data) = 0;

    std::function<void()> onTextChanged;  // the user typed, pasted or deleted
    std::function<void()> onLostFocus;
};

enum class MouseButton { Left = 1, Right = 2, Middle = 4 };

// A list of text lines, at most one of them selected.
class ListBox : public Control {
  public:
    virtual void AddLine(const std::string& line) = 0;
    // Empties the list and selects nothing; fires no handler.
    virtual void Clear() = 0;
    virtual int32_t ListCount() const = 0;
    virtual std::string LineText(int32_t index) const = 0;  // "" outside the list
    virtual int32_t SelectedIndex() const = 0;              // -1 when none
    // Selects a line (-1: none) and fires onClick, as the user's click would; raises run-time error 380
    // for an index outside -1..ListCount-1.
    virtual void SetSelectedIndex(int32_t index) = 0;
    virtual void Refresh() = 0;

    std::function<void()> onClick;  // the selection changed, by the user or the program
    std::function<void()> onDoubleClick;
    std::function<void(MouseButton)> onMouseUp;
};

class Button : public Control {
  public:
    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    // The default button is pressed by Enter anywhere in its window, the cancel button by Escape.
    virtual bool IsDefault() const = 0;
    virtual void SetDefault(bool isDefault) = 0;
    virtual bool IsCancel() const = 0;
    virtual void SetCancel(bool isCancel) = 0;

    std::function<void()> onClick;  // never fires while the button is disabled
};

class MenuItem : public Control {
  public:
    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;

    std::function<void()> onClick;  // never fires while the item is disabled or hidden
};

// Shows how far long work has come: `done` of `total` steps (the units are the work's own: bytes,
// folders), and a short text on or beside the bar.
class ProgressBar : public Control {
  public:
    // Clamped to 0..total; a total of 0 or less shows an empty bar.
    virtual void SetProgress(int64_t done, int64_t total) = 0;
    // The share done, 0 to 100.
    virtual int32_t Percent() const = 0;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

class PopupMenu {
  public:
    virtual ~PopupMenu() = default;
    // Shows the menu at the mouse pointer; its items report their own clicks.
    virtual void Popup() = 0;
};

// The share of `done` in `total` as a whole percentage, 0 to 100, for every progress bar alike.
inline int32_t PercentOf(int64_t done, int64_t total) {
    if (total <= 0 || done <= 0) return 0;
    if (done >= total) return 100;
    return static_cast<int32_t>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

// Character counting for the text positions above.
namespace utf8 {

// Bytes taken by the character that begins at `pos` (at least 1, never past the end).
inline size_t CharSize(std::string_view text, size_t pos) {
    const size_t size = Utf8SequenceAt(text, pos);
    return size == 0 ? 1 : size;
}

inline size_t CharCount(std::string_view text) {
    size_t count = 0;
    for (size_t pos = 0; pos < text.size(); pos += CharSize(text, pos)) ++count;
    return count;
}

// Where character number `chars` (0-based) begins; the text's size when it has fewer characters.
inline size_t ByteOffset(std::string_view text, size_t chars) {
    size_t pos = 0;
    for (; pos < text.size() && chars > 0; --chars) pos += CharSize(text, pos);
    return pos;
}

}  // namespace utf8

}  // namespace loftwick
