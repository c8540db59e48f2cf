#pragma once

#include <archive.h>
#include <archive_entry.h>

#include "os/Fault.h"
#include "os/SharedLibrary.h"

namespace kestrin {

// The functions of libarchive the archive reader calls.
// clang-format off
#define KESTRIN_ARCHIVE_FUNCTIONS(X)                                                   \
    X(archive_entry_filetype) X(archive_entry_hardlink) X(archive_entry_is_encrypted) \
    X(archive_entry_pathname) X(archive_errno) X(archive_error_string)                 \
    X(archive_filter_bytes) X(archive_read_data_block) X(archive_read_data_skip)       \
    X(archive_read_free) X(archive_read_new) X(archive_read_next_header)               \
    X(archive_read_open1) X(archive_read_set_callback_data)                            \
    X(archive_read_set_read_callback) X(archive_read_support_format_tar)               \
    X(archive_read_support_format_zip_streamable)
// clang-format on

/// libarchive's functions, each under its own name: found when the first archive
/// is read, where the build loads libraries as the program runs.
struct ArchiveLibrary {
    KESTRIN_ARCHIVE_FUNCTIONS(KESTRIN_FUNCTION_MEMBER);
};

/// The functions, once for the program, or why the library cannot be loaded.
Result<const ArchiveLibrary*> LoadArchiveLibrary();

}  // namespace kestrin
