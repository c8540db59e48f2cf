#include "GothicFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace kestrin {

QFont GothicFont() {
    // Same-width Japanese gothic faces, the one the layout was drawn with first.
    static const QStringList kFaces = {
        QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
        QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Noto Sans CJK JP")};
    QFont font;
    font.setPointSize(9);
    for (const QString& face : kFaces) {
        if (QFontDatabase::hasFamily(face)) {
            font.setFamily(face);
            return font;
        }
    }
    font.setFamilies(kFaces);  // let the font matcher find a substitute
    return font;
}

}  // namespace kestrin
