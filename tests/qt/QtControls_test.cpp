// What the Qt adapters must do beyond the shared contract: the filter field's completion working in a
// real QComboBox, focus tracking for F2, the Enter and Escape roles, and adapters outliving widgets.
#include "qt/QtControls.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>
#include <memory>

#include "QtTestApp.h"
#include "app/basKeyboard.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

// A shown window with one filter field wired the way the main window wires it: key preview first
// (HandleKeyDown), then the keystroke reaches the field, whose change handler completes.
class QtFilterField : public ::testing::Test {
  protected:
    QtFilterField() {
        LastKeyCode = 0;
        window_.resize(300, 100);
        box_ = new QComboBox(&window_);
        other_ = new QLineEdit(&window_);
        other_->move(0, 50);
        combo_ = std::make_unique<qt::QtComboBox>(box_);
        combo_->onTextChanged = [this] { ComboAutoComplete(*combo_); };
        combo_->onLostFocus = [this] { ComboAddToHistory(*combo_); };
        focus_.Track(box_, combo_.get());
        window_.show();
    }

    void Key(int16_t keyCode, int qtKey, const QString& text = {}) {
        HandleKeyDown(keyCode, 0, focus_);
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
        QCoreApplication::sendEvent(box_->lineEdit(), &press);
    }
    void Type(const char* letters) {
        for (const char* c = letters; *c; ++c) {
            const char upper = static_cast<char>(*c & ~0x20);
            Key(upper, Qt::Key_A + (upper - 'A'), QString(QChar(*c)));
        }
    }
    QString Shown() const { return box_->lineEdit()->text(); }
    QString Highlighted() const { return box_->lineEdit()->selectedText(); }

    QWidget window_;
    QComboBox* box_;
    QLineEdit* other_;
    std::unique_ptr<qt::QtComboBox> combo_;
    qt::QtFocusTracker focus_;
};

// Qt's own combo box behaviour (its inline completer, its handling of edits) must not get in the way.
TEST_F(QtFilterField, CompletionIsShownInTheWidgetAndBackspaceOrTheNextKeyRemovesIt) {
    combo_->AddItem("abx");
    combo_->AddItem("AB");
    Type("ab");
    EXPECT_EQ(Shown(), "abx");
    EXPECT_EQ(Highlighted(), "x");
    EXPECT_EQ(box_->currentIndex(), 0);
    Type("z");
    EXPECT_EQ(Shown(), "abz");
    EXPECT_EQ(Highlighted(), "");
    combo_->SetText("");
    Type("ab");
    Key(keycode::Backspace, Qt::Key_Backspace);
    EXPECT_EQ(Shown(), "ab");
    EXPECT_EQ(combo_->SelectedIndex(), -1);
}

TEST_F(QtFilterField, OpeningTheDropDownIsNotLeavingTheField) {
    int lost = 0;
    combo_->onLostFocus = [&] { ++lost; };
    QFocusEvent toPopup(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(box_, &toPopup);
    EXPECT_EQ(lost, 0);
}

TEST_F(QtFilterField, F2TogglesTheSelectionOfTheFocusedField) {
    QApplication::setActiveWindow(&window_);
    box_->setFocus();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(focus_.ActiveTextControl(), combo_.get());
    combo_->SetText("a filter text");
    Key(keycode::F2, Qt::Key_F2);
    EXPECT_EQ(Highlighted(), "a filter text");
    Key(keycode::F2, Qt::Key_F2);
    EXPECT_EQ(Highlighted(), "");

    other_->setFocus();
    EXPECT_EQ(focus_.ActiveTextControl(), nullptr);
}

// ---- Buttons

class QtButtonRoles : public ::testing::Test {
  protected:
    QtButtonRoles() : widget_(new QPushButton("Exit", &window_)), button_(widget_) {
        button_.onClick = [this] { ++clicks_; };
    }
    // The shortcuts the adapter made for its roles, by key.
    QShortcut* ShortcutFor(Qt::Key key) {
        for (QShortcut* shortcut : widget_->findChildren<QShortcut*>()) {
            if (shortcut->key() == QKeySequence(key)) return shortcut;
        }
        return nullptr;
    }

    QWidget window_;
    QPushButton* widget_;
    qt::QtButton button_;
    int clicks_ = 0;
};

TEST_F(QtButtonRoles, EscapePressesTheCancelButtonAndTheDefaultRoleTakesBothEnterKeys) {
    button_.SetCancel(true);
    QShortcut* escape = ShortcutFor(Qt::Key_Escape);
    ASSERT_NE(escape, nullptr);
    EXPECT_EQ(escape->context(), Qt::WindowShortcut);  // anywhere in the window
    window_.show();
    emit escape->activated();
    widget_->setEnabled(false);
    emit escape->activated();
    EXPECT_EQ(clicks_, 1);

    button_.SetCancel(false);
    button_.SetDefault(true);
    button_.SetDefault(true);  // a second call adds no second shortcut
    EXPECT_NE(ShortcutFor(Qt::Key_Return), nullptr);
    EXPECT_NE(ShortcutFor(Qt::Key_Enter), nullptr);
    EXPECT_EQ(widget_->findChildren<QShortcut*>().size(), 2);
    button_.SetDefault(false);
    EXPECT_TRUE(widget_->findChildren<QShortcut*>().isEmpty());
}

// ---- Lifetimes

TEST(QtAdapterLifetime, NeitherAdapterNorWidgetOutlivingTheOtherCallsIntoWhatIsGone) {
    auto* box = new QComboBox;
    qt::QtComboBox combo(box);
    delete box;
    try {
        combo.SetText("x");
        ADD_FAILURE() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), vberr::ObjectNotSet);
    }
    QListWidget list;
    list.addItem("1 http://example.org/ : 2024-12-06 10:00:00 : 42");
    int clicks = 0;
    {
        qt::QtListBox adapter(&list);
        adapter.onClick = [&] { ++clicks; };
    }
    list.setCurrentRow(0);
    EXPECT_EQ(clicks, 0);
}

class QtHandlerFailure : public test::ProgramFixture {
  protected:
    QtHandlerFailure() {
        Platform().desktop = &desktop_;
        Program().AppParentDir = logs_.path() + "/";
    }
    test::TempDir logs_;
    test::ScriptedDesktop desktop_;
};

TEST_F(QtHandlerFailure, AThrowingHandlerIsReportedAndDoesNotEscapeIntoQt) {
    QListWidget list;
    list.addItem("line");
    qt::QtListBox adapter(&list);
    adapter.onClick = [] { throw RuntimeError(vberr::InternalError); };
    EXPECT_NO_THROW(adapter.SetSelectedIndex(0));
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_NE(desktop_.messages[0].text.find("QtControls:Click"), std::string::npos);
}

}  // namespace
}  // namespace loftwick
