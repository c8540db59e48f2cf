#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "input/FileSource.h"
#include "os/File.h"

namespace kestrin {

/// Cuts bytes [0, size) of the regular file `file` into at most `parts` consecutive
/// ranges of about equal size, each starting at 0 or right after an LF, found by
/// reading forward from each cut point at its offset, so that the file's position
/// is left alone.
///
/// Why such a range is read exactly as the whole log reads it: an LF always ends
/// what comes before it. Either it is the first CR or LF of its line's window (the
/// line ends at it, or at the CR just before it, as one CR LF), or it lies past a
/// window without CR or LF, where a long line runs on to the first CR or LF, so to
/// it at the latest; it cannot lie after a NUL that ends a line, since the window
/// of that line would hold it and the NUL rule would not apply; and if the CR before
/// it ended a line alone (the LF just outside that line's window), the LF is an
/// empty line of its own. So a line starts right after every LF, whatever the
/// 1024-byte windows say; a range that ends right after an LF holds its lines whole,
/// and each window of the range holds the same first CR or LF as in the whole log.
/// The code page plays no part: CodePage refuses code pages where an LF could be
/// the second byte of a character, and lines are cut before characters are read.
Result<std::vector<LogRange>> SplitLog(const os::File& file, std::int64_t size, std::size_t parts);

/// The position right after the first LF at or after `from` in bytes [0, size) of
/// `file`, a line's start as SplitLog finds them; nothing when none lies within
/// 16 MiB of `from`.
Result<std::optional<std::int64_t>> AfterNextLf(const os::File& file, std::int64_t from,
                                                std::int64_t size);

}  // namespace kestrin
