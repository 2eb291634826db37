#include "qt/QtMainWindow.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "app/frmMain.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "qt/QtAboutWindow.h"
#include "qt/QtDesktop.h"
#include "qt/QtTestApp.h"
#include "results/clsBrowser.h"
#include "support/Program.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/WebBrowser.h"

namespace loftwick {
namespace {

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
            o.url = "http://" + o.host + "/section" + std::to_string(i % 4) + "/page-" + std::to_string(i) + ".html";
            o.Header("Date", builder::HttpDate(1733479200 - i * 7200)).Header("Content-Type", "text/html");
            o.content = builder::Content::Sized(1000 + static_cast<uint64_t>(i) * 37);
            cache.Add(o);
        }
    }
    test::TempDir dir_;
    test::ScriptedDesktop desktop_;
};

// Renders the real window offscreen after a scan; the picture is kept under build/ for people to look at.
TEST_F(QtMainWindowTest, WindowRendersWithEveryControlAfterAScan) {
    qt::QtMainWindow window;
    frmMain model(window.Controls(), window, nullptr);
    window.SetModel(&model);
    model.Form_Load();
    window.resize(860, 700);
    window.show();
    model.cmdOK_Click();

    const QImage image = window.grab().toImage();
    ASSERT_EQ(image.size(), QSize(860, 700));
    // Not blank: a rendered window has many distinct colours (text, frames, the selected summary).
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 20);

    const QString folder = QString(LOFTWICK_BINARY_DIR) + "/screenshots";
    QDir().mkpath(folder);
    EXPECT_TRUE(image.save(folder + "/main-window.png"));

    auto* list = window.findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 31);
    EXPECT_EQ(list->currentRow(), 30);
    EXPECT_EQ(list->item(30)->text().toStdString(), "OK! 30 of 30 files selected, 0 seconds");
    window.SetModel(nullptr);
}

// Real key events on the shown window: F2 toggles once per press, and while a drop-down list has the
// keyboard Enter and Escape act on the list only.
TEST_F(QtMainWindowTest, KeysReachTheWindowOnceAndNeverPastAnOpenList) {
    qt::QtMainWindow window;
    frmMain model(window.Controls(), window, nullptr);
    window.SetModel(&model);
    model.Form_Load();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.Controls().cboHostFilter->AddItem("news");
    window.Controls().cboHostFilter->SetText("example");
    auto* host = qobject_cast<QComboBox*>(window.findChildren<QComboBox*>().at(1));
    ASSERT_NE(host, nullptr);
    host->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    EXPECT_EQ(host->lineEdit()->selectedText().toStdString(), "example");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    EXPECT_EQ(host->lineEdit()->selectedText().toStdString(), "");

    int exits = 0, scans = 0;
    window.Controls().cmdExit->onClick = [&] { ++exits; };
    window.Controls().cmdOK->onClick = [&] { ++scans; };
    host->showPopup();
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(QApplication::activePopupWidget()->focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    host->showPopup();
    QTest::keyClick(QApplication::activePopupWidget()->focusWidget(), Qt::Key_Return);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(exits, 0);
    EXPECT_EQ(scans, 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(scans, 1);

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
    window.SetModel(nullptr);
}

// Local pages through the real desktop: the first $BROWSER command that starts gets the page's URL; when
// none starts (no xdg-settings, no usual browser on the PATH), every browser tried is named.
TEST_F(QtMainWindowTest, LocalPagesOpenInTheBrowserTheBrowserVariableNames) {
    dir_.WriteFile("bin/fake-browser",
                   "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && /bin/mv \"$0.tmp\" \"$0.args\"\n");
    std::filesystem::permissions(dir_ / "bin/fake-browser", std::filesystem::perms::owner_all);
    dir_.WriteFile("page one.html", "<p>page</p>");
    test::ScopedEnv path("PATH", dir_ / "bin");
    const std::string fake = dir_ / "bin/fake-browser --new-tab %s";
    test::ScopedEnv browser("BROWSER", dir_ / "no-such-browser:" + fake);
    qt::QtDesktop desktop;
    const BrowserStart start = desktop.OpenInBrowser(dir_ / "page one.html");
    EXPECT_TRUE(start.started);
    EXPECT_EQ(start.tried, (std::vector<std::string>{dir_ / "no-such-browser", fake}));
    for (int i = 0; i < 200 && !dir_.Exists("bin/fake-browser.args"); ++i) QTest::qWait(25);
    EXPECT_EQ(dir_.ReadFile("bin/fake-browser.args"), "--new-tab\n" + FileUrl(dir_ / "page one.html") + "\n");

    test::ScopedEnv nowhere("PATH", dir_ / "empty");
    test::ScopedEnv missing("BROWSER", "fake-browser");
    const BrowserStart none = desktop.OpenInBrowser(dir_ / "page one.html");
    EXPECT_FALSE(none.started);
    EXPECT_EQ(none.tried, (std::vector<std::string>{"fake-browser", "x-www-browser", "sensible-browser",
                                                    "firefox", "chromium", "google-chrome"}));
}

TEST_F(QtMainWindowTest, KeysMapToTheClassicCodes) {
    EXPECT_EQ(qt::ClassicKeyCode(Qt::Key_Delete), 46);
    EXPECT_EQ(qt::ClassicKeyCode(Qt::Key_F2), 113);
    EXPECT_EQ(qt::ClassicKeyCode(Qt::Key_A), 65);
    EXPECT_EQ(qt::ClassicShiftState(Qt::ShiftModifier | Qt::AltModifier), 5);
}

}  // namespace
}  // namespace loftwick
