#pragma once
#include <QObject>
#include <QPointer>
#include <memory>

#include "app/basMain.h"

namespace loftwick {
class frmMain;
class clsBrowser;
}  // namespace loftwick

namespace loftwick::qt {

class QtDesktop;
class QtMainWindow;

// Creates and takes down the main window for Main: the Qt window and the window model on its controls.
// When the last window is gone for good, the program ends.
class QtMainWindowHost final : public QObject, public MainWindowHost {
    Q_OBJECT
  public:
    explicit QtMainWindowHost(QtDesktop& desktop);
    ~QtMainWindowHost() override;

    void ShowMainWindow() override;
    void UnloadMainWindow() override;
    bool HasMainWindow() const override;

    QtMainWindow* Window() const;
    frmMain* Model() const { return model_.get(); }

  private:
    QtDesktop& desktop_;
    std::unique_ptr<clsBrowser> browser_;
    QPointer<QtMainWindow> window_;
    std::unique_ptr<frmMain> model_;
};

}  // namespace loftwick::qt
