// One set of behaviour checks run against the in-memory controls and the Qt adapters, so that the
// window models see the same controls in tests, in loftwick-scan and on screen.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "QtTestApp.h"
#include "qt/QtControls.h"
#include "support/MemoryControls.h"
#include "support/RuntimeError.h"

namespace loftwick {
namespace {

// ---- The two kits: one control of each kind, and what a user does to them.

class MemoryKit {
public:
    Label& label() { return label_; }
    TextBox& textBox() { return textBox_; }
    CheckBox& checkBox() { return checkBox_; }
    ComboBox& combo() { return combo_; }
    ListBox& list() { return list_; }
    Button& button() { return button_; }
    MenuItem& menuItem() { return menuItem_; }
    PopupMenu& popup() { return popup_; }

    void UserTypes(const std::string& text) { combo_.TypeText(text); }
    void UserPressesBackspace() { combo_.PressBackspace(); }
    void UserLeavesCombo() { combo_.LoseFocus(); }
    void UserClicksLine(int32_t index, MouseButton button) { list_.ClickLine(index, button); }
    void UserDoubleClicksLine(int32_t index) { list_.DoubleClickLine(index); }
    void UserClicksButton() { button_.Click(); }
    void UserChoosesMenuItem() { menuItem_.Click(); }
    bool PopupShown() const { return popup_.popupCount > 0; }

private:
    MemoryLabel label_;
    MemoryTextBox textBox_;
    MemoryCheckBox checkBox_;
    MemoryComboBox combo_;
    MemoryListBox list_;
    MemoryButton button_;
    MemoryMenuItem menuItem_;
    MemoryPopupMenu popup_;
};

class QtKit {
public:
    QtKit() {
        window_ = std::make_unique<QWidget>();
        window_->resize(400, 300);
        labelWidget_ = new QLabel(window_.get());
        editWidget_ = new QLineEdit(window_.get());
        checkWidget_ = new QCheckBox(window_.get());
        comboWidget_ = new QComboBox(window_.get());
        listWidget_ = new QListWidget(window_.get());
        listWidget_->setGeometry(0, 100, 300, 200);
        buttonWidget_ = new QPushButton(window_.get());
        menu_ = new QMenu(window_.get());
        action_ = menu_->addAction("item");
        window_->show();

        label_ = std::make_unique<qt::QtLabel>(labelWidget_);
        textBox_ = std::make_unique<qt::QtTextBox>(editWidget_);
        checkBox_ = std::make_unique<qt::QtCheckBox>(checkWidget_);
        combo_ = std::make_unique<qt::QtComboBox>(comboWidget_);
        list_ = std::make_unique<qt::QtListBox>(listWidget_);
        button_ = std::make_unique<qt::QtButton>(buttonWidget_);
        menuItem_ = std::make_unique<qt::QtMenuItem>(action_);
        popup_ = std::make_unique<qt::QtPopupMenu>(menu_);
    }
    ~QtKit() { menu_->hide(); }

    Label& label() { return *label_; }
    TextBox& textBox() { return *textBox_; }
    CheckBox& checkBox() { return *checkBox_; }
    ComboBox& combo() { return *combo_; }
    ListBox& list() { return *list_; }
    Button& button() { return *button_; }
    MenuItem& menuItem() { return *menuItem_; }
    PopupMenu& popup() { return *popup_; }

