#include <QApplication>
#include <QByteArrayList>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "GothicFont.h"
#include "KestrinIcon.h"
#include "QtDesktop.h"
#include "Version.h"
#include "frmKestrin.h"

int main(int argc, char** argv) {
    // --help and --version only print, so they need no display.
    for (int i = 1; i < argc; ++i) {
        if (QByteArrayList{"-h", "--help", "--help-all", "-v", "--version"}.contains(argv[i]))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Kestrin");  // where the settings live
    QApplication::setApplicationName("Kestrin");
    QApplication::setApplicationVersion(kestrin::kVersion);
    QGuiApplication::setDesktopFileName(KESTRIN_APP_ID);
    QApplication::setWindowIcon(kestrin::KestrinIcon());
    // Message boxes, menus and file dialogs are windows of their own: they take the
    // window's face only from the application.
    QApplication::setFont(kestrin::GothicFont());

    QCommandLineParser parser;
    parser.setApplicationDescription("Tallies the http:// URLs of a text log.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("LOGFILE", "The log, named as if dropped on the window.",
                                 "[LOGFILE]");
    parser.process(app);
    const QStringList logs = parser.positionalArguments();
    if (logs.size() > 1) {
        std::fputs("kestrin: one LOGFILE at most\n", stderr);
        return 2;
    }

    kestrin::QtDesktop desktop;
    kestrin::frmKestrin window(desktop);
    // A dropped file arrives as an absolute path; so does a named one.
    if (!logs.isEmpty())
        window.OpenLog(QDir::cleanPath(QFileInfo(logs.front()).absoluteFilePath()));
    window.show();
    return QApplication::exec();
}
