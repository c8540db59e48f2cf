#pragma once

#include <cstddef>
#include <string_view>

namespace kestrin {

/// What a log is, told by its first bytes.
enum class LogForm {
    Text,  // read as it is: the only form that may be cut into ranges
    Gzip,
    Zstd,
    Xz,
    Bzip2,
    Lz4,
    // Skippable frames longer than the first bytes, which zstd and lz4 have alike:
    // the frame after them tells which
    SkippableFrames,
    Zip,  // an archive: each member a log of its own
    Tar,
    Unreadable,  // compressed or archived in a way that is not read
};

struct LogKind {
    LogForm form = LogForm::Text;
    /// What it is in words, for the reason a form is not read ("a 7z archive").
    std::string_view name{};

    /// A layer that NewDecoder reads: a compression, or skippable frames before one.
    bool Compressed() const {
        return form == LogForm::Gzip || form == LogForm::Zstd || form == LogForm::Xz ||
               form == LogForm::Bzip2 || form == LogForm::Lz4 || form == LogForm::SkippableFrames;
    }
};

/// How many first bytes KindOf looks at: a tar's first header, and a zip's first
/// member's header with its name.
inline constexpr std::size_t kKindBytes = 4096;

/// The one decision of what a log is, from its first bytes (kKindBytes of them, or
/// all there are): compressed by a format that is read, an archive that is read
/// member by member, compressed or archived in a way that is not, or text. A form
/// that is read is told by a whole header that its own library (or a check as
/// exact) accepts: a checksum that comes out, flags and methods the format has.
/// Text that shares a few bytes with a header is text, and so is a log too short
/// to hold the header it starts like.
LogKind KindOf(std::string_view head);

}  // namespace kestrin
