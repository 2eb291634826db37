#pragma once
#include <QObject>
#include <QPointer>

#include "app/basMain.h"

class QMainWindow;

namespace loftwick::qt {

class QtDesktop;

// Creates and takes down the main window for Main. When the window is closed by the user, the close
// goes through ReleaseProgram, which ends the program or, after a restart request, opens a new window.
class QtMainWindowHost final : public QObject, public MainWindowHost {
    Q_OBJECT
public:
    explicit QtMainWindowHost(QtDesktop& desktop) : desktop_(desktop) {}
    ~QtMainWindowHost() override;

    void ShowMainWindow() override;
    void UnloadMainWindow() override;
    bool HasMainWindow() const override { return !window_.isNull(); }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QtDesktop& desktop_;
    QPointer<QMainWindow> window_;
    bool unloading_ = false;
};

}  // namespace loftwick::qt
