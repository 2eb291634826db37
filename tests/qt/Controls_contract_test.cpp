// One table of behaviour (golden/Controls.txt) played on the in-memory controls and on the Qt adapters,
// so that the window models see the same controls in tests, in loftwick-scan and on screen; then what
// the Qt adapters must do beyond it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <cctype>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "app/basKeyboard.h"
#include "qt/QtControls.h"
#include "support/MemoryControls.h"
#include "support/RuntimeError.h"
#include "support/TableCheck.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

// ---- The two kits: one control of each kind, and what a user does to them.

struct MemoryKit {
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
    void UserPresses(int16_t key) { key == keycode::Delete ? combo.PressDelete() : combo.PressBackspace(); }
    void UserLeavesCombo() { combo.LoseFocus(); }
    void UserClicksLine(int32_t index, MouseButton b) { list.ClickLine(index, b); }
    void UserDoubleClicksLine(int32_t index) { list.DoubleClickLine(index); }
    void UserClicksButton() { button.Click(); }
    void UserChoosesMenuItem() { menuItem.Click(); }
    bool PopupShown() const { return popup.popupCount > 0; }
};

class QtKit {
    std::unique_ptr<QWidget> window_ = std::make_unique<QWidget>();
    QListWidget* listWidget_ = new QListWidget(window_.get());
    QMenu* menu_ = new QMenu(window_.get());
    QAction* action_ = menu_->addAction("item");

  public:
    // Declared after the window: destroyed first, while their widgets still exist.
    qt::QtLabel label{new QLabel(window_.get())};
    qt::QtTextBox textBox{new QLineEdit(window_.get())};
    qt::QtCheckBox checkBox{new QCheckBox(window_.get())};
    qt::QtComboBox combo{new QComboBox(window_.get())};
    qt::QtListBox list{listWidget_};
    qt::QtButton button{new QPushButton(window_.get())};
    qt::QtMenuItem menuItem{action_};
    qt::QtPopupMenu popup{menu_};
    qt::QtProgressBar progress{new QProgressBar(window_.get())};

    QtKit() {
        window_->resize(400, 300);
        listWidget_->setGeometry(0, 100, 300, 200);
        window_->show();
    }
    ~QtKit() { menu_->hide(); }

    // A keystroke that brings its text, as an input method may.
    void UserTypes(const std::string& text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, qt::ToQt(text));
        QCoreApplication::sendEvent(combo.widget()->lineEdit(), &press);
    }
    void UserPresses(int16_t key) {
        QTest::keyClick(combo.widget()->lineEdit(),
                        key == keycode::Backspace ? Qt::Key_Backspace : Qt::Key_Delete);
    }
    void UserLeavesCombo() {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(combo.widget(), &out);
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
    void UserClicksButton() { button.widget()->click(); }
    void UserChoosesMenuItem() { action_->trigger(); }
    bool PopupShown() const { return menu_->isVisible(); }

  private:
    QPointF At(int32_t index) const { return listWidget_->visualItemRect(listWidget_->item(index)).center(); }
};

// One row on a fresh kit: its actions in turn, the handlers and the reads writing to one log.
template <class Kit>
class Row {
  public:
    explicit Row(const std::string& wiring) {
        focus_.active = &k_.combo;
        const bool filter = wiring == "filter";
        k_.combo.onTextChanged = [this, filter] { filter ? ComboAutoComplete(k_.combo) : Log("change"); };
        k_.combo.onLostFocus = [this, filter] { filter ? ComboAddToHistory(k_.combo) : Log("lostfocus"); };
        k_.list.onClick = [this] { Log("click"); };
        k_.list.onDoubleClick = [this] { Log("dblclick"); };
        k_.list.onMouseUp = [this](MouseButton b) { Log(b == MouseButton::Right ? "up:right" : "up:left"); };
        k_.button.onClick = [this] { Log("button"); };
        k_.menuItem.onClick = [this] { Log("menu"); };
        for (const char* line : {"line 1", "line 2", "line 3"}) k_.list.AddLine(line);
    }

    std::string Play(const std::string& actions) {
        std::istringstream in(actions);
        for (std::string verb; in >> verb;) {
            std::string arg;
            std::getline(in >> std::ws, arg, ';');
            if (!arg.empty() && arg.back() == ' ') arg.pop_back();
            try {
                Do(verb, arg, arg.substr(std::min(arg.size(), arg.find(' ') + 1)));
            } catch (const RuntimeError&) {
                Log("refused");
            }
        }
        return log_;
    }

  private:
    void Log(const std::string& entry) {
        log_ += (log_.empty() ? "" : " ") + (entry.empty() ? "\"\"" : entry);
    }
    void Log(int64_t number) { Log(std::to_string(number)); }
    // The window's key preview sees every key before the focused control does.
    void Key(int16_t code, int16_t shift = 0) { HandleKeyDown(code, shift, focus_); }

