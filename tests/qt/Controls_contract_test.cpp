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
#include <tuple>
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
    MemoryLabel label;
    MemoryTextBox textBox;
    MemoryCheckBox checkBox;
    MemoryComboBox combo;
    MemoryListBox list;
    MemoryButton button;
    MemoryMenuItem menuItem;
    MemoryPopupMenu popup;
    MemoryProgressBar progress;

    void UserTypes(const std::string& text) { combo.TypeText(text); }
    void UserPressesBackspace() { combo.PressBackspace(); }
    void UserLeavesCombo() { combo.LoseFocus(); }
    void UserClicksLine(int32_t index, MouseButton b) { list.ClickLine(index, b); }
    void UserDoubleClicksLine(int32_t index) { list.DoubleClickLine(index); }
    void UserClicksButton() { button.Click(); }
    void UserChoosesMenuItem() { menuItem.Click(); }
    bool PopupShown() const { return popup.popupCount > 0; }
};

class QtKit {
    std::unique_ptr<QWidget> window_ = std::make_unique<QWidget>();
    QComboBox* comboWidget_ = new QComboBox(window_.get());
    QListWidget* listWidget_ = new QListWidget(window_.get());
    QPushButton* buttonWidget_ = new QPushButton(window_.get());
    QMenu* menu_ = new QMenu(window_.get());
    QAction* action_ = menu_->addAction("item");

  public:
    // Declared after the window: destroyed first, while their widgets still exist.
    qt::QtLabel label{new QLabel(window_.get())};
    qt::QtTextBox textBox{new QLineEdit(window_.get())};
    qt::QtCheckBox checkBox{new QCheckBox(window_.get())};
    qt::QtComboBox combo{comboWidget_};
    qt::QtListBox list{listWidget_};
    qt::QtButton button{buttonWidget_};
    qt::QtMenuItem menuItem{action_};
    qt::QtPopupMenu popup{menu_};
    qt::QtProgressBar progress{new QProgressBar(window_.get())};

