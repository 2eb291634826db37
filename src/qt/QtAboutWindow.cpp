#include "qt/QtAboutWindow.h"

#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "support/basErrorHandler.h"

namespace loftwick::qt {
namespace {

QPointer<QtAboutWindow> gOpenWindow;

QLabel* NewLabel(const char* text, QWidget* parent, bool wrap = false) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setTextFormat(Qt::PlainText);  // texts come from language files, never markup
    label->setWordWrap(wrap);
    return label;
}

}  // namespace

QtAboutWindow::QtAboutWindow(clsBrowser& browser, QWidget* parent) : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("About MyApp"));

    QLabel* title = NewLabel("Loftwick", this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);
    QLabel* version = NewLabel("Version", this);
    QLabel* description = NewLabel("App Description", this, true);
    description->setMinimumWidth(360);
    QLabel* disclaimer = NewLabel("Warning: ...", this, true);
    QLabel* homePage = NewLabel("Web Home Page:", this);
    link_ = NewLabel("", this);
    // A label that behaves as a link: pointer, colour, underline, and the keyboard can reach it.
    link_->setCursor(Qt::PointingHandCursor);
    link_->setFocusPolicy(Qt::StrongFocus);
    link_->setStyleSheet(QStringLiteral("color: palette(link); text-decoration: underline;"));
    link_->installEventFilter(this);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* sysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    // Enter presses OK, Escape closes the dialog: the dialog's own roles.
    ok->setDefault(true);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(homePage);
    linkRow->addWidget(link_, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);
    buttons->addStretch(1);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(version);
    texts->addSpacing(8);
    texts->addWidget(description);
    texts->addStretch(1);
    texts->addWidget(line);
    texts->addWidget(disclaimer);
    texts->addLayout(linkRow);

    auto* all = new QHBoxLayout(this);
    all->addLayout(texts, 1);
    all->addSpacing(12);
    all->addLayout(buttons);

    lblTitle_ = std::make_unique<QtLabel>(title);
    lblVersion_ = std::make_unique<QtLabel>(version);
    lblDescription_ = std::make_unique<QtLabel>(description);
    lblDisclaimer_ = std::make_unique<QtLabel>(disclaimer);
    lblHomePage_ = std::make_unique<QtLabel>(homePage);
    lnkHomePage_ = std::make_unique<QtLabel>(link_);
    cmdOK_ = std::make_unique<QtButton>(ok);
    cmdSysInfo_ = std::make_unique<QtButton>(sysInfo);
    frmAboutWindow& window = *this;
    model_ = std::make_unique<frmAbout>(
        window,
        frmAboutControls{*lblTitle_, *lblVersion_, *lblDescription_, *lblDisclaimer_, *lblHomePage_,
                         *lnkHomePage_, *cmdOK_, *cmdSysInfo_},
        browser);
    model_->Form_Load();
}

QtAboutWindow::~QtAboutWindow() {
    link_->removeEventFilter(this);
    model_.reset();
}

QtAboutWindow* QtAboutWindow::ShowAbout(clsBrowser& browser, QWidget* parent) {
    if (!gOpenWindow) gOpenWindow = new QtAboutWindow(browser, parent);
    gOpenWindow->show();
    gOpenWindow->raise();
    gOpenWindow->activateWindow();
    return gOpenWindow.data();
}

bool QtAboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != link_ || !model_) return QDialog::eventFilter(watched, event);
    bool clicked = false;
    if (event->type() == QEvent::MouseButtonRelease) {
        clicked = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        clicked = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    if (!clicked) return QDialog::eventFilter(watched, event);
    // Nothing may escape into Qt's event loop.
    TrappedVoid("frmAbout:lnkHomePage_Click", "", [this] { model_->lnkHomePage_Click(); });
    return true;
}

void QtAboutWindow::SetCaption(const std::string& caption) { setWindowTitle(ToQt(caption)); }

// Deferred by Qt (the window deletes itself once the event loop is back), so a handler of the model may
// call this and return safely.
void QtAboutWindow::Unload() { close(); }

}  // namespace loftwick::qt
