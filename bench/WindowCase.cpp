#include "WindowCase.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "app/frmMain.h"
#include "qt/QtDesktop.h"
#include "qt/QtMainWindow.h"
#include "support/Program.h"

namespace loftwick::bench {
namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct ScanWatch {
    double firstLineMs = -1;  // -1: no line came
    double longestWaitMs = 0;
    long long lines = 0;
};

// One press of "Go!" on a window over `cacheDir`. A timer that wants to run every millisecond notes how
// long the event loop kept it waiting; the list's model notes when the first line arrived.
ScanWatch PressGo(const std::string& cacheDir) {
    Program().ProxyType = 1;
    Program().CacheDir = cacheDir;
    qt::QtMainWindow window;
    frmMain model(window.Controls(), window, nullptr);
    window.SetModel(&model);
    model.Form_Load();
    window.show();
    QApplication::processEvents();
    QListWidget* list = window.findChild<QListWidget*>();

    ScanWatch watch;
    Clock::time_point pressed{}, lastTick{};
    bool scanning = false;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        if (scanning) watch.longestWaitMs = std::max(watch.longestWaitMs, MsBetween(lastTick, now));
        lastTick = now;
    });
    if (list) {
        QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&] {
            if (scanning && watch.firstLineMs < 0) watch.firstLineMs = MsBetween(pressed, Clock::now());
        });
    }
    ticker.start();
    // Pressed straight from here: the scan itself lets the events run, and only then can the ticker
    // fire, so its gaps are the scan's.
    QApplication::processEvents();
    pressed = lastTick = Clock::now();
    scanning = true;
    model.cmdOK_Click();
    watch.longestWaitMs = std::max(watch.longestWaitMs, MsBetween(lastTick, Clock::now()));
    scanning = false;
    ticker.stop();
    watch.lines = list ? list->count() : 0;
    return watch;
}

}  // namespace

CaseFigures MeasureWindow(const std::string& demoCacheDir, const std::string& bigCacheDir) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "scan_bench";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    qt::QtDesktop desktop;
    Platform().desktop = &desktop;
    Program().IniFileName.clear();  // no settings are read or written

    CaseFigures figures;
    figures.firstLineMs = PressGo(demoCacheDir).firstLineMs;
    const ScanWatch big = PressGo(bigCacheDir);
    figures.starvedMs = big.longestWaitMs;
    figures.windowLines = big.lines;
    Platform().desktop = nullptr;
    return figures;
}

}  // namespace loftwick::bench
