#include "qt/QtMainWindow.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <tuple>

#include "app/frmMain.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "qt/QtAboutWindow.h"
#include "qt/QtControls.h"
#include "qt/QtDesktop.h"
#include "qt/QtTestApp.h"
#include "results/clsBrowser.h"
#include "support/Program.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

// The real window on its model, loaded as the program loads it; each test shows it its own way.
struct LoadedWindow {
    qt::QtMainWindow window;
    frmMain model{window.Controls(), window, nullptr};
    LoadedWindow() {
        window.SetModel(&model);
        model.Form_Load();
    }
    ~LoadedWindow() { window.SetModel(nullptr); }
    LoadedWindow(const LoadedWindow&) = delete;
    LoadedWindow& operator=(const LoadedWindow&) = delete;
};

class QtMainWindowTest : public test::ProgramFixture {
  protected:
    QtMainWindowTest() {
        Platform().desktop = &desktop_;
        Program().IniFileName = dir_ / "loftwick.ini";
        Program().ProxyType = 1;
        builder::WinProxyCache cache(dir_ / "cache");
        Program().CacheDir = cache.CacheDir();
        const char* hosts[] = {"www.example.com", "images.example.org", "news.example.net"};
        for (int i = 0; i < 30; ++i) {
            builder::WinProxyObject o;
            o.host = hosts[i % 3];
            o.url = "http://" + o.host + "/section" + std::to_string(i % 4) + "/page-" + std::to_string(i) +
                    ".html";
            o.Header("Date", builder::HttpDate(1733479200 - i * 7200)).Header("Content-Type", "text/html");
            o.content = builder::Content::Sized(1000 + static_cast<uint64_t>(i) * 37);
            cache.Add(o);
        }
    }
    template <class T>
    static T* Find(const QObject& in, const char* caption) {
        for (T* found : in.findChildren<T*>())
            if (found->text() == caption) return found;
        return nullptr;
    }
    static void ShowActive(QWidget& window) {
        window.resize(860, 700);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Opens the menu bar's menu `title` with the mouse and clicks its item `caption`, as a user does.
    void ClickMenuItem(QMainWindow& window, const char* title, const char* caption) {
        QMenuBar* bar = window.menuBar();
        for (QAction* top : bar->actions()) {
            if (top->text() != title) continue;
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
            QMenu* menu = top->menu();
            ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(Find<QAction>(*menu, caption)).center());
            return;
        }
        FAIL() << title;
    }

    test::TempDir dir_;
    test::ScriptedDesktop desktop_;
};

// Real key events on the shown window: F2 toggles once per press, and while a drop-down list has the
// keyboard Enter and Escape act on the list only.
TEST_F(QtMainWindowTest, KeysReachTheWindowOnceAndNeverPastAnOpenList) {
    LoadedWindow loaded;
    auto& [window, model] = loaded;
    ShowActive(window);
    window.Controls().cboHostFilter->AddItem("news");
    window.Controls().cboHostFilter->SetText("example");
    auto* host = window.findChildren<QComboBox*>().at(1);
    host->setFocus();
    int exits = 0, scans = 0;
    window.Controls().cmdExit->onClick = [&] { ++exits; };
    window.Controls().cmdOK->onClick = [&] { ++scans; };
    struct Row {
        bool listOpen;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::string after;  // the field's selection, scans and exits
    };
    const Row rows[] = {
        {false, Qt::Key_F2, {}, "example 0 0"},
        {false, Qt::Key_F2, {}, " 0 0"},
        {false, Qt::Key_F2, Qt::ShiftModifier, " 0 0"},  // F2 alone, no modifier
        {true, Qt::Key_Escape, {}, " 0 0"},
        {true, Qt::Key_Return, {}, " 0 0"},
        {false, Qt::Key_Return, {}, " 1 0"},
        {false, Qt::Key_Escape, {}, " 1 1"},
    };
    for (const Row& row : rows) {
        if (row.listOpen) host->showPopup();
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_EQ(popup != nullptr, row.listOpen);
        QTest::keyClick(popup ? popup->focusWidget() : QApplication::focusWidget(), row.key, row.modifiers);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(host->lineEdit()->selectedText().toStdString() + " " + std::to_string(scans) + " " +
                      std::to_string(exits),
                  row.after);
    }

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
}

