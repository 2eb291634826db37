#include "qt/QtDesktop.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include "support/WebBrowser.h"

namespace loftwick::qt {
namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

// A modal box belongs to the window that has the keyboard when it opens (the About box, a dialog), not
// always to the main window, and hands the keyboard back to that window when it closes: otherwise the
// next Escape would reach the main window and end the program.
class ModalParent {
  public:
    explicit ModalParent(QWidget* owner) {
        QWidget* active = QApplication::activeModalWidget();
        if (!active) active = QApplication::activeWindow();
        before_ = active;
        parent_ = active ? active : owner;
    }
    ~ModalParent() {
        if (!before_ || !before_->isVisible()) return;
        // Once more after the box's own hiding has run: the window system hands the keyboard to the
        // topmost window, which may be the main window.
        before_->activateWindow();
        QTimer::singleShot(0, before_.data(), [window = before_] {
            if (window && window->isVisible()) window->activateWindow();
        });
    }
    ModalParent(const ModalParent&) = delete;
    ModalParent& operator=(const ModalParent&) = delete;
    QWidget* get() const { return parent_; }

  private:
    QPointer<QWidget> before_;
    QWidget* parent_;
};

QString FilterText(const FileDialogRequest& request) {
    QStringList parts;
    for (const auto& [description, pattern] : request.filters) {
        parts << Q(description) + " (" + Q(pattern) + ")";
    }
    return parts.join(";;");
}

// A program named without a folder is looked for on the PATH; false when it is not there or does not start.
bool StartDetached(const std::vector<std::string>& commandLine) {
    if (commandLine.empty()) return false;
    QString program = Q(commandLine[0]);
    if (!program.contains('/')) program = QStandardPaths::findExecutable(program);
    if (program.isEmpty()) return false;
    QStringList args;
    for (size_t i = 1; i < commandLine.size(); ++i) args << Q(commandLine[i]);
    return QProcess::startDetached(program, args);
}

QString InitialPath(const FileDialogRequest& request) {
    QString folder = request.initialFolder.empty() ? QDir::currentPath() : Q(request.initialFolder);
    return request.fileName.empty() ? folder : QDir(folder).filePath(Q(request.fileName));
}

}  // namespace

void QtDesktop::MessageBox(const std::string& text, const std::string& title, MsgIcon icon) {
    ModalParent parent(owner_);
    QMessageBox box(parent.get());
    box.setWindowTitle(Q(title));
    box.setText(Q(text));
    box.setIcon(icon == MsgIcon::Information   ? QMessageBox::Information
                : icon == MsgIcon::Exclamation ? QMessageBox::Warning
                                               : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

std::optional<std::string> QtDesktop::InputBox(const std::string& prompt, const std::string& title,
                                               const std::string& defaultText) {
    bool ok = false;
    ModalParent parent(owner_);
    const QString answer =
        QInputDialog::getText(parent.get(), Q(title), Q(prompt), QLineEdit::Normal, Q(defaultText), &ok);
    if (!ok) return std::nullopt;
    return S(answer);
}

void QtDesktop::Beep() { QApplication::beep(); }

void QtDesktop::DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool QtDesktop::OpenUrl(const std::string& url) { return QDesktopServices::openUrl(QUrl(Q(url))); }

BrowserStart QtDesktop::OpenInBrowser(const std::string& path) {
    // A local page goes to a web browser itself: handing a saved file to the generic opener could run it
    // if its name ended in an executable type.
    return StartWebBrowser(S(QFileInfo(Q(path)).absoluteFilePath()), SystemBrowserLookup(), StartDetached);
}

bool QtDesktop::OpenDocument(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(Q(path)).absoluteFilePath()));
}

bool QtDesktop::StartProgram(const std::vector<std::string>& commandLine) {
    return StartDetached(commandLine);
}

void QtDesktop::SetClipboardText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(Q(text));
}

std::optional<std::string> QtDesktop::OpenFileDialog(const FileDialogRequest& request) {
    ModalParent parent(owner_);
    const QString path = QFileDialog::getOpenFileName(parent.get(), Q(request.title), InitialPath(request),
                                                      FilterText(request));
    if (path.isEmpty()) return std::nullopt;
    return S(path);
}

std::optional<std::string> QtDesktop::SaveFileDialog(const FileDialogRequest& request) {
    ModalParent parent(owner_);
    const QString path =
        QFileDialog::getSaveFileName(parent.get(), Q(request.title), InitialPath(request),
                                     FilterText(request), nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) return std::nullopt;
    return S(path);
}

void QtDesktop::SetBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace loftwick::qt
