#pragma once
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/Controls.h"

namespace loftwick::qt {

// The control interfaces over Qt widgets. An adapter does not own its widget (the window's layout does)
// and may outlive it: every call on an adapter whose widget is gone raises run-time error 91. Handlers
// are connected through an object the adapter owns, so they stop with the adapter.
//
// Only what the user does reaches the handlers: text changes come from QLineEdit::textEdited, never
// textChanged, so that the window model can change a text from inside its own handler without being
// called again.

QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

namespace detail {

// Raises "Object variable not set" for an adapter whose widget has been destroyed.
[[noreturn]] void WidgetGone();

// Hands the events of the objects it is installed on to a function; removed from them when destroyed.
class EventWatch final : public QObject {
  public:
    std::function<void(QEvent*)> onEvent;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (onEvent) onEvent(event);
        return QObject::eventFilter(watched, event);
    }
};

template <class W>
W* Live(const QPointer<W>& widget) {
    if (widget.isNull()) WidgetGone();
    return widget.data();
}

// Visibility, enabled state and tooltip of a widget, as the widget itself has them set (a widget on
// a window that is not shown yet still reports visible).
template <class Interface, class W>
class WidgetControl : public Interface {
  public:
    bool Visible() const override { return !Live(widget_)->isHidden(); }
    void SetVisible(bool visible) override { Live(widget_)->setVisible(visible); }
    bool Enabled() const override { return !Live(widget_)->testAttribute(Qt::WA_ForceDisabled); }
    void SetEnabled(bool enabled) override { Live(widget_)->setEnabled(enabled); }
    std::string ToolTipText() const override { return FromQt(Live(widget_)->toolTip()); }
    void SetToolTipText(const std::string& text) override { Live(widget_)->setToolTip(ToQt(text)); }

    // The wrapped widget, null once it is gone (for layouts and focus tracking).
    W* widget() const { return widget_.data(); }

  protected:
    explicit WidgetControl(W* widget) : widget_(widget) {}
    W* Widget() const { return Live(widget_); }  // raises when the widget is gone

    QPointer<W> widget_;
    QObject context_;  // the receiver of every connection this adapter makes
};

}  // namespace detail

class QtLabel final : public detail::WidgetControl<Label, QLabel> {
  public:
    explicit QtLabel(QLabel* label) : WidgetControl(label) {}
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    void Refresh() override;
};

// The bar shows whole percents; its text is drawn on the bar.
class QtProgressBar final : public detail::WidgetControl<ProgressBar, QProgressBar> {
  public:
    explicit QtProgressBar(QProgressBar* bar);
    void SetProgress(int64_t done, int64_t total) override;
    int32_t Percent() const override;
    std::string Text() const override;
    void SetText(const std::string& text) override;
};

class QtTextBox final : public detail::WidgetControl<TextBox, QLineEdit> {
  public:
    explicit QtTextBox(QLineEdit* edit) : WidgetControl(edit) {}
    std::string Text() const override;
    void SetText(const std::string& text) override;
    int32_t SelStart() const override;
    int32_t SelLength() const override;
    void SetSelStart(int32_t start) override;
    void SetSelLength(int32_t length) override;
};

// Holds 0, 1 and 2 as unchecked, checked and partially checked.
class QtCheckBox final : public detail::WidgetControl<CheckBox, QCheckBox> {
  public:
    explicit QtCheckBox(QCheckBox* box) : WidgetControl(box) {}
    int32_t Value() const override;
    void SetValue(int32_t value) override;
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
};

// Makes the box editable and turns off Qt's own completion, insertion on Enter and duplicate check:
// completion and the history are the window model's (see basKeyboard), and Qt's versions would fight
// them. The item data is kept under Qt::UserRole.
class QtComboBox final : public detail::WidgetControl<ComboBox, QComboBox> {
  public:
    explicit QtComboBox(QComboBox* box);
    std::string Text() const override;
    void SetText(const std::string& text) override;
    int32_t SelStart() const override;
    int32_t SelLength() const override;
    void SetSelStart(int32_t start) override;
    void SetSelLength(int32_t length) override;

