// The window program: Qt, the real seams, then Main. The program ends when no main window is left.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <iostream>

#include "app/basMain.h"
#include "qt/QtDesktop.h"
#include "qt/QtMainWindowHost.h"
#include "support/Clock.h"
#include "support/PosixFileSystem.h"
#include "support/Program.h"
#include "support/basUtils.h"

namespace {

void DescribeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        "Manages the disk cache of a caching web proxy (WinProxy 1.4, WinGate 4 or Squid): finds cached "
        "objects "
        "by content type, host, URL, words in their contents and age, lists them, re-stamps file times, sets "
        "a "
        "time-to-live, deletes, and opens, inspects and saves copies. Without options it opens its window.");
    parser.addHelpOption();
    parser.addVersionOption();
}

// --help and --version are answered on a core application, before any window system is reached: they
// work without a display (the man page is made from them while building). The usage line names the
// program as it was started.
bool AnsweredWithoutWindow(int argc, char** argv) {
    QCommandLineParser parser;
    DescribeCommandLine(parser);
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    // Qt's own options (-platform, -style, ...) are not known yet: errors wait for the window's parse.
    parser.parse(args);
    const bool help = parser.isSet("help") && !parser.isSet("help-all");
    if (!help && !parser.isSet("version")) return false;
    QCoreApplication app(argc, argv);
    parser.parse(QCoreApplication::arguments());
    if (help) {
        std::cout << parser.helpText().toStdString();
    } else {
        std::cout << QCoreApplication::applicationName().toStdString() << ' '
                  << QCoreApplication::applicationVersion().toStdString() << '\n';
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName("loftwick");
    QCoreApplication::setApplicationVersion(QString::fromStdString(loftwick::GetVersion()));
    if (AnsweredWithoutWindow(argc, argv)) return 0;

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    {
        // Qt has taken its own options out: anything left that is not the program's is a usage error
        // (reported and exit status 1), and --help-all lists Qt's options too.
        QCommandLineParser parser;
        DescribeCommandLine(parser);
        parser.process(app);
    }

    loftwick::qt::QtDesktop desktop;
    loftwick::PosixFileSystem fileSystem;
    loftwick::SystemClock clock;
    loftwick::Platform() = {&desktop, &fileSystem, &clock};

    int rc = 0;
    {
        loftwick::qt::QtMainWindowHost host(desktop);
        loftwick::SetMainWindowHost(&host);
        loftwick::Program().ExecutablePath = QCoreApplication::applicationFilePath().toStdString();
        loftwick::Main();
        if (host.HasMainWindow()) rc = app.exec();
        loftwick::SetMainWindowHost(nullptr);
    }
    loftwick::Platform() = {};
    return rc;
}
