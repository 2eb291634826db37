#include "qt/QtMainWindowHost.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>

#include "qt/QtDesktop.h"
#include "support/Program.h"

namespace loftwick::qt {

QtMainWindowHost::~QtMainWindowHost() { delete window_.data(); }

void QtMainWindowHost::ShowMainWindow() {
    auto* window = new QMainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setWindowTitle(QString::fromUtf8(Program().AppTitle.c_str()));
    auto* label = new QLabel(QString::fromUtf8((Program().CacheDir).c_str()), window);
    label->setAlignment(Qt::AlignCenter);
    window->setCentralWidget(label);
    window->resize(720, 480);
    window->installEventFilter(this);
    window_ = window;
    desktop_.SetOwner(window);
    window->show();
}

void QtMainWindowHost::UnloadMainWindow() {
    if (!window_) return;
    unloading_ = true;
    QMainWindow* window = window_.data();
    window_.clear();
    desktop_.SetOwner(nullptr);
    window->removeEventFilter(this);
    window->close();
    window->deleteLater();
    unloading_ = false;
}

bool QtMainWindowHost::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == window_.data() && !unloading_) {
        // The user closed the window: the program's release step decides what follows.
        static_cast<QCloseEvent*>(event)->ignore();
        ReleaseProgram();
        if (!HasMainWindow()) QCoreApplication::quit();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace loftwick::qt
