#pragma once

#include <cstddef>

namespace kestrin::os {

/// For front ends, once, early: the signals that end a program leave no temporary
/// report behind, and a file size limit fails a write instead of killing the
/// program, so that the run can say the report could not be saved.
///
/// An ending signal (an interrupt, a hang-up, a termination; on Windows Ctrl+C,
/// Ctrl+Break and the console closed) removes the temporary reports being written,
/// if any, and then ends the process as it would have without this, so that a shell
/// sees 128 + the signal. A signal the process was started to ignore (as `nohup` or
/// a background job does) stays ignored.
void HandleStopSignals();

/// While one lives, the ending signals wait: the first that came takes effect as
/// the last hold goes, on the thread that lets it go, and ends the process then.
/// For what must not be cut in two by them: a report written over the previous one,
/// which would be neither, or a temporary file and its entry for removal. Holds may
/// nest and live on any thread; a hold that the process never lets go (a hang) holds
/// the signals for good, so nothing that may wait on the user goes under one.
class EndingSignalsHeld {
  public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;
};

/// A line `columns` wide that the program draws on standard error (a progress
/// bar), 0 once it is cleared: an ending signal blanks it before the process ends,
/// so that the shell's prompt does not follow a bar left half drawn.
void SetLineToBlank(int columns);

namespace detail {
/// For each system's ending: writes "\r", spaces over the line and "\r" through
/// `write`, which must be safe in a signal handler; nothing when no line is drawn.
void BlankLine(void (*write)(const char* bytes, std::size_t size));
/// For the handlers of the ending signals: true when a hold is on, in which case
/// `ending` (above 0) is kept, if it is the first, for the hold's end to act on.
bool DeferEnding(int ending);
/// Each system's: removes the temporary reports and ends the process by `ending`,
/// from any thread outside a handler.
[[noreturn]] void EndProcess(int ending);
}  // namespace detail

}  // namespace kestrin::os
