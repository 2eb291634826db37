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

using Kits = ::testing::Types<MemoryKit, QtKit>;
TYPED_TEST_SUITE(ControlsContract, Kits);

const std::string kUmlauts = "Grüße aus Zürich";  // 16 characters, 19 bytes
const std::string kBeyondBmp =
    "a\xF0\x9F\x98\x80"
    "b";  // a, U+1F600, b
using Lines = std::vector<std::string>;

TYPED_TEST(ControlsContract, ControlsKeepWhatTheyAreSetInUtf8) {
    TypeParam& k = this->kit;
    const std::vector<std::pair<std::function<void(const std::string&)>, std::function<std::string()>>>
        texts = {
            {[&](const std::string& t) { k.label.SetCaption(t); }, [&] { return k.label.Caption(); }},
            {[&](const std::string& t) { k.checkBox.SetCaption(t); }, [&] { return k.checkBox.Caption(); }},
            {[&](const std::string& t) { k.button.SetCaption(t); }, [&] { return k.button.Caption(); }},
            {[&](const std::string& t) { k.menuItem.SetCaption(t); }, [&] { return k.menuItem.Caption(); }},
            {[&](const std::string& t) { k.textBox.SetText(t); }, [&] { return k.textBox.Text(); }},
            {[&](const std::string& t) { k.combo.SetText(t); }, [&] { return k.combo.Text(); }},
            {[&](const std::string& t) { k.progress.SetText(t); }, [&] { return k.progress.Text(); }},
            {[&](const std::string& t) { k.list.SetToolTipText(t); }, [&] { return k.list.ToolTipText(); }},

        };
    for (const auto& [set, get] : texts) {
        for (const std::string& text : {kUmlauts, kBeyondBmp, std::string("&About Loftwick")}) {
            set(text);
            EXPECT_EQ(get(), text);
        }
    }
    // Whole percents of any range, clamped; the units are the work's own (bytes of a large index).
    for (const auto& [done, total, percent] : std::vector<std::tuple<int64_t, int64_t, int32_t>>{
             {5, 0, 0}, {1, 3, 33}, {-1, 10, 0}, {11, 10, 100}, {int64_t{3} << 40, int64_t{4} << 40, 75}}) {
        k.progress.SetProgress(done, total);
        EXPECT_EQ(k.progress.Percent(), percent) << done << " of " << total;
    }
    for (const auto& [set, shown] :
         std::vector<std::pair<int32_t, int32_t>>{{2, 2}, {0, 0}, {1, 1}, {3, 1}, {-1, 1}}) {
        k.checkBox.SetValue(set);
        EXPECT_EQ(k.checkBox.Value(), shown) << set;
    }
}

// Positions count characters, not bytes or UTF-16 units, and never leave the text; typing replaces the
// selection.
TYPED_TEST(ControlsContract, SelectionsCountCharactersAndStayInsideTheText) {
    struct Row {
        std::string text;
        int32_t start, length;
        std::string typed;
        int32_t shownStart, shownLength;
        std::string after;
    };
    const Row rows[] = {
        {"200", 1, 100, "", 1, 2, "200"},
        {"200", 50, 0, "", 3, 0, "200"},
        {"200", -4, -1, "", 0, 0, "200"},
        {kUmlauts, 10, 7, "", 10, 6, kUmlauts},
        {kUmlauts, 10, 7, "Bern", 14, 0, "Grüße aus Bern"},
        {kBeyondBmp, 1, 1, "ö", 2, 0, "aöb"},
    };
    ComboBox& combo = this->kit.combo;
    for (const Row& row : rows) {
        combo.SetText(row.text);
        combo.SetSelStart(row.start);
        combo.SetSelLength(row.length);
        if (!row.typed.empty()) this->kit.UserTypes(row.typed);
        EXPECT_EQ(combo.Text(), row.after);

        EXPECT_EQ(combo.SelStart(), row.shownStart) << row.text << " " << row.start;
        EXPECT_EQ(combo.SelLength(), row.shownLength) << row.text << " " << row.start;
    }
    this->kit.textBox.SetText(kBeyondBmp);
    EXPECT_EQ(this->kit.textBox.SelStart(), 3);  // a new text puts the caret at its end
}

