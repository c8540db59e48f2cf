#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Arguments.h"
#include "GothicFont.h"
#include "KestrinIcon.h"
#include "QtDesktop.h"
#include "Version.h"
#include "frmKestrin.h"
#include "os/StopSignals.h"

namespace {

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
    const std::vector<std::string> given(argv + std::min(argc, 1), argv + argc);
    const kestrin::Arguments arguments = kestrin::ParseArguments(given);
    if (arguments.action != kestrin::Arguments::Action::OpenWindow) {
        const kestrin::Said said = kestrin::WhatToSay(arguments);
        std::fputs(said.output.c_str(), stdout);
        std::fputs(said.error.c_str(), stderr);
        return said.status;
    }

    // A run cut short by a signal leaves no temporary report, and one past the file
    // size limit says the report could not be saved, as from a terminal.
    kestrin::os::HandleStopSignals();

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
