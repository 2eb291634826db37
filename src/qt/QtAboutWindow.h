#pragma once
#include <QDialog>
#include <QPointer>
#include <memory>
#include <string>

#include "about/frmAbout.h"
#include "qt/QtControls.h"

class QLabel;
class QPushButton;

namespace loftwick {
class clsBrowser;
}

namespace loftwick::qt {

// The About window: the frmAbout model over Qt widgets. Not modal; it deletes itself when closed.
class QtAboutWindow final : public QDialog, private frmAboutWindow {
  public:
    QtAboutWindow(clsBrowser& browser, QWidget* parent = nullptr);
    ~QtAboutWindow() override;

    // Shows the About window, loading it first; a window that is already open is brought to the front,
    // as a second "About" shows the one window again.
    static QtAboutWindow* ShowAbout(clsBrowser& browser, QWidget* parent);

    frmAbout& Model() { return *model_; }
    QLabel* LinkLabel() const { return link_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SetCaption(const std::string& caption) override;
    void Unload() override;

    QLabel* link_ = nullptr;
    // Adapters before the model: the model lets go of their handlers when it is destroyed.
    std::unique_ptr<QtLabel> lblTitle_, lblVersion_, lblDescription_, lblDisclaimer_, lblHomePage_,
        lnkHomePage_;
    std::unique_ptr<QtButton> cmdOK_, cmdSysInfo_;
    std::unique_ptr<frmAbout> model_;
};

}  // namespace loftwick::qt