TYPED_TEST(ControlsContract, ComboEntriesKeepTheirDataSelectionAndTextWithinRange) {
    ComboBox& combo = this->kit.combo;
    combo.SetText("typed");
    this->FillCombo({"b", "d"});
    EXPECT_EQ(combo.Text(), "typed");  // filling selects nothing
    combo.SetItemData(1, -39);
    combo.InsertItem(0, "a");
    combo.InsertItem(3, "e");  // at the count: appends
    EXPECT_EQ(this->Entries(), (Lines{"a", "b", "d", "e"}));
    EXPECT_EQ(combo.ItemData(2), -39);
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { combo.InsertItem(5, "x"); }, [&] { combo.InsertItem(-1, "x"); },
             [&] { combo.RemoveItem(4); }, [&] { combo.SetSelectedIndex(4); },
             [&] { combo.SetSelectedIndex(-2); }, [&] { combo.SetItemData(4, 1); }})
        EXPECT_THROW(call(), RuntimeError);
    EXPECT_EQ(combo.ItemText(4) + combo.ItemText(-1), "");
    combo.SetSelectedIndex(2);
    EXPECT_EQ(combo.Text(), "d");
    EXPECT_EQ(combo.SelStart(), 1);
    combo.InsertItem(0, "new");  // the selection follows its entry
    EXPECT_EQ(combo.SelectedIndex(), 3);
    combo.RemoveItem(3);  // and removing it keeps the text
    EXPECT_EQ(combo.SelectedIndex(), -1);
    EXPECT_EQ(combo.Text(), "d");
    this->kit.UserTypes("x");
    combo.SetSelectedIndex(-1);
    EXPECT_EQ(combo.Text(), "");
    combo.Clear();
    EXPECT_EQ(combo.ListCount(), 0);
}

// Only the user's edits fire the handlers, and a change handler may rewrite the text (completion)
// without being called again.
TYPED_TEST(ControlsContract, UserEditsFireTheirHandlersAndProgramChangesNone) {
    ComboBox& combo = this->kit.combo;
    this->Record(combo);
    combo.SetText("abc");
    this->FillCombo({"abcd", "y"});
    combo.SetSelectedIndex(1);
    combo.RemoveItem(1);
    combo.Clear();
    EXPECT_TRUE(this->events.empty());
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
    EXPECT_EQ(combo.SelLength(), 2);
}

TYPED_TEST(ControlsContract, ListSelectionsByProgramAndByMouseFireTheirHandlersInOrder) {
    ListBox& list = this->kit.list;
    this->FillList(3);
    EXPECT_EQ(list.LineText(1), "line 2");
    EXPECT_EQ(list.LineText(3) + list.LineText(-1), "");
    std::vector<int32_t> seen;
    list.onClick = [&] { seen.push_back(list.SelectedIndex()); };
    for (int32_t index : {2, 2, -1, 1}) list.SetSelectedIndex(index);
    EXPECT_THROW(list.SetSelectedIndex(3), RuntimeError);
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 2, -1, 1}));
    this->Record(list);
    this->kit.UserClicksLine(1, MouseButton::Left);  // already selected: no selection change
    this->kit.UserClicksLine(2, MouseButton::Right);
    this->kit.UserDoubleClicksLine(0);
    EXPECT_EQ(this->events,
              (Lines{"up:left", "click", "up:right", "click", "up:left", "dblclick", "up:left"}));
    this->events.clear();
    list.Clear();  // fires nothing
    EXPECT_EQ(list.SelectedIndex(), -1);
    EXPECT_TRUE(this->events.empty());
}

TYPED_TEST(ControlsContract, ButtonsAndMenuItemsReportClicksOnlyWhileEnabledAndShown) {
    Button& button = this->kit.button;
    MenuItem& item = this->kit.menuItem;
    int clicks = 0;
    button.onClick = [&] { ++clicks; };
    item.onClick = [&] { clicks += 10; };
    button.SetDefault(true);
    button.SetCancel(true);
    button.SetCancel(false);
    EXPECT_TRUE(button.IsDefault() && !button.IsCancel());
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
    this->kit.popup.Popup();
    EXPECT_TRUE(this->kit.PopupShown());
}

}  // namespace
}  // namespace loftwick
