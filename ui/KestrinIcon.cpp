#include "KestrinIcon.h"

#include <QPixmap>

#include "icons/kestrin16.xpm"
#include "icons/kestrin32.xpm"

namespace kestrin {

QIcon KestrinIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap(kestrin32_xpm));
    icon.addPixmap(QPixmap(kestrin16_xpm));
    return icon;
}

}  // namespace kestrin
