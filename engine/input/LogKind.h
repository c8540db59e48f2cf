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
    Zip,  // an archive: each member a log of its own
    Tar,
    Unreadable,  // compressed or archived in a way that is not read
};

struct LogKind {
    LogForm form = LogForm::Text;
    /// What it is in words, for the reason a form is not read ("a 7z archive").
    std::string_view name{};

    bool Compressed() const {
        return form == LogForm::Gzip || form == LogForm::Zstd || form == LogForm::Xz ||
               form == LogForm::Bzip2 || form == LogForm::Lz4;
    }
};

/// How many first bytes KindOf wants: a tar header's magic lies at 257.
inline constexpr std::size_t kKindBytes = 512;

/// The one decision of what a log is, from its first bytes (kKindBytes of them, or
/// all there are): compressed by a format that is read, an archive that is read
/// member by member, compressed or archived in a way that is not, or text. A text
/// log that happens to start like a compressed one needs more than its first two or
/// three bytes to be taken for one.
LogKind KindOf(std::string_view head);

}  // namespace kestrin