    // `rest` is what follows the first number of `arg`.
    void Do(const std::string& verb, const std::string& arg, const std::string& rest) {
        ComboBox& combo = k_.combo;
        if (verb == "f2") return Key(keycode::F2, static_cast<int16_t>(arg.empty() ? 0 : std::stoi(arg)));
        if (verb == "progress")
            return k_.progress.SetProgress(std::stoll(arg), std::stoll(rest)), Log(k_.progress.Percent());
        if (verb == "textbox") return k_.textBox.SetText(arg), Log(k_.textBox.SelStart());
        if (verb == "text") return combo.SetText(arg);
        if (verb == "sel") return combo.SetSelStart(std::stoi(arg)), combo.SetSelLength(std::stoi(rest));
        if (verb == "leave") return k_.UserLeavesCombo();
        if (verb == "insert") return combo.InsertItem(std::stoi(arg), rest);
        if (verb == "remove") return combo.RemoveItem(std::stoi(arg));
        if (verb == "choose") return combo.SetSelectedIndex(std::stoi(arg));
        if (verb == "data") return combo.SetItemData(std::stoi(arg), std::stoi(rest));
        if (verb == "select") return k_.list.SetSelectedIndex(std::stoi(arg));
        if (verb == "clearlist") return k_.list.Clear();
        if (verb == "click" || verb == "rclick")
            return k_.UserClicksLine(std::stoi(arg),
                                     verb == "click" ? MouseButton::Left : MouseButton::Right);
        if (verb == "dblclick") return k_.UserDoubleClicksLine(std::stoi(arg));
        if (verb == "button") return k_.UserClicksButton();
        if (verb == "menu") return k_.UserChoosesMenuItem();
        if (verb == "disable")
            return arg == "button" ? k_.button.SetEnabled(false) : k_.menuItem.SetEnabled(false);
        if (verb == "enable") return k_.menuItem.SetEnabled(true);
        if (verb == "hide") return k_.menuItem.SetVisible(false);
        if (verb == "popup") return k_.popup.Popup(), Log(k_.PopupShown());
        if (verb == "combo")
            return Log(combo.Text() + " " + std::to_string(combo.SelStart()) + "+" +
                       std::to_string(combo.SelLength()));
        if (verb == "picked") return Log(combo.SelectedIndex());
        if (verb == "line") return Log(k_.list.LineText(std::stoi(arg)));
        if (verb == "row") return Log(k_.list.SelectedIndex());
        if (verb == "entries") {
            combo.Clear();
            combo.SetText("");
            std::istringstream entries(arg);
            for (std::string entry; std::getline(entries, entry, ',');) combo.AddItem(entry);
        } else if (verb == "keys") {
            for (size_t at = 0; at < arg.size(); at += utf8::CharSize(arg, at)) {
                const auto c = static_cast<unsigned char>(arg[at]);
                Key(static_cast<int16_t>(std::isalpha(c) ? std::toupper(c) : 0));
                k_.UserTypes(arg.substr(at, utf8::CharSize(arg, at)));
            }
        } else if (verb == "backspace" || verb == "delete") {
            Key(verb == "delete" ? keycode::Delete : keycode::Backspace);
            k_.UserPresses(verb == "delete" ? keycode::Delete : keycode::Backspace);
        } else if (verb == "captions") {
            const auto set = [&](auto&... controls) { (controls.SetCaption(arg), ...); };
            set(k_.label, k_.checkBox, k_.button, k_.menuItem);
            k_.textBox.SetText(arg);
            k_.progress.SetText(arg);
            k_.list.SetToolTipText(arg);
            for (const std::string& got :
                 {k_.label.Caption(), k_.checkBox.Caption(), k_.button.Caption(), k_.menuItem.Caption(),
                  k_.textBox.Text(), k_.progress.Text(), k_.list.ToolTipText()})
                if (got != arg) Log(got);
        } else if (verb == "history") {
            std::string entries;
            for (int32_t i = 0; i < combo.ListCount(); ++i) entries += (i ? "," : "") + combo.ItemText(i);
            Log(entries);
        } else {
            ADD_FAILURE() << "unknown action " << verb;
        }
    }

    Kit k_;
    MemoryFocusTracker focus_;
    std::string log_;
};

template <class Kit>
class ControlsContract : public test::ProgramFixture {};
using Kits = ::testing::Types<MemoryKit, QtKit>;
TYPED_TEST_SUITE(ControlsContract, Kits);

TYPED_TEST(ControlsContract, Table) {
    const auto play = [](const std::string& wiring, const std::string& actions) {
        return Row<TypeParam>(wiring).Play(actions);
    };
    EXPECT_GE(test::CheckTable("qt/golden/Controls.txt", play), 25);
}

}  // namespace
}  // namespace loftwick
