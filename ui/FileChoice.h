#pragma once

#include <QStringList>

#include "Desktop.h"

class QMimeData;

namespace kestrin {

/// The two path boxes of the window, in the order of their labels and ".." buttons:
/// the log's, and the save file's.
enum class PathBox { Log = 0, Save = 1 };

/// The dialog that fills a path box: the open dialog for the log, the save dialog
/// for the save file.
FileDialogRequest FileDialogRequestFor(PathBox box);

/// The local paths of dropped data that is a file list, in list order. Empty for
/// anything else: text, remote URLs, or a list that mixes them with files, since
/// only files dropped from a file manager name a log.
QStringList DroppedFilePaths(const QMimeData& data);

}  // namespace kestrin
