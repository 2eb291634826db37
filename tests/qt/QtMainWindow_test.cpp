#include "qt/QtMainWindow.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

#include "app/frmMain.h"
#include "cachebuilder/DescriptionFile.h"
#include "qt/QtAboutWindow.h"
#include "qt/QtControls.h"
#include "qt/QtDesktop.h"
#include "qt/QtTestApp.h"
#include "results/clsBrowser.h"
#include "support/FaultFileSystem.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

// The real window on its model, loaded as the program loads it.
struct LoadedWindow {
    qt::QtMainWindow window;
    frmMain model{window.Controls(), window, nullptr};
    const frmMainControls& c = window.Controls();
    LoadedWindow() {
        window.SetModel(&model);
        model.Form_Load();
    }
    ~LoadedWindow() { window.SetModel(nullptr); }
};

class QtMainWindowTest : public test::ProgramFixture {
  protected:
    QtMainWindowTest() {
        Platform().desktop = &desktop_;
        Program().IniFileName = dir_ / "loftwick.ini";
        Program().ProxyType = 1;
        Program().AppParentDir = dir_.path() + "/";
        std::ifstream description(std::string(LOFTWICK_SOURCE_DIR) + "/tests/qt/golden/cache.txt");
        builder::BuildFromDescription(description, dir_ / "cache");
        Program().CacheDir = dir_ / "cache/";
    }
    template <class T>
    static T* Find(const QObject& in, const char* caption) {
        for (T* found : in.findChildren<T*>())
            if (found->text() == caption) return found;
        return nullptr;
    }
    // Opens the menu that holds the item `caption` with the mouse and clicks the item, as a user does.
    static void ClickMenuItem(QMainWindow& window, const char* caption) {
        QAction* item = Find<QAction>(window, caption);
        auto* menu = static_cast<QMenu*>(item->parent());
        QTest::mouseClick(window.menuBar(), Qt::LeftButton, {},
                          window.menuBar()->actionGeometry(menu->menuAction()).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }

    test::TempDir dir_;
    test::ScriptedDesktop desktop_;
};

// One session with real keys and mouse clicks, then the next session and one whose settings file cannot
// be read, which is never replaced. The earlier session's settings come back: a gap or forty entries end
// a history, a stored temporary folder that is gone gives way to the private one.
TEST_F(QtMainWindowTest, OneSessionPlayedThroughAndTheNext) {
    WriteIniValue("DataBase", "Host1", "zweite \xC3\xA9 = \"quoted\"");
    WriteIniValue("DataBase", "Host3", "after the gap");
    for (int i = 1; i <= 45; ++i)
        WriteIniValue("DataBase", "URL" + std::to_string(i), "u" + std::to_string(i));
    WriteIniValue("Persistence", "TempDir", dir_ / "vanished");
    test::ScopedEnv xdg("XDG_CACHE_HOME", dir_.path());
    dir_.MakeDirs("saves");
    std::optional<LoadedWindow> session(std::in_place);
    auto& [window, model, c] = *session;
    window.resize(860, 700);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(c.cboHostFilter->ListCount(), 1);
    EXPECT_EQ(c.cboHostFilter->ItemText(0), "zweite \xC3\xA9 = \"quoted\"");
    EXPECT_EQ(c.cboURLFilter->ListCount(), 40);
    EXPECT_EQ(c.txtTempDir->Text(), dir_ / "loftwick/");
    c.txtTempDir->SetText(dir_ / "saves/");

    // Typed and started with Enter, the filter joins its history without ever leaving its field.
    auto* url = window.findChildren<QComboBox*>().at(2);
    url->setFocus();
    QTest::keyClicks(url, "example");
    QTest::keyClick(url, Qt::Key_Return);
    ASSERT_EQ(model.Results().Count(), 5);
    // The picture after the scan is kept under build/ for people to look at.
    QDir().mkpath(QString(LOFTWICK_BINARY_DIR) + "/screenshots");
    EXPECT_TRUE(window.grab().toImage().save(QString(LOFTWICK_BINARY_DIR) + "/screenshots/main-window.png"));
    EXPECT_EQ(c.cboURLFilter->ItemText(0), "example");
    EXPECT_TRUE(url->hasFocus());

    // While a Save All lets events run, the user presses Escape, clicks the close box, Go!, Preview and
    // the commands that would start another command or a new window: the window stays, nothing starts,
    // the save stops at its next object; afterwards every command is back.
    const Control* const busy[] = {c.cmdOK,      c.cmdPreview,    c.mnuFileOpen,   c.mnuFileSave,
                                   c.mnuSaveAll, c.mnuExportWarc, c.mnuFileDelete, c.mnuChangeProxyType};
    int scans = 0, exits = 0, changes = 0, polls = 0;
    const auto scan = std::exchange(c.cmdOK->onClick, [&] { ++scans; });
    const auto exit = std::exchange(c.cmdExit->onClick, [&] { ++exits; });
    c.mnuChangeProxyType->onClick = [&] { ++changes; };
    desktop_.onDoEvents = [&] {
        clock_.AdvanceMilliseconds(50);  // past the window's throttle, so every object polls
        if (++polls != 3) return;
        EXPECT_EQ(std::ranges::count_if(busy, &Control::Enabled), 0);
        for (const char* caption : {"Go!", "Preview"})
            QTest::mouseClick(Find<QPushButton>(window, caption), Qt::LeftButton);
        ClickMenuItem(window, "Change Type of Proxy Server");
        QTest::keyClick(&window, Qt::Key_Escape);
        window.close();
        EXPECT_TRUE(window.isVisible());
    };
    c.lstStatus->SetSelectedIndex(3);
    clock_.AdvanceMilliseconds(50);
    ClickMenuItem(window, "Save All to single temp dir");
    desktop_.onDoEvents = nullptr;
    // The menu whose item was refused is still open; Escape closes it and nothing else.
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    EXPECT_EQ(scans + exits + changes, 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(model.Results().Count(), 5);
    EXPECT_EQ(c.lblStatus->Caption(), "Saved 2 of 5 files, 0 failed, stopped");
    EXPECT_EQ(std::ranges::count_if(busy, &Control::Enabled), std::ssize(busy));

    // F2 toggles once per press, and while a drop-down list has the keyboard Enter and Escape act on the
    // list only. Each row: the keys pressed ("list " first: with the list open), then the field's
    // selection, the scans and the exits.
    auto* host = window.findChildren<QComboBox*>().at(1);
    c.cboHostFilter->SetText("example");
    host->setFocus();
    const std::pair<std::string, std::string> keys[] = {
        {"F2", "example 0 0"},   {"F2", " 0 0"},     {"Shift+F2", " 0 0"}, {"list Esc", " 0 0"},
        {"list Return", " 0 0"}, {"Return", " 1 0"}, {"Esc", " 1 1"},
    };
    for (const auto& [pressed, after] : keys) {
        const bool listOpen = pressed.starts_with("list ");
        if (listOpen) host->showPopup();
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_EQ(popup != nullptr, listOpen);
        QTest::keySequence(popup ? popup->focusWidget() : QApplication::focusWidget(),
                           QKeySequence(qt::ToQt(pressed.substr(listOpen ? 5 : 0))));
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(host->lineEdit()->selectedText().toStdString() + " " + std::to_string(scans) + " " +
                      std::to_string(exits),
                  after);
    }
    c.cmdOK->onClick = scan;
    c.cmdExit->onClick = exit;

    // Every command says in the status line what came of it, a failure naming the object and the reason,
    // and shows one error box at most, however many of its objects fail.
    c.chkDeleteOld->SetValue(1);
    QTest::mouseClick(Find<QPushButton>(window, "Preview"), Qt::LeftButton);
    EXPECT_EQ(c.lstStatus->LineText(c.lstStatus->ListCount() - 1),
              "OK! 5 of 5 files selected, 0 seconds (preview: nothing was changed)");
    EXPECT_EQ(std::ranges::count_if(std::filesystem::recursive_directory_iterator(dir_ / "cache"),
                                    [](const auto& entry) { return entry.is_regular_file(); }),
              5);
    c.chkDeleteOld->SetValue(0);
    c.lstStatus->SetSelectedIndex(0);
    c.txtTempDir->SetText(dir_ / "copy.html/");
    // Each row: the command, the file chosen, the start of the status line and the error boxes so far.
    const std::tuple<const char*, std::optional<std::string>, std::string, size_t> commands[] = {
        {"Save As...", {}, "Cancelled", 0},
        {"Save As...", dir_ / "copy.html", "Saved to " + (dir_ / "copy.html"), 0},
        {"Export All as WARC...", dir_ / "out.warc.gz", "Exported 5 objects to " + (dir_ / "out.warc.gz"), 0},
        {"Export list as CSV...", dir_ / "out.csv", "Exported 5 records to " + (dir_ / "out.csv"), 0},
        {"Delete selected file from cache", {}, "Deleted " + (dir_ / "cache/"), 0},
        {"Save As...", dir_ / "again.html", "Could not save http://", 1},
        {"Save All to single temp dir", {}, "Saved 0 of 5 files, 5 failed; ", 2},
    };
    for (const auto& [caption, fileAnswer, start, boxes] : commands) {
        desktop_.fileDialogAnswers = {fileAnswer};
        ClickMenuItem(window, caption);
        const std::string status = c.lblStatus->Caption();
        EXPECT_TRUE(status.starts_with(start)) << status;
        EXPECT_EQ(desktop_.messages.size(), boxes) << status;
    }
    EXPECT_NE(desktop_.messages[0].text.find(": "), std::string::npos) << "a reason follows";
    EXPECT_GT(std::filesystem::file_size(dir_ / "copy.html"), 1000u);
    EXPECT_EQ(std::ranges::count(test::ReadRealFile(dir_ / "out.csv"), '\n'), 6);  // a heading, a line each
    EXPECT_NE(c.lblStatus->Caption().find("More errors: 4"), std::string::npos) << c.lblStatus->Caption();

    // A message box opened from the About box gives the keyboard back to the About box.
    clsBrowser browser;
    qt::QtDesktop qtDesktop;
    qtDesktop.SetOwner(&window);
    qt::QtAboutWindow* about = qt::QtAboutWindow::ShowAbout(browser, &window);
    about->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == about; }));
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    qtDesktop.MessageBox("System Information Is Unavailable At This Time", "Loftwick", MsgIcon::Information);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == about; }));
    about->close();

    c.txtTempDir->SetText(dir_ / "saves/");
    c.chkDecodeContent->SetValue(0);
    model.SetDirPrev("/some/folder/");
    QTest::mouseClick(Find<QPushButton>(window, "Exit"), Qt::LeftButton);
    session.emplace();
    EXPECT_EQ(session->c.cboURLFilter->ItemText(0), "example");
    EXPECT_EQ(session->c.cboHostFilter->ItemText(1), "zweite \xC3\xA9 = \"quoted\"");
    EXPECT_EQ(session->c.txtTempDir->Text(), dir_ / "saves/");
    EXPECT_EQ(session->c.chkDecodeContent->Value(), 0);
    EXPECT_EQ(session->model.DirPrev(), "/some/folder/");

    const std::string before = dir_.ReadFile("loftwick.ini");
    test::FaultFileSystem faults;
    faults.FailPath(FsOp::OpenRead, "loftwick.ini", EIO);
    Platform().fileSystem = &faults;
    session.emplace();
    session->c.cmdExit->onClick();
    EXPECT_EQ(dir_.ReadFile("loftwick.ini"), before);
}
// The window comes back where it was left, but never beyond the screen's available area, however
// large or far off the stored placement (a larger screen or scale factor last time, or a hand edit).
TEST_F(QtMainWindowTest, PlacementIsRememberedAndAlwaysFitsTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect small(screen.topLeft() + QPoint(40, 30), QSize(660, 420));
    enum class Expect { Kept, FillsTheScreen, InTheCorner, KeptMaximized };
    const std::vector<std::tuple<QRect, bool, Expect>> rows = {
        {small, false, Expect::Kept},
        {QRect(screen.left() - 500, screen.top() - 300, 3000, 2000), false, Expect::FillsTheScreen},
        {QRect(screen.right() - 100, screen.bottom() - 50, 660, 300), false, Expect::InTheCorner},
        {small, true, Expect::KeptMaximized},
    };
    for (const auto& [stored, maximized, expect] : rows) {
        SCOPED_TRACE(static_cast<int>(expect));
        WriteIniValues({{"Persistence", "WindowLeft", std::to_string(stored.x())},
                        {"Persistence", "WindowTop", std::to_string(stored.y())},
                        {"Persistence", "WindowWidth", std::to_string(stored.width())},
                        {"Persistence", "WindowHeight", std::to_string(stored.height())},
                        {"Persistence", "WindowMaximized", maximized ? "1" : "0"}});
        LoadedWindow loaded;
        qt::QtMainWindow& window = loaded.window;
        window.ShowFitted();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_EQ(window.isMaximized(), maximized);
        EXPECT_TRUE(screen.contains(window.frameGeometry()));
        if (expect == Expect::Kept) {
            EXPECT_EQ(window.geometry(), stored);
        } else if (expect == Expect::FillsTheScreen) {
            EXPECT_EQ(window.frameGeometry(), screen);
        } else if (expect == Expect::InTheCorner) {
            EXPECT_EQ(window.frameGeometry().bottomRight(), screen.bottomRight());
            EXPECT_EQ(window.size(), stored.size());
        }
        // A maximised window keeps the place it returns to.
        const QRect kept = expect == Expect::KeptMaximized ? stored : window.geometry();
        loaded.model.SaveSettings();
        const auto saved = [](const char* name) { return std::stoi(GetIniValue("Persistence", name, "")); };
        EXPECT_EQ(QRect(saved("WindowLeft"), saved("WindowTop"), saved("WindowWidth"), saved("WindowHeight")),
                  kept);
    }
}

