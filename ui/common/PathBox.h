#pragma once

namespace kestrin {

/// The two path boxes of the window, in the order of their labels and ".." buttons:
/// the log's, and the save file's.
enum class PathBox { Log = 0, Save = 1 };

}  // namespace kestrin