    QtKit() {
        window_->resize(400, 300);
        listWidget_->setGeometry(0, 100, 300, 200);
        window_->show();
    }
    ~QtKit() { menu_->hide(); }

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
    void UserClicksLine(int32_t index, MouseButton b) {
        const Qt::MouseButton qtButton = b == MouseButton::Right    ? Qt::RightButton
                                         : b == MouseButton::Middle ? Qt::MiddleButton
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
    void Mouse(QEvent::Type type, int32_t index, Qt::MouseButton b) {
        const QPointF at = listWidget_->visualItemRect(listWidget_->item(index)).center();
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::MouseButtons(Qt::NoButton) : Qt::MouseButtons(b);
        QMouseEvent event(type, at, listWidget_->viewport()->mapToGlobal(at), b, held, Qt::NoModifier);
        QCoreApplication::sendEvent(listWidget_->viewport(), &event);
    }
};

template <class Kit>
class ControlsContract : public ::testing::Test {
  protected:
    std::vector<std::string> Entries() {
        std::vector<std::string> entries;
        for (int32_t i = 0; i < kit.combo.ListCount(); ++i) entries.push_back(kit.combo.ItemText(i));
        return entries;
    }
    void FillCombo(const std::vector<std::string>& entries) {
        for (const auto& entry : entries) kit.combo.AddItem(entry);
    }
    void FillList(int lines) {
        for (int i = 1; i <= lines; ++i) kit.list.AddLine("line " + std::to_string(i));
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
const std::string kBeyondBmp =
    "a\xF0\x9F\x98\x80"
    "b";  // a, U+1F600, b
using Lines = std::vector<std::string>;

TYPED_TEST(ControlsContract, EveryControlStartsShownEnabledWithoutTooltipAndKeepsWhatItIsSet) {
    TypeParam& k = this->kit;
    for (Control* control : std::vector<Control*>{&k.label, &k.textBox, &k.checkBox, &k.combo, &k.list,
                                                  &k.button, &k.menuItem, &k.progress}) {
        EXPECT_TRUE(control->Visible() && control->Enabled());
        EXPECT_EQ(control->ToolTipText(), "");
        control->SetVisible(false);
        control->SetEnabled(false);
        control->SetToolTipText("Doubleclick to view in Browser – ü");
        EXPECT_FALSE(control->Visible() || control->Enabled());
        EXPECT_EQ(control->ToolTipText(), "Doubleclick to view in Browser – ü");
        control->SetVisible(true);
        control->SetEnabled(true);
        EXPECT_TRUE(control->Visible() && control->Enabled());
    }
}

TYPED_TEST(ControlsContract, CaptionsAndTextsRoundTripUtf8) {
    TypeParam& k = this->kit;
    k.label.SetCaption(kUmlauts);
    k.checkBox.SetCaption("Set TimeToLive to ... days");
    k.button.SetCaption("Go!");
    k.menuItem.SetCaption("&About Loftwick");
    k.textBox.SetText(kBeyondBmp);
    k.combo.SetText(kUmlauts);
    k.label.Refresh();
    EXPECT_EQ(k.label.Caption(), kUmlauts);
    EXPECT_EQ(k.checkBox.Caption(), "Set TimeToLive to ... days");
    EXPECT_EQ(k.button.Caption(), "Go!");
    EXPECT_EQ(k.menuItem.Caption(), "&About Loftwick");
    EXPECT_EQ(k.textBox.Text(), kBeyondBmp);
    EXPECT_EQ(k.combo.Text(), kUmlauts);
    k.progress.SetText("12%, 3 selected " + kUmlauts);
    EXPECT_EQ(k.progress.Text(), "12%, 3 selected " + kUmlauts);
    // Whole percents of any range, clamped; the units are the work's own (bytes of a large index).
    for (const auto& [done, total, percent] :
         std::vector<std::tuple<int64_t, int64_t, int32_t>>{{0, 0, 0},
                                                            {5, 0, 0},
                                                            {1, 3, 33},
                                                            {-1, 10, 0},
                                                            {11, 10, 100},
                                                            {int64_t{3} << 40, int64_t{4} << 40, 75}}) {
        k.progress.SetProgress(done, total);
        EXPECT_EQ(k.progress.Percent(), percent) << done << " of " << total;
    }
}

// Positions count characters, not bytes or UTF-16 units, and never leave the text.
TYPED_TEST(ControlsContract, SelectionsCountCharactersAndStayInsideTheText) {
    TextBox& box = this->kit.textBox;
    box.SetText(kBeyondBmp);
    EXPECT_EQ(box.SelStart(), 3);  // a new text puts the caret at its end
    box.SetText("200");
    box.SetSelStart(1);
    box.SetSelLength(100);
    EXPECT_EQ(box.SelLength(), 2);
    box.SetSelStart(50);  // moving the caret drops the selection
    EXPECT_EQ(box.SelStart(), 3);
    EXPECT_EQ(box.SelLength(), 0);
    box.SetSelStart(-4);
    box.SetSelLength(-1);
    EXPECT_EQ(box.SelStart() + box.SelLength(), 0);

    ComboBox& combo = this->kit.combo;
    combo.SetText(kUmlauts);
    combo.SetSelStart(10);  // "Zürich", to the end
    combo.SetSelLength(7);
    EXPECT_EQ(combo.SelLength(), 6);
    this->kit.UserTypes("Bern");
    EXPECT_EQ(combo.Text(), "Grüße aus Bern");
    combo.SetText(kBeyondBmp);
    combo.SetSelStart(1);
    combo.SetSelLength(1);
    this->kit.UserTypes("ö");
    EXPECT_EQ(combo.Text(), "aöb");
    EXPECT_EQ(combo.SelStart(), 2);
}

TYPED_TEST(ControlsContract, CheckBoxHoldsUncheckedCheckedAndGrayedAndIgnoresOtherValues) {
    CheckBox& box = this->kit.checkBox;
    EXPECT_EQ(box.Value(), 0);
    for (int32_t value : {2, 0, 1}) {
        box.SetValue(value);
        EXPECT_EQ(box.Value(), value);
    }
    box.SetValue(3);
    box.SetValue(-1);
    EXPECT_EQ(box.Value(), 1);
}

// ---- Combo box list

TYPED_TEST(ControlsContract, ComboEntriesAndTheirDataInsertAndRemoveAtAnyPositionWithinRange) {
    ComboBox& combo = this->kit.combo;
    this->FillCombo({"b", "d"});
    combo.SetItemData(1, -39);
    combo.InsertItem(0, "a");
    combo.InsertItem(2, "c");
    combo.InsertItem(4, "e");  // at the count: appends
    EXPECT_EQ(this->Entries(), (Lines{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(combo.ItemData(0), 0);
    EXPECT_EQ(combo.ItemData(3), -39);
    combo.RemoveItem(4);
    combo.RemoveItem(0);
    combo.RemoveItem(1);
    EXPECT_EQ(this->Entries(), (Lines{"b", "d"}));
    EXPECT_EQ(combo.ItemData(1), -39);
    EXPECT_EQ(combo.ItemText(2) + combo.ItemText(-1), "");
    EXPECT_EQ(combo.ItemData(2), 0);
    EXPECT_EQ(ErrorNumberOf([&] { combo.InsertItem(3, "x"); }), vberr::InvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { combo.InsertItem(-1, "x"); }), vberr::InvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { combo.RemoveItem(2); }), vberr::InvalidProcedureCall);
    EXPECT_EQ(ErrorNumberOf([&] { combo.SetSelectedIndex(2); }), ctlerr::InvalidPropertyValue);
    EXPECT_EQ(ErrorNumberOf([&] { combo.SetSelectedIndex(-2); }), ctlerr::InvalidPropertyValue);
    EXPECT_EQ(ErrorNumberOf([&] { combo.SetItemData(2, 1); }), ctlerr::InvalidPropertyArrayIndex);
    EXPECT_EQ(this->Entries(), (Lines{"b", "d"}));
}

TYPED_TEST(ControlsContract, SelectingAnEntryShowsItWithTheCaretAtTheEndAndFillingSelectsNothing) {
    ComboBox& combo = this->kit.combo;
    combo.SetText("typed");
    this->FillCombo({"one", "Zürich"});
    EXPECT_EQ(combo.Text(), "typed");
    EXPECT_EQ(combo.SelectedIndex(), -1);
    combo.SetSelectedIndex(1);
    EXPECT_EQ(combo.Text(), "Zürich");
    EXPECT_EQ(combo.SelStart(), 6);
    EXPECT_EQ(combo.SelLength(), 0);
    this->kit.UserTypes("x");  // an edited text is no entry; selecting the entry again restores it
    EXPECT_EQ(combo.SelectedIndex(), -1);
    combo.SetSelectedIndex(1);
    EXPECT_EQ(combo.Text(), "Zürich");
    combo.SetSelectedIndex(-1);
    EXPECT_EQ(combo.Text(), "");
    combo.SetSelectedIndex(0);
    combo.Clear();
    EXPECT_EQ(combo.ListCount(), 0);
    EXPECT_EQ(combo.Text(), "");
}

TYPED_TEST(ControlsContract, SelectionFollowsItsEntryAndRemovingItKeepsTheText) {
    ComboBox& combo = this->kit.combo;
    this->FillCombo({"a", "three", "c"});
    combo.SetSelectedIndex(1);
    combo.InsertItem(0, "new");
    EXPECT_EQ(combo.SelectedIndex(), 2);
    combo.RemoveItem(0);
    combo.RemoveItem(2);
    EXPECT_EQ(combo.SelectedIndex(), 1);
    combo.SetSelStart(2);
    combo.SetSelLength(2);
    combo.RemoveItem(1);
    EXPECT_EQ(combo.SelectedIndex(), -1);
    EXPECT_EQ(combo.Text(), "three");
    EXPECT_EQ(combo.SelStart(), 2);
    EXPECT_EQ(combo.SelLength(), 2);
    EXPECT_EQ(this->Entries(), Lines{"a"});
}

// ---- Combo box events

TYPED_TEST(ControlsContract, UserEditsFireTheirHandlersAndProgramChangesNone) {
    ComboBox& combo = this->kit.combo;
    this->Record(combo);
    combo.SetText("abc");
    this->FillCombo({"abcd", "y"});
    combo.SetSelectedIndex(1);
    combo.InsertItem(0, "z");
    combo.RemoveItem(2);
    combo.SetSelectedIndex(0);
    combo.Clear();
    EXPECT_TRUE(this->events.empty());

    combo.SetText("abcd");
    combo.SetSelStart(1);
    combo.SetSelLength(3);
    this->kit.UserTypes("xy");  // replaces the selection
    EXPECT_EQ(combo.Text(), "axy");
    EXPECT_EQ(combo.SelStart(), 3);
    EXPECT_GE(this->events.size(), 1u);
    for (const auto& event : this->events) EXPECT_EQ(event, "change");

    this->events.clear();
    combo.SetText("Zürich");
    combo.SetSelStart(3);
    combo.SetSelLength(3);
    this->kit.UserPressesBackspace();  // the selection, then the character before the caret
    this->kit.UserPressesBackspace();
    EXPECT_EQ(combo.Text(), "Zü");
    combo.SetText("");
    this->kit.UserPressesBackspace();  // nothing to delete, nothing changed
    this->kit.UserLeavesCombo();
    EXPECT_EQ(this->events, (Lines{"change", "change", "lostfocus"}));
}

TYPED_TEST(ControlsContract, AChangeHandlerMayRewriteTheTextWithoutBeingCalledAgain) {
    ComboBox& combo = this->kit.combo;
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

// ---- List box

TYPED_TEST(ControlsContract, ListLinesKeepTheirOrderAndProgramSelectionFiresClickEveryTime) {
    ListBox& list = this->kit.list;
    list.AddLine("WinProxy cache at /var/cache/");
    list.AddLine(kUmlauts);
    list.AddLine("third");
    list.Refresh();
    EXPECT_EQ(list.ListCount(), 3);
    EXPECT_EQ(list.LineText(1), kUmlauts);
    EXPECT_EQ(list.LineText(3) + list.LineText(-1), "");
    EXPECT_EQ(list.SelectedIndex(), -1);
    std::vector<int32_t> seen;
    list.onClick = [&] { seen.push_back(list.SelectedIndex()); };
    list.SetSelectedIndex(2);
    list.SetSelectedIndex(2);
    list.SetSelectedIndex(-1);
    list.SetSelectedIndex(1);
    EXPECT_EQ(ErrorNumberOf([&] { list.SetSelectedIndex(3); }), ctlerr::InvalidPropertyValue);
    EXPECT_EQ(ErrorNumberOf([&] { list.SetSelectedIndex(-2); }), ctlerr::InvalidPropertyValue);
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 2, -1, 1}));
    this->Record(list);
    list.Clear();  // fires nothing
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.SelectedIndex(), -1);
    EXPECT_TRUE(this->events.empty());
}

TYPED_TEST(ControlsContract, ClickingALineSelectsItThenReportsTheButtonRelease) {
    ListBox& list = this->kit.list;
    this->Record(list);
    this->FillList(3);
    this->kit.UserClicksLine(1, MouseButton::Left);
    this->kit.UserClicksLine(1, MouseButton::Left);  // already selected: no selection change
    this->kit.UserClicksLine(2, MouseButton::Right);
    EXPECT_EQ(list.SelectedIndex(), 2);
    EXPECT_EQ(this->events, (Lines{"click", "up:left", "up:left", "click", "up:right"}));
    this->events.clear();
    this->kit.UserDoubleClicksLine(0);
    EXPECT_EQ(list.SelectedIndex(), 0);
    EXPECT_EQ(this->events, (Lines{"click", "up:left", "dblclick", "up:left"}));
}

// ---- Button, menu item, popup

TYPED_TEST(ControlsContract, ButtonsAndMenuItemsReportClicksOnlyWhileEnabledAndShown) {
    Button& button = this->kit.button;
    MenuItem& item = this->kit.menuItem;
    int clicks = 0;
    button.onClick = [&] { ++clicks; };
    item.onClick = [&] { clicks += 10; };
    EXPECT_FALSE(button.IsDefault() || button.IsCancel());
    button.SetDefault(true);
    button.SetCancel(true);
    button.SetCancel(false);
    EXPECT_TRUE(button.IsDefault());
    EXPECT_FALSE(button.IsCancel());
    this->kit.UserClicksButton();
    this->kit.UserChoosesMenuItem();
    button.SetEnabled(false);
    item.SetEnabled(false);
    this->kit.UserClicksButton();
    this->kit.UserChoosesMenuItem();
    item.SetEnabled(true);
    item.SetVisible(false);
    this->kit.UserChoosesMenuItem();
    EXPECT_EQ(clicks, 11);

    EXPECT_FALSE(this->kit.PopupShown());
    this->kit.popup.Popup();
    EXPECT_TRUE(this->kit.PopupShown());
}

}  // namespace
}  // namespace loftwick
