// What the Qt adapters must do beyond the shared contract: the filter field's completion working in a
// real QComboBox, the drop-down that is no focus loss, and adapters outliving widgets or failing handlers.
#include "qt/QtControls.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
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
        box_ = new QComboBox(&window_);
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

    QWidget window_;
    QComboBox* box_;
    std::unique_ptr<qt::QtComboBox> combo_;
    qt::QtFocusTracker focus_;
};

// Qt's own combo box behaviour (its inline completer, its handling of edits) must not get in the way.
TEST_F(QtFilterField, CompletionIsShownInTheWidgetAndBackspaceOrTheNextKeyRemovesIt) {
    combo_->AddItem("abx");
    combo_->AddItem("AB");
    Type("ab");
    EXPECT_EQ(Shown(), "abx");
    EXPECT_EQ(box_->lineEdit()->selectedText(), "x");
    Type("z");
    EXPECT_EQ(Shown(), "abz");
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

// ---- Lifetimes

TEST(QtAdapterLifetime, NeitherAdapterNorWidgetOutlivingTheOtherCallsIntoWhatIsGone) {
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
    EXPECT_NE(desktop_.messages.at(0).text.find("QtControls:Click"), std::string::npos);
}

}  // namespace
}  // namespace loftwick
