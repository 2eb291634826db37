// The window program: Qt, the real seams, then Main. The program ends when no main window is left.
#include <QApplication>

#include "app/basMain.h"
#include "qt/QtDesktop.h"
#include "qt/QtMainWindowHost.h"
#include "support/Clock.h"
#include "support/PosixFileSystem.h"
#include "support/Program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    loftwick::qt::QtDesktop desktop;
    loftwick::PosixFileSystem fileSystem;
    loftwick::SystemClock clock;
    loftwick::Platform() = {&desktop, &fileSystem, &clock};

    int rc = 0;
    {
        loftwick::qt::QtMainWindowHost host(desktop);
        loftwick::SetMainWindowHost(&host);
        loftwick::SetExecutablePath(QCoreApplication::applicationFilePath().toStdString());
        loftwick::Main();
        if (host.HasMainWindow()) rc = app.exec();
        loftwick::SetMainWindowHost(nullptr);
    }
    loftwick::Platform() = {};
    return rc;
}