// While a Save All lets events run, the user presses Escape, clicks the close box, Go!, Preview and
// the commands that would start another command or a new window: the window stays, nothing starts, the
// save stops at its next object; afterwards every command is back.
TEST_F(QtMainWindowTest, SaveAllRefusesClosingAndEveryStartingCommandWhileItRuns) {
    LoadedWindow loaded;
    auto& [window, model] = loaded;
    ShowActive(window);
    dir_.MakeDirs("saves");
    window.Controls().txtTempDir->SetText(dir_ / "saves/");
    // Typed and started with Enter, the filter joins its history without ever leaving its field.
    auto* url = window.findChildren<QComboBox*>().at(2);
    url->setFocus();
    QTest::keyClicks(url, "example");
    QTest::keyClick(url, Qt::Key_Return);
    ASSERT_EQ(model.Results().Count(), 30);
    // The picture after the scan is kept under build/ for people to look at.
    const QString folder = QString(LOFTWICK_BINARY_DIR) + "/screenshots";
    QDir().mkpath(folder);
    EXPECT_TRUE(window.grab().toImage().save(folder + "/main-window.png"));
    EXPECT_EQ(window.Controls().cboURLFilter->ItemText(0), "example");
    EXPECT_TRUE(url->hasFocus());
    window.Controls().lstStatus->SetSelectedIndex(3);

    int scans = 0, changes = 0, polls = 0;
    window.Controls().cmdOK->onClick = [&] { ++scans; };
    window.Controls().mnuChangeProxyType->onClick = [&] { ++changes; };
    desktop_.onDoEvents = [&] {
        clock_.AdvanceMilliseconds(50);  // past the window's throttle, so every object polls
        if (++polls != 3) return;
        for (const char* caption : {"Go!", "Preview"}) {
            EXPECT_FALSE(Find<QPushButton>(window, caption)->isEnabled()) << caption;
            QTest::mouseClick(Find<QPushButton>(window, caption), Qt::LeftButton);
        }
        for (const char* caption :
             {"Open", "Save As...", "Save All to single temp dir", "Export All as WARC...",
              "Delete selected file from cache", "Change Type of Proxy Server"}) {
            EXPECT_FALSE(Find<QAction>(window, caption)->isEnabled()) << caption;
        }
        ClickMenuItem(window, "&Tools", "Change Type of Proxy Server");
        QTest::keyClick(&window, Qt::Key_Escape);
        window.close();
        EXPECT_TRUE(window.isVisible());
    };
    clock_.AdvanceMilliseconds(50);
    ClickMenuItem(window, "File", "Save All to single temp dir");
    EXPECT_EQ(scans, 0);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(model.Results().Count(), 30);
    EXPECT_EQ(window.Controls().lblStatus->Caption(), "Saved 2 of 30 files, 0 failed, stopped");
    EXPECT_TRUE(Find<QPushButton>(window, "Go!")->isEnabled());
    EXPECT_TRUE(Find<QAction>(window, "Open")->isEnabled());
    EXPECT_TRUE(Find<QAction>(window, "Change Type of Proxy Server")->isEnabled());

    desktop_.onDoEvents = nullptr;
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
        auto& [window, model] = loaded;
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
        model.SaveSettings();
        EXPECT_EQ(QRect(std::stoi(GetIniValue("Persistence", "WindowLeft", "")),
                        std::stoi(GetIniValue("Persistence", "WindowTop", "")),
                        std::stoi(GetIniValue("Persistence", "WindowWidth", "")),
                        std::stoi(GetIniValue("Persistence", "WindowHeight", ""))),
                  kept);
    }
}

}  // namespace
}  // namespace loftwick