    // Keystrokes into the combo's line edit, one character at a time, as a keyboard delivers them.
    void UserTypes(const std::string& text) {
        const QString chars = qt::ToQt(text);
        for (int i = 0; i < chars.size(); ++i) {
            const int units = chars[i].isHighSurrogate() && i + 1 < chars.size() ? 2 : 1;
            const QString one = chars.mid(i, units);
            i += units - 1;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, one);
            QCoreApplication::sendEvent(comboWidget_->lineEdit(), &press);
        }
    }
    void UserPressesBackspace() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::sendEvent(comboWidget_->lineEdit(), &press);
    }
    void UserLeavesCombo() {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(comboWidget_, &out);
    }
    void UserClicksLine(int32_t index, MouseButton button) {
        const Qt::MouseButton qtButton = button == MouseButton::Right    ? Qt::RightButton
                                         : button == MouseButton::Middle ? Qt::MiddleButton
                                                                         : Qt::LeftButton;
        Mouse(QEvent::MouseButtonPress, index, qtButton);
        Mouse(QEvent::MouseButtonRelease, index, qtButton);
    }
    void UserDoubleClicksLine(int32_t index) {
        UserClicksLine(index, MouseButton::Left);
        Mouse(QEvent::MouseButtonDblClick, index, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, index, Qt::LeftButton);
    }
    void UserClicksButton() { buttonWidget_->click(); }
    void UserChoosesMenuItem() { action_->trigger(); }
    bool PopupShown() const { return menu_->isVisible(); }

private:
    void Mouse(QEvent::Type type, int32_t index, Qt::MouseButton button) {
        const QPointF at = listWidget_->visualItemRect(listWidget_->item(index)).center();
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::MouseButtons(Qt::NoButton) : Qt::MouseButtons(button);
        QMouseEvent event(type, at, listWidget_->viewport()->mapToGlobal(at), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(listWidget_->viewport(), &event);
    }

    std::unique_ptr<QWidget> window_;
    QLabel* labelWidget_;
    QLineEdit* editWidget_;
    QCheckBox* checkWidget_;
    QComboBox* comboWidget_;
    QListWidget* listWidget_;
    QPushButton* buttonWidget_;
    QMenu* menu_;
    QAction* action_;
    // Declared after the window: destroyed first, while their widgets still exist.
    std::unique_ptr<qt::QtLabel> label_;
    std::unique_ptr<qt::QtTextBox> textBox_;
    std::unique_ptr<qt::QtCheckBox> checkBox_;
    std::unique_ptr<qt::QtComboBox> combo_;
    std::unique_ptr<qt::QtListBox> list_;
    std::unique_ptr<qt::QtButton> button_;
    std::unique_ptr<qt::QtMenuItem> menuItem_;
    std::unique_ptr<qt::QtPopupMenu> popup_;
};

template <class Kit>
class ControlsContract : public ::testing::Test {
protected:
    std::vector<std::string> Entries() {
        std::vector<std::string> entries;
        for (int32_t i = 0; i < kit.combo().ListCount(); ++i) entries.push_back(kit.combo().ItemText(i));
        return entries;
    }
    void FillCombo(const std::vector<std::string>& entries) {
        for (const auto& entry : entries) kit.combo().AddItem(entry);
    }
    void FillList(int lines) {
        for (int i = 1; i <= lines; ++i) kit.list().AddLine("line " + std::to_string(i));
    }
    // Which handlers ran, in order.
    void Record(ComboBox& combo) {
        combo.onTextChanged = [this] { events.push_back("change"); };
        combo.onLostFocus = [this] { events.push_back("lostfocus"); };
    }
    void Record(ListBox& list) {
        list.onClick = [this] { events.push_back("click"); };
        list.onDoubleClick = [this] { events.push_back("dblclick"); };
        list.onMouseUp = [this](MouseButton b) {
            events.push_back(b == MouseButton::Right  ? "up:right"
                             : b == MouseButton::Left ? "up:left"
                                                      : "up:other");
        };
    }

