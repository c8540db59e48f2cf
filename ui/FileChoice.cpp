#include "FileChoice.h"

#include <QMimeData>
#include <QUrl>

namespace kestrin {

FileDialogRequest FileDialogRequestFor(PathBox box) {
    const FileDialogRule rule = FileDialogRuleFor(box);
    return {rule.mode,
            QString::fromUtf16(rule.title),
            QString::fromUtf16(rule.filterName),
            QString::fromUtf16(rule.filterPattern),
            QString::fromUtf16(rule.defaultExtension),
            QString()};
}

QStringList DroppedFilePaths(const QMimeData& data) {
    QStringList paths;
    if (!data.hasUrls()) return paths;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) return {};
        paths.append(url.toLocalFile());
    }
    return paths;
}

}  // namespace kestrin
