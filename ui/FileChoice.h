#pragma once

#include <QStringList>

#include "Desktop.h"
#include "common/PathBox.h"

class QMimeData;

namespace kestrin {

/// The dialog that fills a path box (see FileDialogRuleFor).
FileDialogRequest FileDialogRequestFor(PathBox box);

/// The local paths of dropped data that is a file list, in list order. Empty for
/// anything else: text, remote URLs, or a list that mixes them with files, since
/// only files dropped from a file manager name a log.
QStringList DroppedFilePaths(const QMimeData& data);

}  // namespace kestrin
