#pragma once

namespace kestrin::os::posix {

/// The temporary reports an ending signal removes. A few at a time in fixed
/// storage, so that the signal handler needs nothing but unlinkat().

/// Enters the file `name` in directory `dirFd` (both must stay valid until it is
/// forgotten): the slot to forget it by, or -1 when none is free or the name is
/// too long, in which case a signal leaves the file behind.
int RememberTemporaryName(int dirFd, const char* name);
/// Takes the entry out once the file is gone or renamed; -1 is ignored.
void ForgetTemporaryName(int slot);

}  // namespace kestrin::os::posix
