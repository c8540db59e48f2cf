#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "GothicFont.h"
#include "KestrinIcon.h"
#include "QtDesktop.h"
#include "Version.h"
#include "frmKestrin.h"

namespace {

constexpr const char* kHelp =
    "usage: kestrin [LOGFILE]\n"
    "\n"
    "Opens the window that tallies the first http:// URL of every line of a log and\n"
    "writes each distinct URL with its count. LOGFILE names the log at the start, as\n"
    "a file dropped on the window does. kestrin-cut does the same from a terminal.\n"
    "\n"
    "  -h, --help            this text\n"
    "  -V, -v, --version     the version\n"
    "  --                    ends the options: the argument after it is the LOGFILE\n"
    "\n"
    "Exit status: 0 once the window is closed, 1 when it cannot be opened, 2 usage\n"
    "error.\n";

enum class Action { OpenWindow, ShowHelp, ShowVersion, UsageError };

struct Arguments {
    Action action = Action::OpenWindow;
    std::optional<std::string> log;
    std::string problem;  // what is wrong, for a usage error
};

Arguments Only(Action action, std::string problem = {}) {
    Arguments arguments;
    arguments.action = action;
    arguments.problem = std::move(problem);
    return arguments;
}

// By hand rather than with QCommandLineParser, which needs the QApplication and so a
// display: asking for the help or the version, or mistyping an option, must work
// anywhere. As in kestrin-cut, the first of --help, --version or a mistake wins.
Arguments ParseArguments(int argc, char** argv) {
    Arguments arguments;
    std::vector<std::string> logs;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            logs.emplace_back(arg);
            continue;
        }
        const std::string_view name =
            arg.substr(0, arg.starts_with("--") ? arg.find('=') : arg.npos);
        const bool known = name == "-h" || name == "--help" || name == "-V" || name == "-v" ||
                           name == "--version" || name == "--";
        if (!known) return Only(Action::UsageError, "unknown option " + std::string(name));
        if (name.size() != arg.size())
            return Only(Action::UsageError, std::string(name) + " takes no value");
        if (name == "--") {
            optionsEnded = true;
        } else if (name == "-h" || name == "--help") {
            return Only(Action::ShowHelp);
        } else {
            return Only(Action::ShowVersion);
        }
    }
    if (logs.size() > 1) return Only(Action::UsageError, "one LOGFILE at most");
    if (!logs.empty()) arguments.log = logs.front();
    return arguments;
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// What kept the window from opening, told in the terms of what Qt picks its platform
// by: QT_QPA_PLATFORM when set, else the display variables.
std::string NoWindowReason() {
    const std::string platform = EnvironmentValue("QT_QPA_PLATFORM");
    const std::string display = EnvironmentValue("DISPLAY");
    const std::string wayland = EnvironmentValue("WAYLAND_DISPLAY");
    if (!platform.empty()) return "Qt's platform QT_QPA_PLATFORM=" + platform + " did not start";
    if (display.empty() && wayland.empty()) return "no display (DISPLAY is not set)";
    if (display.empty()) return "no display answers at WAYLAND_DISPLAY=" + wayland;
    return "no display answers at DISPLAY=" + display;
}

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};
std::vector<HeldMessage> heldMessages;

// While Qt starts its platform: a failed start is a fatal message, which would abort
// the program with a core dump after Qt's own lines about plugins; it becomes one
// line saying what to do, and exit status 1. The messages before it are held back
// until the start is known to have worked.
void OnPlatformStartMessage(QtMsgType type, const QMessageLogContext& context,
                            const QString& text) {
    if (type != QtFatalMsg) {
        heldMessages.push_back({type, context.category ? context.category : "", text});
        return;
    }
    const std::string line = "kestrin: cannot open the window: " + NoWindowReason() +
                             "; kestrin-cut tallies logs from a terminal\n";
    std::fputs(line.c_str(), stderr);
    std::_Exit(1);
}

void ReleaseHeldMessages() {
    for (const HeldMessage& message : heldMessages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        qt_message_output(message.type, context, message.text);
    }
    heldMessages.clear();
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = ParseArguments(argc, argv);
    switch (arguments.action) {
        case Action::ShowHelp:
            std::fputs(kHelp, stdout);
            return 0;
        case Action::ShowVersion:
            std::printf("kestrin %s\n", kestrin::kVersion);
            return 0;
        case Action::UsageError:
            std::fprintf(stderr, "kestrin: %s\nTry 'kestrin --help'.\n", arguments.problem.c_str());
            return 2;
        case Action::OpenWindow:
            break;
    }

    // Qt sees no argument of ours: a LOGFILE named like one of its own options
    // (-style, -platform) stays a LOGFILE.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    const QtMessageHandler previousHandler = qInstallMessageHandler(OnPlatformStartMessage);
    QApplication app(qtArgc, qtArgv);
    qInstallMessageHandler(previousHandler);
    ReleaseHeldMessages();

    QApplication::setOrganizationName("Kestrin");  // where the settings live
    QApplication::setApplicationName("Kestrin");
    QApplication::setApplicationVersion(kestrin::kVersion);
    QGuiApplication::setDesktopFileName(KESTRIN_APP_ID);
    QApplication::setWindowIcon(kestrin::KestrinIcon());
    // Message boxes, menus and file dialogs are windows of their own: they take the
    // window's face only from the application.
    QApplication::setFont(kestrin::GothicFont());

    kestrin::QtDesktop desktop;
    kestrin::frmKestrin window(desktop);
    // A dropped file arrives as an absolute path; so does a named one.
    if (arguments.log) {
        const QString log = QFile::decodeName(arguments.log->c_str());
        window.OpenLog(QDir::cleanPath(QFileInfo(log).absoluteFilePath()));
    }
    window.show();
    return QApplication::exec();
}