    Kit kit;
    std::vector<std::string> events;
};

int32_t ErrorNumberOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

using Kits = ::testing::Types<MemoryKit, QtKit>;
class KitNames {
public:
    template <class T>
    static std::string GetName(int) {
        return std::is_same_v<T, MemoryKit> ? "Memory" : "Qt";
    }
};
TYPED_TEST_SUITE(ControlsContract, Kits, KitNames);

const std::string kUmlauts = "Grüße aus Zürich";  // 16 characters, 19 bytes
const std::string kBeyondBmp = "a\xF0\x9F\x98\x80" "b";  // a, U+1F600, b

// ---- Every control

TYPED_TEST(ControlsContract, EveryControlStartsShownEnabledWithoutTooltipAndKeepsWhatItIsSet) {
    std::vector<Control*> controls = {&this->kit.label(),  &this->kit.textBox(), &this->kit.checkBox(),
                                      &this->kit.combo(),  &this->kit.list(),    &this->kit.button(),
                                      &this->kit.menuItem()};
    for (Control* control : controls) {
        EXPECT_TRUE(control->Visible());
        EXPECT_TRUE(control->Enabled());
        EXPECT_EQ(control->ToolTipText(), "");
        control->SetVisible(false);
        control->SetEnabled(false);
        control->SetToolTipText("Doubleclick to view in Browser – ü");
        EXPECT_FALSE(control->Visible());
        EXPECT_FALSE(control->Enabled());
        EXPECT_EQ(control->ToolTipText(), "Doubleclick to view in Browser – ü");
        control->SetVisible(true);
        control->SetEnabled(true);
        EXPECT_TRUE(control->Visible());
        EXPECT_TRUE(control->Enabled());
    }
}

TYPED_TEST(ControlsContract, CaptionsAndTextsRoundTripUtf8) {
    this->kit.label().SetCaption(kUmlauts);
    this->kit.checkBox().SetCaption("Set TimeToLive to ... days");
    this->kit.button().SetCaption("Go!");
    this->kit.menuItem().SetCaption("&About Loftwick");
    this->kit.textBox().SetText(kBeyondBmp);
    this->kit.combo().SetText(kUmlauts);
    this->kit.label().Refresh();
    EXPECT_EQ(this->kit.label().Caption(), kUmlauts);
    EXPECT_EQ(this->kit.checkBox().Caption(), "Set TimeToLive to ... days");
    EXPECT_EQ(this->kit.button().Caption(), "Go!");
    EXPECT_EQ(this->kit.menuItem().Caption(), "&About Loftwick");
    EXPECT_EQ(this->kit.textBox().Text(), kBeyondBmp);
    EXPECT_EQ(this->kit.combo().Text(), kUmlauts);
}

// ---- Text selection, in characters

TYPED_TEST(ControlsContract, CaretEndsUpAfterANewTextAndSelectionsStayInsideIt) {
    TextBox& box = this->kit.textBox();
    box.SetText(kBeyondBmp);
    EXPECT_EQ(box.SelStart(), 3);  // characters, not bytes or UTF-16 units
    box.SetText("200");
    box.SetSelStart(1);
    box.SetSelLength(100);
    EXPECT_EQ(box.SelStart(), 1);
    EXPECT_EQ(box.SelLength(), 2);
    box.SetSelStart(2);  // moving the caret drops the selection
    EXPECT_EQ(box.SelLength(), 0);
    box.SetSelStart(50);
    EXPECT_EQ(box.SelStart(), 3);
    box.SetSelStart(-4);
    box.SetSelLength(-1);
    EXPECT_EQ(box.SelStart(), 0);
    EXPECT_EQ(box.SelLength(), 0);
}

TYPED_TEST(ControlsContract, SelectionCountsCharactersOfMultiByteText) {
    ComboBox& combo = this->kit.combo();
    combo.SetText(kUmlauts);
    combo.SetSelStart(10);  // "Zürich", to the end
    combo.SetSelLength(7);
    EXPECT_EQ(combo.SelStart(), 10);
    EXPECT_EQ(combo.SelLength(), 6);
    this->kit.UserTypes("Bern");
    EXPECT_EQ(combo.Text(), "Grüße aus Bern");

    combo.SetText(kBeyondBmp);
    combo.SetSelStart(1);
    combo.SetSelLength(1);
    EXPECT_EQ(combo.SelLength(), 1);
    this->kit.UserTypes("ö");
    EXPECT_EQ(combo.Text(), "aöb");
    EXPECT_EQ(combo.SelStart(), 2);
}

// ---- Check box

TYPED_TEST(ControlsContract, CheckBoxHoldsUncheckedCheckedAndGrayedAndIgnoresOtherValues) {
    CheckBox& box = this->kit.checkBox();
    EXPECT_EQ(box.Value(), 0);
    for (int32_t value : {1, 2, 0, 2, 1}) {
        box.SetValue(value);
        EXPECT_EQ(box.Value(), value);
    }
    box.SetValue(3);
    box.SetValue(-1);
    EXPECT_EQ(box.Value(), 1);
}

// ---- Combo box list

TYPED_TEST(ControlsContract, ComboEntriesAndTheirDataInsertAndRemoveAtAnyPosition) {
    ComboBox& combo = this->kit.combo();
    this->FillCombo({"b", "d"});
    combo.SetItemData(0, 7);
    combo.SetItemData(1, -39);
    combo.InsertItem(0, "a");
    combo.InsertItem(2, "c");
    combo.InsertItem(4, "e");  // at the count: appends
    EXPECT_EQ(this->Entries(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(combo.ItemData(0), 0);
    EXPECT_EQ(combo.ItemData(1), 7);
    EXPECT_EQ(combo.ItemData(3), -39);
    combo.RemoveItem(4);
    combo.RemoveItem(0);
    combo.RemoveItem(1);
    EXPECT_EQ(this->Entries(), (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(combo.ItemData(1), -39);
    EXPECT_EQ(combo.ItemText(2), "");
    EXPECT_EQ(combo.ItemText(-1), "");
    EXPECT_EQ(combo.ItemData(2), 0);
}

TYPED_TEST(ControlsContract, ComboIndexesThatDoNotExistRaiseTheirErrors) {
    ComboBox& combo = this->kit.combo();
    this->FillCombo({"a", "b"});
    EXPECT_EQ(ErrorNumberOf([&] { combo.InsertItem(3, "x"); }), vberr::InvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { combo.InsertItem(-1, "x"); }), vberr::InvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { combo.RemoveItem(2); }), vberr::InvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { combo.SetSelectedIndex(2); }), ctlerr::InvalidPropertyValue);
    EXPECT_EQ(ErrorNumberOf([&] { combo.SetSelectedIndex(-2); }), ctlerr::InvalidPropertyValue);
    EXPECT_EQ(ErrorNumberOf([&] { combo.SetItemData(2, 1); }), ctlerr::InvalidPropertyArrayIndex);
    EXPECT_EQ(this->Entries(), (std::vector<std::string>{"a", "b"}));
}

TYPED_TEST(ControlsContract, FillingAnEmptyComboLeavesItsTextAndSelectsNothing) {
    ComboBox& combo = this->kit.combo();
    this->FillCombo({"text/html", "image/gif"});
    EXPECT_EQ(combo.Text(), "");
    EXPECT_EQ(combo.SelectedIndex(), -1);

    combo.SetSelectedIndex(0);
    combo.Clear();
    EXPECT_EQ(combo.ListCount(), 0);
    EXPECT_EQ(combo.Text(), "");
    combo.SetText("typed");
    combo.InsertItem(0, "first");
    EXPECT_EQ(combo.Text(), "typed");
    EXPECT_EQ(combo.SelectedIndex(), -1);
}

TYPED_TEST(ControlsContract, SelectingAnEntryShowsItWithTheCaretAtTheEnd) {
    ComboBox& combo = this->kit.combo();
    this->FillCombo({"one", "Zürich"});
    combo.SetText("something else");
    combo.SetSelectedIndex(1);
    EXPECT_EQ(combo.SelectedIndex(), 1);
    EXPECT_EQ(combo.Text(), "Zürich");
    EXPECT_EQ(combo.SelStart(), 6);
    EXPECT_EQ(combo.SelLength(), 0);
    combo.SetSelectedIndex(-1);
    EXPECT_EQ(combo.SelectedIndex(), -1);
    EXPECT_EQ(combo.Text(), "");
}

TYPED_TEST(ControlsContract, ReselectingTheSelectedEntryRestoresAnEditedText) {
    ComboBox& combo = this->kit.combo();
    this->FillCombo({"abc"});
    combo.SetSelectedIndex(0);
    this->kit.UserTypes("x");
    EXPECT_EQ(combo.SelectedIndex(), -1);
    combo.SetSelectedIndex(0);
    EXPECT_EQ(combo.Text(), "abc");
    EXPECT_EQ(combo.SelectedIndex(), 0);
}

TYPED_TEST(ControlsContract, SelectionFollowsItsEntryWhenOthersComeAndGo) {
    ComboBox& combo = this->kit.combo();
    this->FillCombo({"a", "b", "c"});
    combo.SetSelectedIndex(1);
    combo.InsertItem(0, "new");
    EXPECT_EQ(combo.SelectedIndex(), 2);
    combo.RemoveItem(0);
    EXPECT_EQ(combo.SelectedIndex(), 1);
    combo.RemoveItem(2);
    EXPECT_EQ(combo.SelectedIndex(), 1);
    EXPECT_EQ(combo.Text(), "b");
}

TYPED_TEST(ControlsContract, RemovingTheSelectedEntryKeepsTheTextAndItsSelection) {
    ComboBox& combo = this->kit.combo();
    this->FillCombo({"a", "three", "c"});
    combo.SetSelectedIndex(1);
    combo.SetSelStart(2);
    combo.SetSelLength(2);
    combo.RemoveItem(1);
    EXPECT_EQ(combo.SelectedIndex(), -1);
    EXPECT_EQ(combo.Text(), "three");
    EXPECT_EQ(combo.SelStart(), 2);
    EXPECT_EQ(combo.SelLength(), 2);
    EXPECT_EQ(this->Entries(), (std::vector<std::string>{"a", "c"}));
}

// ---- Combo box events

TYPED_TEST(ControlsContract, TypingReplacesTheSelectionAndReportsEachChange) {
    ComboBox& combo = this->kit.combo();
    this->Record(combo);
    this->FillCombo({"abcd"});
    combo.SetSelectedIndex(0);
    combo.SetSelStart(1);
    combo.SetSelLength(3);
    this->kit.UserTypes("xy");
    EXPECT_EQ(combo.Text(), "axy");
    EXPECT_EQ(combo.SelStart(), 3);
    EXPECT_EQ(combo.SelectedIndex(), -1);
    EXPECT_GE(this->events.size(), 1u);
    for (const auto& event : this->events) EXPECT_EQ(event, "change");
}

TYPED_TEST(ControlsContract, ChangesMadeByTheProgramFireNoUserHandler) {
    ComboBox& combo = this->kit.combo();
    this->Record(combo);
    combo.SetText("abc");
    this->FillCombo({"x", "y"});
    combo.SetSelectedIndex(1);
    combo.InsertItem(0, "z");
    combo.RemoveItem(2);
    combo.SetSelStart(0);
    combo.SetSelLength(1);
    combo.Clear();
    EXPECT_TRUE(this->events.empty());
}

TYPED_TEST(ControlsContract, AChangeHandlerMayRewriteTheTextWithoutBeingCalledAgain) {
    ComboBox& combo = this->kit.combo();
    this->FillCombo({"abx"});
    int calls = 0;
    combo.onTextChanged = [&] {
        ++calls;
        combo.SetSelectedIndex(0);
        combo.SetSelStart(1);
        combo.SetSelLength(2);
    };
    this->kit.UserTypes("a");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(combo.Text(), "abx");
    EXPECT_EQ(combo.SelStart(), 1);
    EXPECT_EQ(combo.SelLength(), 2);
}

TYPED_TEST(ControlsContract, BackspaceDeletesTheSelectionOrTheCharacterBeforeTheCaret) {
    ComboBox& combo = this->kit.combo();
    this->Record(combo);
    combo.SetText("Zürich");
    combo.SetSelStart(3);
    combo.SetSelLength(3);
    this->kit.UserPressesBackspace();
    EXPECT_EQ(combo.Text(), "Zür");
    this->kit.UserPressesBackspace();
    EXPECT_EQ(combo.Text(), "Zü");
    EXPECT_EQ(this->events, (std::vector<std::string>{"change", "change"}));

    combo.SetText("");
    this->kit.UserPressesBackspace();
    EXPECT_EQ(this->events.size(), 2u);  // nothing to delete, nothing changed
}

TYPED_TEST(ControlsContract, LeavingTheComboReportsLostFocus) {
    ComboBox& combo = this->kit.combo();
    this->Record(combo);
    this->kit.UserLeavesCombo();
    EXPECT_EQ(this->events, (std::vector<std::string>{"lostfocus"}));
}

// ---- List box

TYPED_TEST(ControlsContract, ListLinesKeepTheirOrderAndClearingFiresNothing) {
    ListBox& list = this->kit.list();
    list.AddLine("WinProxy cache at /var/cache/");
    list.AddLine(kUmlauts);
    list.Refresh();
    EXPECT_EQ(list.ListCount(), 2);
    EXPECT_EQ(list.LineText(1), kUmlauts);
    EXPECT_EQ(list.LineText(2), "");
    EXPECT_EQ(list.LineText(-1), "");
    EXPECT_EQ(list.SelectedIndex(), -1);
    list.SetSelectedIndex(1);
    this->Record(list);
    list.Clear();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.SelectedIndex(), -1);
    EXPECT_TRUE(this->events.empty());
}

TYPED_TEST(ControlsContract, SelectingALineFromTheProgramFiresTheClickHandlerEveryTime) {
    ListBox& list = this->kit.list();
    this->FillList(3);
    std::vector<int32_t> seen;
    list.onClick = [&] { seen.push_back(list.SelectedIndex()); };
    list.SetSelectedIndex(2);
    list.SetSelectedIndex(2);
    list.SetSelectedIndex(-1);
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 2, -1}));

    list.SetSelectedIndex(1);
    EXPECT_EQ(ErrorNumberOf([&] { list.SetSelectedIndex(3); }), ctlerr::InvalidPropertyValue);
    EXPECT_EQ(ErrorNumberOf([&] { list.SetSelectedIndex(-2); }), ctlerr::InvalidPropertyValue);
    EXPECT_EQ(list.SelectedIndex(), 1);
    EXPECT_EQ(seen.size(), 4u);
}

