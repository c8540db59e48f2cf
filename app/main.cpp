#include <QApplication>

#include "KestrinIcon.h"
#include "QtDesktop.h"
#include "Version.h"
#include "frmKestrin.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrin");
    QApplication::setApplicationVersion(kestrin::kVersion);
    QApplication::setWindowIcon(kestrin::KestrinIcon());
    kestrin::QtDesktop desktop;
    kestrin::frmKestrin window(desktop);
    window.show();
    return QApplication::exec();
}
