#include "FileChoice.h"

#include <QMimeData>
#include <QUrl>

namespace kestrin {

FileDialogRequest FileDialogRequestFor(PathBox box) {
    if (box == PathBox::Log) {
        // "*" rather than "*.*": here a name need not have a dot to be a file. No
        // default suffix: the open dialog takes only an existing name, as it is.
        return {FileDialogRequest::Mode::Open, "LOG FILE", "ALL", "*", "", ""};
    }
    return {FileDialogRequest::Mode::Save, "SAVE..", "DATA SAVE FILE", "*.dat", "dat", ""};
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