// Neither adapter nor widget outliving the other calls into what is gone, the drop-down is no focus
// loss, and a throwing handler is reported once and does not escape into Qt.
TEST_F(QtMainWindowTest, NothingCallsIntoWhatIsGoneOrLetsAFailureEscapeIntoQt) {
    qt::QtComboBox combo(std::make_unique<QComboBox>().get());  // the widget is gone at once
    EXPECT_THROW(combo.SetText("x"), RuntimeError);
    QListWidget list;
    list.addItem("1 http://example.org/ : 2024-12-06 10:00:00 : 42");
    int clicks = 0;
    std::optional<qt::QtListBox> adapter(std::in_place, &list);
    adapter->onClick = [&] { ++clicks; };
    adapter.reset();
    list.setCurrentRow(0);
    qt::QtComboBox field(new QComboBox(&list));
    field.onLostFocus = [&] { ++clicks; };
    QFocusEvent toPopup(QEvent::FocusOut, Qt::PopupFocusReason);  // opening the drop-down is not leaving
    QCoreApplication::sendEvent(list.findChild<QComboBox*>(), &toPopup);
    EXPECT_EQ(clicks, 0);

    adapter.emplace(&list);
    adapter->onClick = [] { throw RuntimeError(vberr::InternalError); };
    EXPECT_NO_THROW(adapter->SetSelectedIndex(-1));
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_NE(desktop_.messages[0].text.find("QtControls:Click"), std::string::npos);
}

}  // namespace
}  // namespace loftwick
