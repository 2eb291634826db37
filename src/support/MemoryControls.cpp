#include "support/MemoryControls.h"

#include <algorithm>

#include "support/RuntimeError.h"

namespace loftwick {

// ---- MemoryTextField

int32_t MemoryTextField::CharCount() const { return static_cast<int32_t>(utf8::CharCount(text_)); }

void MemoryTextField::SetText(const std::string& text) {
    text_ = text;
    selStart_ = CharCount();
    selLength_ = 0;
}

void MemoryTextField::SetSelStart(int32_t start) {
    selStart_ = std::clamp(start, 0, CharCount());
    selLength_ = 0;
}

void MemoryTextField::SetSelLength(int32_t length) {
    selLength_ = std::clamp(length, 0, CharCount() - selStart_);
}

void MemoryTextField::Erase(int32_t start, int32_t length) {
    const size_t from = utf8::ByteOffset(text_, static_cast<size_t>(start));
    const size_t to = utf8::ByteOffset(text_, static_cast<size_t>(start + length));
    text_.erase(from, to - from);
    selStart_ = start;
    selLength_ = 0;
}

void MemoryTextField::ReplaceSelection(const std::string& typed) {
    const int32_t start = selStart_;
    Erase(start, selLength_);
    text_.insert(utf8::ByteOffset(text_, static_cast<size_t>(start)), typed);
    selStart_ = start + static_cast<int32_t>(utf8::CharCount(typed));
}

bool MemoryTextField::DeleteBackward() {
    if (selLength_ > 0) {
        Erase(selStart_, selLength_);
    } else if (selStart_ > 0) {
        Erase(selStart_ - 1, 1);
    } else {
        return false;
    }
    return true;
}

bool MemoryTextField::DeleteForward() {
    if (selLength_ > 0) {
        Erase(selStart_, selLength_);
    } else if (selStart_ < CharCount()) {
        Erase(selStart_, 1);
    } else {
        return false;
    }
    return true;
}

// ---- MemoryCheckBox

void MemoryCheckBox::SetValue(int32_t value) {
    if (value >= 0 && value <= 2) value_ = value;
}

// ---- MemoryComboBox

void MemoryComboBox::SetText(const std::string& text) {
    field_.SetText(text);
    chosen_ = -1;
}

std::string MemoryComboBox::ItemText(int32_t index) const { return HasItem(index) ? items_[index].text : ""; }

void MemoryComboBox::AddItem(const std::string& text) { items_.push_back({text, 0}); }

void MemoryComboBox::InsertItem(int32_t index, const std::string& text) {
    if (index < 0 || index > ListCount()) Raise(vberr::InvalidProcedureCall);
    items_.insert(items_.begin() + index, Entry{text, 0});
    if (chosen_ >= index) ++chosen_;
}

void MemoryComboBox::RemoveItem(int32_t index) {
    if (!HasItem(index)) Raise(vberr::InvalidProcedureCall);
    items_.erase(items_.begin() + index);
    if (chosen_ == index) {
        chosen_ = -1;
    } else if (chosen_ > index) {
        --chosen_;
    }
}

void MemoryComboBox::Clear() {
    items_.clear();
    chosen_ = -1;
    field_.SetText("");
}

int32_t MemoryComboBox::SelectedIndex() const {
    return HasItem(chosen_) && items_[chosen_].text == field_.Text() ? chosen_ : -1;
}

void MemoryComboBox::SetSelectedIndex(int32_t index) {
    if (index != -1 && !HasItem(index)) Raise(ctlerr::InvalidPropertyValue, "Invalid property value");
    chosen_ = index;
    field_.SetText(index == -1 ? "" : items_[index].text);
}

int32_t MemoryComboBox::ItemData(int32_t index) const { return HasItem(index) ? items_[index].data : 0; }

void MemoryComboBox::SetItemData(int32_t index, int32_t data) {
    if (!HasItem(index)) Raise(ctlerr::InvalidPropertyArrayIndex, "Invalid property array index");
    items_[index].data = data;
}

void MemoryComboBox::UserEdited(bool changed) {
    if (changed && onTextChanged) onTextChanged();
}

void MemoryComboBox::TypeText(const std::string& typed) {
    const std::string before = field_.Text();
    field_.ReplaceSelection(typed);
    UserEdited(field_.Text() != before);
}

void MemoryComboBox::PressBackspace() { UserEdited(field_.DeleteBackward()); }

void MemoryComboBox::PressDelete() { UserEdited(field_.DeleteForward()); }

void MemoryComboBox::LoseFocus() {
    if (onLostFocus) onLostFocus();
}

// ---- MemoryListBox

void MemoryListBox::Clear() {
    lines_.clear();
    selected_ = -1;
}

std::string MemoryListBox::LineText(int32_t index) const {
    return index >= 0 && index < ListCount() ? lines_[index] : "";
}

void MemoryListBox::SetSelectedIndex(int32_t index) {
    if (index < -1 || index >= ListCount()) Raise(ctlerr::InvalidPropertyValue, "Invalid property value");
    selected_ = index;
    if (onClick) onClick();
}

void MemoryListBox::ClickLine(int32_t index, MouseButton button) {
    if (index >= 0 && index < ListCount() && index != selected_) {
        selected_ = index;
        if (onClick) onClick();
    }
    if (onMouseUp) onMouseUp(button);
}

void MemoryListBox::DoubleClickLine(int32_t index) {
    ClickLine(index, MouseButton::Left);
    if (onDoubleClick) onDoubleClick();
    if (onMouseUp) onMouseUp(MouseButton::Left);
}

// ---- MemoryButton, MemoryMenuItem

void MemoryButton::Click() {
    if (Enabled() && onClick) onClick();
}

void MemoryMenuItem::Click() {
    if (Enabled() && Visible() && onClick) onClick();
}

}  // namespace loftwick
