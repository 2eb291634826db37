#include "qt/QtMainWindowHost.h"

#include <QCoreApplication>
#include <QTimer>

#include "app/frmMain.h"
#include "qt/QtDesktop.h"
#include "qt/QtMainWindow.h"
#include "results/clsBrowser.h"

namespace loftwick::qt {

QtMainWindowHost::QtMainWindowHost(QtDesktop& desktop) : desktop_(desktop) {}

QtMainWindowHost::~QtMainWindowHost() {
    model_.reset();
    delete window_.data();
}

void QtMainWindowHost::ShowMainWindow() {
    // The browser object lives as long as the program, across restarts of the window.
    if (!browser_) browser_ = std::make_unique<clsBrowser>();
    auto* window = new QtMainWindow;
    window_ = window;
    window->SetBrowser(browser_.get());
    model_ = std::make_unique<frmMain>(window->Controls(), *window, browser_.get());
    window->SetModel(model_.get());
    desktop_.SetOwner(window);
    model_->Form_Load();
    window->ShowFitted();
}

void QtMainWindowHost::UnloadMainWindow() {
    if (!window_) return;
    QtMainWindow* window = window_.data();
    window_.clear();
    desktop_.SetOwner(nullptr);
    window->SetModel(nullptr);
    window->CloseForRelease();
    // The model may be on the call stack (its unload runs this): both go once the event loop is back.
    frmMain* model = model_.release();
    QTimer::singleShot(0, window, [window, model] {
        delete model;
        window->deleteLater();
    });
    // Main may open a new window right after this; only when none follows does the program end.
    QTimer::singleShot(0, this, [this] {
        if (!HasMainWindow()) QCoreApplication::quit();
    });
}

}  // namespace loftwick::qt

namespace loftwick::qt {

bool QtMainWindowHost::HasMainWindow() const { return !window_.isNull(); }
QtMainWindow* QtMainWindowHost::Window() const { return window_.data(); }

}  // namespace loftwick::qt
