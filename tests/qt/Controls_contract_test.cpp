// One set of behaviour checks run against the in-memory controls and the Qt adapters, so that the
// window models see the same controls in tests, in loftwick-scan and on screen; then what the Qt
// adapters must do beyond it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "QtTestApp.h"
#include "app/basKeyboard.h"
#include "qt/QtControls.h"
#include "support/MemoryControls.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

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

    // One keystroke that brings the whole text, as an input method may.
    void UserTypes(const std::string& text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, qt::ToQt(text));
        QCoreApplication::sendEvent(comboWidget_->lineEdit(), &press);
    }
    void UserPressesBackspace() { QTest::keyClick(comboWidget_->lineEdit(), Qt::Key_Backspace); }
    void UserLeavesCombo() {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(comboWidget_, &out);
    }
    void UserClicksLine(int32_t index, MouseButton b) {
        QTest::mouseClick(listWidget_->viewport(), b == MouseButton::Right ? Qt::RightButton : Qt::LeftButton,
                          {}, At(index).toPoint());
    }
    // The second press of a double click comes as a double-click event alone.
    void UserDoubleClicksLine(int32_t index) {
        UserClicksLine(index, MouseButton::Left);
        for (const QEvent::Type type : {QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, At(index), listWidget_->viewport()->mapToGlobal(At(index)),
                              Qt::LeftButton, held, Qt::NoModifier);
            QCoreApplication::sendEvent(listWidget_->viewport(), &event);
        }
    }
    void UserClicksButton() { buttonWidget_->click(); }
    void UserChoosesMenuItem() { action_->trigger(); }
    bool PopupShown() const { return menu_->isVisible(); }

  private:
    QPointF At(int32_t index) const { return listWidget_->visualItemRect(listWidget_->item(index)).center(); }
};

// Each row runs on a fresh kit whose handlers all log into `events`; what the row returns follows them.
template <class Kit>
struct Wired {
    Kit kit;
    std::vector<std::string> events;
    Wired() {
        kit.combo.onTextChanged = [this] { events.push_back("change"); };
        kit.combo.onLostFocus = [this] { events.push_back("lostfocus"); };
        kit.list.onClick = [this] { events.push_back("click"); };
        kit.list.onDoubleClick = [this] { events.push_back("dblclick"); };
        kit.list.onMouseUp = [this](MouseButton b) {
            events.push_back(b == MouseButton::Right ? "up:right" : "up:left");
        };
        kit.button.onClick = [this] { events.push_back("button"); };
        kit.menuItem.onClick = [this] { events.push_back("menu"); };
        for (const char* entry : {"b", "d"}) kit.combo.AddItem(entry);
        for (const char* line : {"line 1", "line 2", "line 3"}) kit.list.AddLine(line);
    }
};

template <class Kit>
class ControlsContract : public ::testing::Test {};
using Kits = ::testing::Types<MemoryKit, QtKit>;
TYPED_TEST_SUITE(ControlsContract, Kits);

const std::string kUmlauts = "Grüße aus Zürich";  // 16 characters, 19 bytes
const std::string kBeyondBmp =
    "a\xF0\x9F\x98\x80"
    "b";  // a, U+1F600, b

template <class Kit>
std::string Shown(Kit& k) {
    return k.combo.Text() + " " + std::to_string(k.combo.SelStart()) + "+" +
           std::to_string(k.combo.SelLength());
}

// Positions count characters, not bytes or UTF-16 units, and never leave the text; typing replaces the
// selection.
template <class Kit>
std::string Select(Kit& k, const std::string& text, int32_t start, int32_t length, const std::string& typed) {
    k.combo.SetText(text);
    k.combo.SetSelStart(start);
    k.combo.SetSelLength(length);
    if (!typed.empty()) k.UserTypes(typed);
    return Shown(k);
}

