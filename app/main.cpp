#include <QApplication>

#include "KestrinIcon.h"
#include "QtDesktop.h"
#include "frmKestrin.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrin");
    QApplication::setApplicationVersion("0.3");
    QApplication::setWindowIcon(kestrin::KestrinIcon());
    kestrin::QtDesktop desktop;
    kestrin::frmKestrin window(desktop);
    window.show();
    return QApplication::exec();
}
