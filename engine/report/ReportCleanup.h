#pragma once

namespace kestrin {

/// Makes SIGINT, SIGTERM and SIGHUP remove the temporary report being written, if
/// any, before the process ends of the signal as it would have without this (so a
/// shell sees 128 + the signal). A signal the process was started to ignore (as
/// `nohup` or a background job does) stays ignored. For front ends, once, early.
void InstallReportCleanupOnSignals();

/// The registry of temporary reports a signal removes. It holds a few at a time in
/// fixed storage, so the signal handler needs nothing but unlinkat().

/// Enters the file `name` in directory `dirFd` (both must stay valid until it is
/// forgotten): the slot to forget it by, or -1 when none is free or the name is
/// too long, in which case a signal leaves the file behind.
int RememberTemporaryReport(int dirFd, const char* name);
/// Takes the entry out once the file is gone or renamed; -1 is ignored.
void ForgetTemporaryReport(int slot);

}  // namespace kestrin