TYPED_TEST(ControlsContract, ClickingALineSelectsItThenReportsTheButtonRelease) {
    ListBox& list = this->kit.list();
    this->Record(list);
    this->FillList(3);
    this->kit.UserClicksLine(1, MouseButton::Left);
    EXPECT_EQ(list.SelectedIndex(), 1);
    EXPECT_EQ(this->events, (std::vector<std::string>{"click", "up:left"}));

    this->events.clear();
    this->kit.UserClicksLine(1, MouseButton::Left);  // already selected: no selection change
    EXPECT_EQ(this->events, (std::vector<std::string>{"up:left"}));

    this->events.clear();
    this->kit.UserClicksLine(2, MouseButton::Right);
    EXPECT_EQ(list.SelectedIndex(), 2);
    EXPECT_EQ(this->events, (std::vector<std::string>{"click", "up:right"}));
}

TYPED_TEST(ControlsContract, DoubleClickingALineReportsOneDoubleClick) {
    ListBox& list = this->kit.list();
    this->Record(list);
    this->FillList(3);
    this->kit.UserDoubleClicksLine(0);
    EXPECT_EQ(list.SelectedIndex(), 0);
    EXPECT_EQ(this->events, (std::vector<std::string>{"click", "up:left", "dblclick", "up:left"}));
}

