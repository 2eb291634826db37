#include "qt/QtControls.h"

#include <QApplication>
#include <QCursor>
#include <QFocusEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QVariant>
#include <algorithm>

#include "support/RuntimeError.h"
#include "support/basErrorHandler.h"

namespace loftwick::qt {

QString ToQt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

namespace detail {

void WidgetGone() { Raise(vberr::ObjectNotSet); }

}  // namespace detail

namespace {

using detail::Live;

// A handler runs inside a Qt signal or event; nothing may escape into Qt's event loop.
template <class... Args>
void Fire(const std::function<void(Args...)>& handler, const char* event, Args... args) {
    if (!handler) return;
    TrappedVoid(std::string("QtControls:") + event, "", [&] { handler(args...); });
}

// The interface counts characters; QString counts UTF-16 units, two for a character beyond the BMP.
int CharsToUnits(const QString& text, int32_t chars) {
    int units = 0;
    for (; units < text.size() && chars > 0; --chars) {
        units += text[units].isHighSurrogate() && units + 1 < text.size() && text[units + 1].isLowSurrogate()
                     ? 2
                     : 1;
    }
    return units;
}

int32_t UnitsToChars(const QString& text, int units) {
    int32_t chars = 0;
    for (int i = 0; i < units && i < text.size(); ++chars) {
        i += text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
    }
    return chars;
}

// The selection of a line edit, in the interface's terms: with nothing selected the start is the caret.
int32_t EditSelStart(const QLineEdit* edit) {
    const int units = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    return UnitsToChars(edit->text(), units);
}

int32_t EditSelLength(const QLineEdit* edit) {
    if (!edit->hasSelectedText()) return 0;
    const QString text = edit->text();
    const int start = edit->selectionStart();
    return UnitsToChars(text, start + edit->selectionLength()) - UnitsToChars(text, start);
}

void EditSetSelStart(QLineEdit* edit, int32_t start) {
    const QString text = edit->text();
    edit->setCursorPosition(CharsToUnits(text, std::max(start, 0)));
}

void EditSetSelLength(QLineEdit* edit, int32_t length) {
    const QString text = edit->text();
    const int start = CharsToUnits(text, EditSelStart(edit));
    const int end = CharsToUnits(text, EditSelStart(edit) + std::max(length, 0));
    if (end > start) {
        edit->setSelection(start, end - start);
    } else {
        edit->setCursorPosition(start);
    }
}

void EditSetText(QLineEdit* edit, const std::string& text) {
    edit->setText(ToQt(text));
    edit->end(false);
}

}  // namespace

// ---- QtLabel

std::string QtLabel::Caption() const { return FromQt(Widget()->text()); }
void QtLabel::SetCaption(const std::string& caption) { Widget()->setText(ToQt(caption)); }
void QtLabel::Refresh() { Widget()->repaint(); }

// ---- QtProgressBar

QtProgressBar::QtProgressBar(QProgressBar* bar) : WidgetControl(bar) {
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(true);
    bar->setFormat(QString());
}
void QtProgressBar::SetProgress(int64_t done, int64_t total) { Widget()->setValue(PercentOf(done, total)); }
int32_t QtProgressBar::Percent() const { return Widget()->value(); }
// The format is the text as shown. Only "%p", "%v" and "%m" would be read as placeholders; the texts
// the window shows ("37%, 12 selected") hold none.
std::string QtProgressBar::Text() const { return FromQt(Widget()->format()); }
void QtProgressBar::SetText(const std::string& text) { Widget()->setFormat(ToQt(text)); }

// ---- QtTextBox

std::string QtTextBox::Text() const { return FromQt(Widget()->text()); }
void QtTextBox::SetText(const std::string& text) { EditSetText(Widget(), text); }
int32_t QtTextBox::SelStart() const { return EditSelStart(Widget()); }
int32_t QtTextBox::SelLength() const { return EditSelLength(Widget()); }
void QtTextBox::SetSelStart(int32_t start) { EditSetSelStart(Widget(), start); }
void QtTextBox::SetSelLength(int32_t length) { EditSetSelLength(Widget(), length); }

// ---- QtCheckBox

int32_t QtCheckBox::Value() const {
    switch (Widget()->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

void QtCheckBox::SetValue(int32_t value) {
    if (value < 0 || value > 2) return;
    Widget()->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

std::string QtCheckBox::Caption() const { return FromQt(Widget()->text()); }
void QtCheckBox::SetCaption(const std::string& caption) { Widget()->setText(ToQt(caption)); }

// ---- QtComboBox

QtComboBox::QtComboBox(QComboBox* box) : WidgetControl(box) {
    box->setEditable(true);
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setDuplicatesEnabled(true);
    QObject::connect(box->lineEdit(), &QLineEdit::textEdited, &context_,
                     [this] { Fire(onTextChanged, "TextChanged"); });
    // The line edit hands its focus to the box, so the box is where the focus leaves; opening the
    // drop-down list is not leaving the field.
    focusWatch_.onEvent = [this](QEvent* event) {
        if (event->type() == QEvent::FocusOut &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
            Fire(onLostFocus, "LostFocus");
        }
    };
    box->installEventFilter(&focusWatch_);
}

QLineEdit* QtComboBox::Edit() const {
    QLineEdit* edit = Widget()->lineEdit();
    if (!edit) detail::WidgetGone();
    return edit;
}

std::string QtComboBox::Text() const { return FromQt(Edit()->text()); }

void QtComboBox::SetText(const std::string& text) {
    Widget()->setCurrentIndex(-1);
    EditSetText(Edit(), text);
}

int32_t QtComboBox::SelStart() const { return EditSelStart(Edit()); }
int32_t QtComboBox::SelLength() const { return EditSelLength(Edit()); }
void QtComboBox::SetSelStart(int32_t start) { EditSetSelStart(Edit(), start); }
void QtComboBox::SetSelLength(int32_t length) { EditSetSelLength(Edit(), length); }

int32_t QtComboBox::ListCount() const { return Widget()->count(); }

std::string QtComboBox::ItemText(int32_t index) const {
    QComboBox* box = Widget();
    return index >= 0 && index < box->count() ? FromQt(box->itemText(index)) : "";
}

template <class Change>
void QtComboBox::ChangeList(int32_t currentAfter, Change&& change) {
    QComboBox* box = Widget();
    QLineEdit* edit = Edit();
    const QString text = edit->text();
    const int selStart = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    const int selLength = edit->hasSelectedText() ? edit->selectionLength() : 0;
    change(box);
    if (box->currentIndex() != currentAfter) box->setCurrentIndex(currentAfter);
    if (edit->text() != text) edit->setText(text);
    if (selLength > 0) {
        edit->setSelection(selStart, selLength);
    } else {
        edit->setCursorPosition(selStart);
    }
}

void QtComboBox::AddItem(const std::string& text) { InsertItem(ListCount(), text); }

void QtComboBox::InsertItem(int32_t index, const std::string& text) {
    if (index < 0 || index > ListCount()) Raise(vberr::InvalidProcedureCall);
    const int current = Widget()->currentIndex();
    ChangeList(current >= index ? current + 1 : current,
               [&](QComboBox* box) { box->insertItem(index, ToQt(text), QVariant(0)); });
}

void QtComboBox::RemoveItem(int32_t index) {
    if (index < 0 || index >= ListCount()) Raise(vberr::InvalidProcedureCall);
    const int current = Widget()->currentIndex();
    ChangeList(current == index  ? -1
               : current > index ? current - 1
                                 : current,
               [&](QComboBox* box) { box->removeItem(index); });
}

void QtComboBox::Clear() {
    Widget()->clear();
    Edit()->clear();
}

int32_t QtComboBox::SelectedIndex() const {
    QComboBox* box = Widget();
    const int current = box->currentIndex();
    return current >= 0 && box->itemText(current) == Edit()->text() ? current : -1;
}

void QtComboBox::SetSelectedIndex(int32_t index) {
    QComboBox* box = Widget();
    if (index < -1 || index >= box->count()) Raise(ctlerr::InvalidPropertyValue, "Invalid property value");
    box->setCurrentIndex(index);
    // Selecting the entry that is already current leaves an edited text alone in Qt; here it does not.
    EditSetText(Edit(), index == -1 ? "" : FromQt(box->itemText(index)));
}

int32_t QtComboBox::ItemData(int32_t index) const {
    QComboBox* box = Widget();
    return index >= 0 && index < box->count() ? box->itemData(index, Qt::UserRole).toInt() : 0;
}

void QtComboBox::SetItemData(int32_t index, int32_t data) {
    QComboBox* box = Widget();
    if (index < 0 || index >= box->count()) {
        Raise(ctlerr::InvalidPropertyArrayIndex, "Invalid property array index");
    }
    box->setItemData(index, QVariant(data), Qt::UserRole);
}

// ---- QtListBox

namespace {

MouseButton ButtonOf(Qt::MouseButton button) {
    switch (button) {
        case Qt::RightButton:
            return MouseButton::Right;
        case Qt::MiddleButton:
            return MouseButton::Middle;
        default:
            return MouseButton::Left;
    }
}

}  // namespace

QtListBox::QtListBox(QListWidget* list) : WidgetControl(list) {
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(list, &QListWidget::itemSelectionChanged, &context_, [this] {
        if (!programmatic_) Fire(onClick, "Click");
    });
    QObject::connect(list, &QListWidget::doubleClicked, &context_,
                     [this] { Fire(onDoubleClick, "DblClick"); });
    mouseWatch_.onEvent = [this](QEvent* event) {
        if (event->type() == QEvent::MouseButtonRelease) {
            Fire(onMouseUp, "MouseUp", ButtonOf(static_cast<QMouseEvent*>(event)->button()));
        }
    };
    list->viewport()->installEventFilter(&mouseWatch_);
}

void QtListBox::AddLine(const std::string& line) { Widget()->addItem(ToQt(line)); }

void QtListBox::Clear() {
    QListWidget* list = Widget();
    programmatic_ = true;
    list->clear();
    programmatic_ = false;
}

int32_t QtListBox::ListCount() const { return Widget()->count(); }

std::string QtListBox::LineText(int32_t index) const {
    const QListWidgetItem* item = Widget()->item(index);
    return item ? FromQt(item->text()) : "";
}

int32_t QtListBox::SelectedIndex() const {
    QListWidget* list = Widget();
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void QtListBox::SetSelectedIndex(int32_t index) {
    QListWidget* list = Widget();
    if (index < -1 || index >= list->count()) Raise(ctlerr::InvalidPropertyValue, "Invalid property value");
    programmatic_ = true;
    if (index == -1) {
        list->clearSelection();
        list->setCurrentRow(-1);
    } else {
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        list->scrollToItem(list->item(index));
    }
    programmatic_ = false;
    Fire(onClick, "Click");
}

void QtListBox::Refresh() { Widget()->viewport()->repaint(); }

// ---- QtButton

namespace {

// Remembers that the key being delivered began while a drop-down list or a menu had the keyboard. The
// list closes itself on Enter or Escape before the window's shortcuts are looked up, so by the time a
// shortcut fires nothing shows any more that the key was the list's.
class PopupKeyWatch final : public QObject {
  public:
    bool taken = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The key is the list's from the first of its events that the list saw until its release.
        const QEvent::Type type = event->type();
        if ((type == QEvent::ShortcutOverride || type == QEvent::KeyPress) &&
            QApplication::activePopupWidget())
            taken = true;
        else if (type == QEvent::KeyRelease)
            taken = false;
        return QObject::eventFilter(watched, event);
    }
};

bool KeyTakenByPopup() {
    static QPointer<PopupKeyWatch> watch;
    if (!watch && qApp) {
        watch = new PopupKeyWatch;
        watch->setParent(qApp);
        qApp->installEventFilter(watch);
    }
    return watch && watch->taken;
}

}  // namespace

QtButton::QtButton(QPushButton* button) : WidgetControl(button) {
    QObject::connect(button, &QPushButton::clicked, &context_, [this] { Fire(onClick, "Click"); });
}

QtButton::~QtButton() {
    Drop(defaultKeys_);
    Drop(cancelKeys_);
}

std::string QtButton::Caption() const { return FromQt(Widget()->text()); }
void QtButton::SetCaption(const std::string& caption) { Widget()->setText(ToQt(caption)); }

void QtButton::Drop(Shortcuts& keys) {
    for (const QPointer<QShortcut>& key : keys) delete key.data();
    keys.clear();
}

void QtButton::SetRole(Shortcuts& keys, bool on, std::vector<Qt::Key> wanted) {
    QPushButton* button = Widget();
    if (!on) {
        Drop(keys);
        return;
    }
    if (!keys.empty()) return;
    KeyTakenByPopup();  // the watch must see keys from now on
    for (Qt::Key key : wanted) {
        // Parented to the button, so the key works wherever the focus is in the button's window.
        auto* shortcut = new QShortcut(QKeySequence(key), button);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, &context_, [this] {
            QPushButton* target = widget_.data();
            // A drop-down list or a menu that has the keyboard takes Enter and Escape for itself.
            if (KeyTakenByPopup()) return;
            if (target && target->isEnabled() && target->isVisible()) target->click();
        });
        keys.emplace_back(shortcut);
    }
}

void QtButton::SetDefault(bool isDefault) {
    Widget()->setDefault(isDefault);
    SetRole(defaultKeys_, isDefault, {Qt::Key_Return, Qt::Key_Enter});
}

void QtButton::SetCancel(bool isCancel) { SetRole(cancelKeys_, isCancel, {Qt::Key_Escape}); }

// ---- QtMenuItem

QtMenuItem::QtMenuItem(QAction* action) : action_(action) {
    QObject::connect(action, &QAction::triggered, &context_, [this] {
        QAction* item = action_.data();
        if (item && item->isEnabled() && item->isVisible()) Fire(onClick, "Click");
    });
}

bool QtMenuItem::Visible() const { return Live(action_)->isVisible(); }
void QtMenuItem::SetVisible(bool visible) { Live(action_)->setVisible(visible); }
bool QtMenuItem::Enabled() const { return Live(action_)->isEnabled(); }
void QtMenuItem::SetEnabled(bool enabled) { Live(action_)->setEnabled(enabled); }
std::string QtMenuItem::ToolTipText() const {
    Live(action_);
    return toolTip_;
}

void QtMenuItem::SetToolTipText(const std::string& text) {
    Live(action_)->setToolTip(ToQt(text));
    toolTip_ = text;
}
std::string QtMenuItem::Caption() const { return FromQt(Live(action_)->text()); }
void QtMenuItem::SetCaption(const std::string& caption) { Live(action_)->setText(ToQt(caption)); }

// ---- QtPopupMenu

void QtPopupMenu::Popup() { Live(menu_)->popup(QCursor::pos()); }

// ---- QtFocusTracker

void QtFocusTracker::Track(QWidget* widget, TextSelection* control) {
    tracked_.emplace_back(widget, control);
}

TextSelection* QtFocusTracker::ActiveTextControl() {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        for (const auto& [widget, control] : tracked_) {
            if (widget.data() == w) return control;
        }
    }
    return nullptr;
}

}  // namespace loftwick::qt
