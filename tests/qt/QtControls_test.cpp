// What the Qt adapters must do beyond the shared contract: the filter field's completion working in a
// real QComboBox, the drop-down that is no focus loss, and adapters outliving widgets or failing handlers.
#include "qt/QtControls.h"

#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QTest>
#include <memory>

#include "QtTestApp.h"
#include "app/basKeyboard.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

// A filter field wired the way the main window wires it: key preview first (HandleKeyDown), then the
// keystroke reaches the field, whose change handler completes. Qt's own combo box behaviour (its
// inline completer, its handling of edits) must not get in the way.
TEST(QtFilterField, CompletionIsShownInTheWidgetAndBackspaceOrTheNextKeyRemovesIt) {
    QWidget window;
    auto* box = new QComboBox(&window);
    qt::QtComboBox combo(box);
    qt::QtFocusTracker focus;
    focus.Track(box, &combo);
    int lost = 0;
    combo.onTextChanged = [&] { ComboAutoComplete(combo); };
    combo.onLostFocus = [&] { ++lost; };
    window.show();
    const auto type = [&](const char* keys) {
        for (const char* c = keys; *c; ++c) {
            const bool back = *c == '\b';
            HandleKeyDown(back ? keycode::Backspace : static_cast<int16_t>(*c & ~0x20), 0, focus);
            back ? QTest::keyClick(box->lineEdit(), Qt::Key_Backspace)
                 : QTest::keyClicks(box->lineEdit(), QString(*c));
        }
        return box->lineEdit()->text() + "|" + box->lineEdit()->selectedText();
    };
    combo.AddItem("abx");
    combo.AddItem("AB");
    EXPECT_EQ(type("ab"), "abx|x");
    EXPECT_EQ(type("z"), "abz|");
    combo.SetText("");
    EXPECT_EQ(type("ab\b"), "ab|");
    EXPECT_EQ(combo.SelectedIndex(), -1);

    QFocusEvent toPopup(QEvent::FocusOut, Qt::PopupFocusReason);  // opening the drop-down is not leaving
    QCoreApplication::sendEvent(box, &toPopup);
    EXPECT_EQ(lost, 0);
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

// Neither adapter nor widget outliving the other calls into what is gone, and a throwing handler is
// reported once and does not escape into Qt.
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

    qt::QtListBox adapter(&list);
    adapter.onClick = [] { throw RuntimeError(vberr::InternalError); };
    EXPECT_NO_THROW(adapter.SetSelectedIndex(-1));
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_NE(desktop_.messages[0].text.find("QtControls:Click"), std::string::npos);
}

}  // namespace
}  // namespace loftwick
