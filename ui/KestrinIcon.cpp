#include "KestrinIcon.h"

// The resources sit in a static library: nothing would pull them into the program
// unless they are registered by name, which cannot be done inside a namespace.
static void RegisterIcons() {
    Q_INIT_RESOURCE(kestrin);
}

namespace kestrin {

QIcon KestrinIcon() {
    RegisterIcons();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kestrin-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace kestrin