TYPED_TEST(ControlsContract, ProgramChangesFireNoHandlerAndUserActionsTheirOwn) {
    using K = TypeParam;
    const std::vector<std::tuple<const char*, std::function<std::string(K&)>, std::string>> rows = {
        // Out of range is refused; the selection follows its entry and removing it keeps the text.
        {"combo entries",
         [](K& k) {
             EXPECT_THROW(k.combo.InsertItem(3, "x"), RuntimeError);
             EXPECT_THROW(k.combo.RemoveItem(2), RuntimeError);
             EXPECT_THROW(k.combo.SetSelectedIndex(-2), RuntimeError);
             EXPECT_THROW(k.combo.SetItemData(2, 1), RuntimeError);
             k.combo.SetSelectedIndex(1);
             k.combo.InsertItem(0, "new");
             const std::string followed = std::to_string(k.combo.SelectedIndex());
             k.combo.RemoveItem(2);
             return followed + " " + Shown(k) + " " + std::to_string(k.combo.SelectedIndex());
         },
         " => 2 d 1+0 -1"},
        {"every text in UTF-8",
         [](K& k) {
             const std::string t = "&" + kUmlauts + kBeyondBmp;
             k.label.SetCaption(t);
             k.checkBox.SetCaption(t);
             k.button.SetCaption(t);
             k.menuItem.SetCaption(t);
             k.textBox.SetText(t);
             k.progress.SetText(t);
             k.list.SetToolTipText(t);
             for (const std::string& got :
                  {k.label.Caption(), k.checkBox.Caption(), k.button.Caption(), k.menuItem.Caption(),
                   k.textBox.Text(), k.progress.Text(), k.list.ToolTipText()})
                 EXPECT_EQ(got, t);
             k.progress.SetProgress(int64_t{3} << 40,
                                    int64_t{4} << 40);  // the work's units: bytes of an index
             return std::to_string(k.progress.Percent());
         },
         " => 75"},
        {"selection clamped", [](K& k) { return Select(k, "200", 1, 100, ""); }, " => 200 1+2"},
        {"caret past the end", [](K& k) { return Select(k, "200", 50, 0, ""); }, " => 200 3+0"},
        {"negative selection", [](K& k) { return Select(k, "200", -4, -1, ""); }, " => 200 0+0"},
        {"in characters", [](K& k) { return Select(k, kUmlauts, 10, 7, ""); }, " => " + kUmlauts + " 10+6"},
        {"typed over", [](K& k) { return Select(k, kUmlauts, 10, 7, "Bern"); },
         "change => Grüße aus Bern 14+0"},
        {"beyond the BMP", [](K& k) { return Select(k, kBeyondBmp, 1, 1, "ö"); }, "change => aöb 2+0"},
        {"backspace, then leaving",
         [](K& k) {
             k.textBox.SetText(kBeyondBmp);  // a new text puts the caret at its end
             const std::string caret = std::to_string(k.textBox.SelStart());
             Select(k, "Zürich", 3, 3, "");
             k.UserPressesBackspace();  // the selection, then the character before the caret
             k.UserPressesBackspace();
             const std::string text = k.combo.Text();
             k.combo.SetText("");
             k.UserPressesBackspace();  // nothing to delete, nothing changed
             k.UserLeavesCombo();
             return caret + " " + text;
         },
         "change change lostfocus => 3 Zü"},
        // The filter fields' completion rewrites the text from its change handler without being called
        // again, and no completion of the toolkit's own gets in the way.
        {"completing change handler",
         [](K& k) {
             k.combo.AddItem("abx");
             k.combo.onTextChanged = [&k] { ComboAutoComplete(k.combo); };
             k.UserTypes("a");
             const std::string completed = Shown(k);
             k.UserTypes("z");
             return completed + " " + Shown(k);
         },
         " => abx 1+2 az 2+0"},
        {"list",
         [](K& k) {
             for (int32_t index : {2, 2, -1, 1}) k.list.SetSelectedIndex(index);
             EXPECT_THROW(k.list.SetSelectedIndex(3), RuntimeError);
             k.UserClicksLine(1, MouseButton::Left);  // already selected: no selection change
             k.UserClicksLine(2, MouseButton::Right);
             k.UserDoubleClicksLine(0);
             const std::string lines = k.list.LineText(1) + "," + k.list.LineText(3) + k.list.LineText(-1);
             k.list.Clear();  // fires nothing
             return lines + " " + std::to_string(k.list.SelectedIndex());
         },
         "click click click click up:left click up:right click up:left dblclick up:left => line 2, -1"},
        {"buttons and menu items only while enabled and shown",
         [](K& k) {
             k.UserClicksButton();
             k.UserChoosesMenuItem();
             k.button.SetEnabled(false);
             k.menuItem.SetEnabled(false);
             k.UserClicksButton();
             k.UserChoosesMenuItem();
             k.menuItem.SetEnabled(true);
             k.menuItem.SetVisible(false);
             k.UserChoosesMenuItem();
             k.popup.Popup();
             return std::to_string(k.PopupShown());
         },
         "button menu => 1"},
    };
    for (const auto& [what, run, expected] : rows) {
        Wired<K> wired;
        const std::string result = run(wired.kit);
        std::string shown;
        for (const std::string& e : wired.events) shown += (shown.empty() ? "" : " ") + e;
        EXPECT_EQ(shown + " => " + result, expected) << what;
    }
}

class QtAdapterLifetime : public test::ProgramFixture {
  protected:
    QtAdapterLifetime() {
        Platform().desktop = &desktop_;
        Program().AppParentDir = logs_.path() + "/";
    }
    test::TempDir logs_;
    test::ScriptedDesktop desktop_;
};

// Neither adapter nor widget outliving the other calls into what is gone, the drop-down is no focus
// loss, and a throwing handler is reported once and does not escape into Qt.
TEST_F(QtAdapterLifetime, NothingCallsIntoWhatIsGoneOrLetsAFailureEscapeIntoQt) {
    auto* box = new QComboBox;
    qt::QtComboBox combo(box);
    delete box;
    EXPECT_THROW(combo.SetText("x"), RuntimeError);
    QListWidget list;
    list.addItem("1 http://example.org/ : 2024-12-06 10:00:00 : 42");
    int clicks = 0;
    {
        qt::QtListBox adapter(&list);
        adapter.onClick = [&] { ++clicks; };
    }
    list.setCurrentRow(0);
    EXPECT_EQ(clicks, 0);
    qt::QtComboBox field(new QComboBox(&list));
    field.onLostFocus = [&] { ++clicks; };
    QFocusEvent toPopup(QEvent::FocusOut, Qt::PopupFocusReason);  // opening the drop-down is not leaving
    QCoreApplication::sendEvent(list.findChild<QComboBox*>(), &toPopup);
    EXPECT_EQ(clicks, 0);

    qt::QtListBox adapter(&list);
    adapter.onClick = [] { throw RuntimeError(vberr::InternalError); };
    EXPECT_NO_THROW(adapter.SetSelectedIndex(-1));
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_NE(desktop_.messages[0].text.find("QtControls:Click"), std::string::npos);
}

}  // namespace
}  // namespace loftwick
