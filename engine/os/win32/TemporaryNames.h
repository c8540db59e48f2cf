#pragma once

#include <string>

namespace kestrin::os::win32 {

/// The temporary reports the console's ending events (Ctrl+C, Ctrl+Break, the
/// console closed) remove, where the file system could not be told to remove them
/// itself. A few at a time, in fixed storage, for the handler thread to read.

/// Enters the file at `path`: the slot to forget it by, or -1 when none is free or
/// the path is too long.
int RememberTemporaryName(const std::wstring& path);
/// Takes the entry out once the file is gone or renamed; -1 is ignored.
void ForgetTemporaryName(int slot);

}  // namespace kestrin::os::win32
