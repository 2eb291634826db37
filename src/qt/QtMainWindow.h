#pragma once
#include <QMainWindow>
#include <QRect>
#include <memory>
#include <vector>

#include "app/frmMainControls.h"

class QLabel;

namespace loftwick {
class frmMain;
class clsBrowser;
class Control;
class PopupMenu;
}  // namespace loftwick

namespace loftwick::qt {

class QtFocusTracker;

// The main window's widgets, laid out in the rows and groups of the window model, with an adapter per
// control. The widgets only forward events to the model (frmMain) and show what it says.
class QtMainWindow final : public QMainWindow, public frmMainShell {
    Q_OBJECT
  public:
    QtMainWindow();
    ~QtMainWindow() override;

    const frmMainControls& Controls() const { return controls_; }
    // The model the window forwards its events to; set once after both exist.
    void SetModel(frmMain* model) { model_ = model; }
    void SetBrowser(clsBrowser* browser) { browser_ = browser; }

    void SetCaption(const std::string& caption) override;
    void RequestClose() override;
    void ShowAbout() override;
    WindowPlacement Placement() const override;
    void SetPlacement(const WindowPlacement& placement) override;

    // Shows the window where SetPlacement put it (else centred at its own size), maximised when it was,
    // always inside the available area of its screen.
    void ShowFitted();

    // Closes for good without asking the model (the program is taking the window down).
    void CloseForRelease();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    template <class Adapter, class Widget>
    Adapter* Adapt(Widget* widget);
    void BuildMenus();
    void BuildLayout();

    frmMainControls controls_{};
    std::vector<std::unique_ptr<loftwick::Control>> adapters_;
    std::unique_ptr<loftwick::PopupMenu> popup_;
    std::unique_ptr<QtFocusTracker> focus_;
    frmMain* model_ = nullptr;
    clsBrowser* browser_ = nullptr;
    bool releasing_ = false;
    QRect placed_;
    bool maximized_ = false;
};

// `wanted` moved and shrunk as little as needed to lie inside `available`.
QRect FitInto(const QRect& wanted, const QRect& available);

// Key codes of the classic keyboard handling for a Qt key, and the shift-state bits.
int16_t ClassicKeyCode(int qtKey);
int16_t ClassicShiftState(Qt::KeyboardModifiers modifiers);

}  // namespace loftwick::qt
