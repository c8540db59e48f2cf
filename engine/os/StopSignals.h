#pragma once

namespace kestrin::os {

/// For front ends, once, early: the signals that end a program leave no temporary
/// report behind, and a file size limit fails a write instead of killing the
/// program, so that the run can say the report could not be saved.
///
/// An ending signal (an interrupt, a hang-up, a termination) removes the temporary
/// report being written, if any, and then ends the process of that signal as it
/// would have without this, so that a shell sees 128 + the signal. A signal the
/// process was started to ignore (as `nohup` or a background job does) stays ignored.
void HandleStopSignals();

}  // namespace kestrin::os
