#pragma once

#include <QStringList>

#include "Desktop.h"

class QMimeData;

namespace kestrin {

/// Index of the path label (and of its ".." button) that names the log.
inline constexpr int kLogIndex = 0;
/// Index of the path label that names the save file.
inline constexpr int kSaveIndex = 1;

/// The dialog that fills path label `index`: the open dialog for the log (index 0),
/// the save dialog for any other index.
FileDialogRequest FileDialogRequestFor(int index);

/// The local paths of dropped data that is a file list, in list order. Empty for
/// anything else: text, remote URLs, or a list that mixes them with files, since
/// only files dropped from a file manager name a log.
QStringList DroppedFilePaths(const QMimeData& data);

}  // namespace kestrin