    int32_t ListCount() const override;
    std::string ItemText(int32_t index) const override;
    void AddItem(const std::string& text) override;
    void InsertItem(int32_t index, const std::string& text) override;
    void RemoveItem(int32_t index) override;
    void Clear() override;
    int32_t SelectedIndex() const override;
    void SetSelectedIndex(int32_t index) override;
    int32_t ItemData(int32_t index) const override;
    void SetItemData(int32_t index, int32_t data) override;

  private:
    QLineEdit* Edit() const;
    // QComboBox changes its current entry and text when entries come and go (it picks the first entry
    // of a list that was empty, the next one when the current is removed). The interface promises the
    // text stays, so list changes run through this, which puts back the text, its selection and the
    // entry that should be current.
    template <class Change>
    void ChangeList(int32_t currentAfter, Change&& change);

    detail::EventWatch focusWatch_;
};

// Single selection. onClick fires for a selection the user makes and, as the interface promises, for
// every SetSelectedIndex; onMouseUp for a button released over the list.
class QtListBox final : public detail::WidgetControl<ListBox, QListWidget> {
  public:
    explicit QtListBox(QListWidget* list);
    void AddLine(const std::string& line) override;
    void Clear() override;
    int32_t ListCount() const override;
    std::string LineText(int32_t index) const override;
    int32_t SelectedIndex() const override;
    void SetSelectedIndex(int32_t index) override;
    void Refresh() override;

  private:
    bool programmatic_ = false;  // the selection is being changed by the program, not the user
    detail::EventWatch mouseWatch_;
};

// The default and cancel roles are window-wide shortcuts (Enter, Escape) owned by the adapter: a main
// window, unlike a dialog, has no default button of its own.
class QtButton final : public detail::WidgetControl<Button, QPushButton> {
  public:
    explicit QtButton(QPushButton* button);
    ~QtButton() override;
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    bool IsDefault() const override { return !defaultKeys_.empty(); }
    void SetDefault(bool isDefault) override;
    bool IsCancel() const override { return !cancelKeys_.empty(); }
    void SetCancel(bool isCancel) override;

  private:
    using Shortcuts = std::vector<QPointer<QShortcut>>;
    void SetRole(Shortcuts& keys, bool on, std::vector<Qt::Key> wanted);
    static void Drop(Shortcuts& keys);

    Shortcuts defaultKeys_;
    Shortcuts cancelKeys_;
};

// QAction answers its caption when asked for a tooltip it was never given; the adapter keeps the
// tooltip it set so that an item without one reports "".
class QtMenuItem final : public MenuItem {
  public:
    explicit QtMenuItem(QAction* action);
    bool Visible() const override;
    void SetVisible(bool visible) override;
    bool Enabled() const override;
    void SetEnabled(bool enabled) override;
    std::string ToolTipText() const override;
    void SetToolTipText(const std::string& text) override;
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;

    QAction* action() const { return action_.data(); }

  private:
    QPointer<QAction> action_;
    std::string toolTip_;
    QObject context_;
};

// Opens without blocking: the chosen item's own handler runs from the event loop.
class QtPopupMenu final : public PopupMenu {
  public:
    explicit QtPopupMenu(QMenu* menu) : menu_(menu) {}
    void Popup() override;

  private:
    QPointer<QMenu> menu_;
};

// Answers from QApplication::focusWidget(): the registered control that holds the focus widget (a
// combo box holds its line edit).
class QtFocusTracker final : public FocusTracker {
  public:
    void Track(QWidget* widget, TextSelection* control);
    TextSelection* ActiveTextControl() override;

  private:
    std::vector<std::pair<QPointer<QWidget>, TextSelection*>> tracked_;
};

}  // namespace loftwick::qt