// ---- Button, menu item, popup

TYPED_TEST(ControlsContract, ButtonRolesAndClicksWhileEnabledOnly) {
    Button& button = this->kit.button();
    int clicks = 0;
    button.onClick = [&] { ++clicks; };
    EXPECT_FALSE(button.IsDefault());
    EXPECT_FALSE(button.IsCancel());
    button.SetDefault(true);
    button.SetCancel(true);
    EXPECT_TRUE(button.IsDefault());
    EXPECT_TRUE(button.IsCancel());
    button.SetCancel(false);
    EXPECT_FALSE(button.IsCancel());
    EXPECT_TRUE(button.IsDefault());

    this->kit.UserClicksButton();
    button.SetEnabled(false);
    this->kit.UserClicksButton();
    EXPECT_EQ(clicks, 1);
}

TYPED_TEST(ControlsContract, MenuItemReportsChoicesOnlyWhileEnabledAndShown) {
    MenuItem& item = this->kit.menuItem();
    int clicks = 0;
    item.onClick = [&] { ++clicks; };
    this->kit.UserChoosesMenuItem();
    item.SetEnabled(false);
    this->kit.UserChoosesMenuItem();
    item.SetEnabled(true);
    item.SetVisible(false);
    this->kit.UserChoosesMenuItem();
    EXPECT_EQ(clicks, 1);
}

TYPED_TEST(ControlsContract, PopupMenuShowsWhenAsked) {
    EXPECT_FALSE(this->kit.PopupShown());
    this->kit.popup().Popup();
    EXPECT_TRUE(this->kit.PopupShown());
}

}  // namespace
}  // namespace loftwick
