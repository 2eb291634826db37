#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/Controls.h"

namespace loftwick {

// Controls that live only in memory: the window of loftwick-scan, which has no screen, and the window
// models under test. They behave as the Qt adapters do (the contract suite holds both to that); the
// methods below the interface overrides stand in for what a user does and fire the handlers the way
// the real widgets would.

// Visibility, enabled state and tooltip, shared by every in-memory control.
template <class Interface>
class MemoryControl : public Interface {
  public:
    bool Visible() const override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    std::string ToolTipText() const override { return toolTip_; }
    void SetToolTipText(const std::string& text) override { toolTip_ = text; }

  private:
    bool visible_ = true;
    bool enabled_ = true;
    std::string toolTip_;
};

// A text with a caret and a selection, positions in characters.
class MemoryTextField {
  public:
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);  // caret to the end, nothing selected
    int32_t SelStart() const { return selStart_; }
    int32_t SelLength() const { return selLength_; }
    void SetSelStart(int32_t start);
    void SetSelLength(int32_t length);

    // What typing does: the selection (or nothing, at the caret) is replaced, the caret follows.
    void ReplaceSelection(const std::string& typed);
    // The selection, else the character before (Backspace) or after (Delete) the caret. False when
    // there was nothing to delete.
    bool DeleteBackward();
    bool DeleteForward();

  private:
    int32_t CharCount() const;
    void Erase(int32_t start, int32_t length);

    std::string text_;
    int32_t selStart_ = 0;
    int32_t selLength_ = 0;
};

class MemoryLabel final : public MemoryControl<Label> {
  public:
    std::string Caption() const override { return caption_; }
    void SetCaption(const std::string& caption) override { caption_ = caption; }
    void Refresh() override { ++refreshCount; }

    int refreshCount = 0;

  private:
    std::string caption_;
};

class MemoryTextBox final : public MemoryControl<TextBox> {
  public:
    std::string Text() const override { return field_.Text(); }
    void SetText(const std::string& text) override { field_.SetText(text); }
    int32_t SelStart() const override { return field_.SelStart(); }
    int32_t SelLength() const override { return field_.SelLength(); }
    void SetSelStart(int32_t start) override { field_.SetSelStart(start); }
    void SetSelLength(int32_t length) override { field_.SetSelLength(length); }

    // The user types (a text box has no change handler).
    void TypeText(const std::string& typed) { field_.ReplaceSelection(typed); }

  private:
    MemoryTextField field_;
};

class MemoryCheckBox final : public MemoryControl<CheckBox> {
  public:
    int32_t Value() const override { return value_; }
    void SetValue(int32_t value) override;
    std::string Caption() const override { return caption_; }
    void SetCaption(const std::string& caption) override { caption_ = caption; }

  private:
    int32_t value_ = 0;
    std::string caption_;
};

class MemoryComboBox final : public MemoryControl<ComboBox> {
  public:
    std::string Text() const override { return field_.Text(); }
    void SetText(const std::string& text) override;
    int32_t SelStart() const override { return field_.SelStart(); }
    int32_t SelLength() const override { return field_.SelLength(); }
    void SetSelStart(int32_t start) override { field_.SetSelStart(start); }
    void SetSelLength(int32_t length) override { field_.SetSelLength(length); }

    int32_t ListCount() const override { return static_cast<int32_t>(items_.size()); }
    std::string ItemText(int32_t index) const override;
    void AddItem(const std::string& text) override;
    void InsertItem(int32_t index, const std::string& text) override;
    void RemoveItem(int32_t index) override;
    void Clear() override;
    int32_t SelectedIndex() const override;
    void SetSelectedIndex(int32_t index) override;
    int32_t ItemData(int32_t index) const override;
    void SetItemData(int32_t index, int32_t data) override;

    // The user types or pastes `typed` over the selection; fires onTextChanged.
    void TypeText(const std::string& typed);
    // The user presses Backspace or Delete; fires onTextChanged when something was deleted.
    void PressBackspace();
    void PressDelete();
    // The focus moves elsewhere; fires onLostFocus.
    void LoseFocus();

  private:
    struct Entry {
        std::string text;
        int32_t data = 0;
    };
    bool HasItem(int32_t index) const { return index >= 0 && index < ListCount(); }
    void UserEdited(bool changed);

    MemoryTextField field_;
    std::vector<Entry> items_;
    int32_t chosen_ = -1;  // the entry last selected; it counts only while the text still equals it
};

class MemoryListBox final : public MemoryControl<ListBox> {
  public:
    void AddLine(const std::string& line) override { lines_.push_back(line); }
    void Clear() override;
    int32_t ListCount() const override { return static_cast<int32_t>(lines_.size()); }
    std::string LineText(int32_t index) const override;
    int32_t SelectedIndex() const override { return selected_; }
    void SetSelectedIndex(int32_t index) override;
    void Refresh() override { ++refreshCount; }

    // The user clicks a line with a button: the line is selected (onClick when that changed the
    // selection), then onMouseUp. Any button selects, as a right click does in the Qt list.
    void ClickLine(int32_t index, MouseButton button = MouseButton::Left);
    // A left click on the line, then onDoubleClick and the second button release (onMouseUp).
    void DoubleClickLine(int32_t index);

    int refreshCount = 0;

  private:
    std::vector<std::string> lines_;
    int32_t selected_ = -1;
};

class MemoryButton final : public MemoryControl<Button> {
  public:
    std::string Caption() const override { return caption_; }
    void SetCaption(const std::string& caption) override { caption_ = caption; }
    bool IsDefault() const override { return default_; }
    void SetDefault(bool isDefault) override { default_ = isDefault; }
    bool IsCancel() const override { return cancel_; }
    void SetCancel(bool isCancel) override { cancel_ = isCancel; }

    // The user clicks the button (or presses Enter or Escape for its role); fires onClick when enabled.
    void Click();

  private:
    std::string caption_;
    bool default_ = false;
    bool cancel_ = false;
};

class MemoryMenuItem final : public MemoryControl<MenuItem> {
  public:
    std::string Caption() const override { return caption_; }
    void SetCaption(const std::string& caption) override { caption_ = caption; }

    // The user chooses the item; fires onClick when it is enabled and shown.
    void Click();

  private:
    std::string caption_;
};

class MemoryProgressBar final : public MemoryControl<ProgressBar> {
  public:
    void SetProgress(int64_t done, int64_t total) override { percent_ = PercentOf(done, total); }
    int32_t Percent() const override { return percent_; }
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }

  private:
    int32_t percent_ = 0;
    std::string text_;
};

class MemoryPopupMenu final : public PopupMenu {
  public:
    void Popup() override { ++popupCount; }

    int popupCount = 0;
};

// The window model's view of the focus, set by whoever moves it (a test, or nobody in loftwick-scan).
class MemoryFocusTracker final : public FocusTracker {
  public:
    TextSelection* ActiveTextControl() override { return active; }

    TextSelection* active = nullptr;
};

}  // namespace loftwick
