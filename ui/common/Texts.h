#pragma once

#include <string>

#include "run/Ui.h"

namespace kestrin {

// The texts the window makes of what the run and the program tell, in UTF-8 but for
// the title, which goes to the toolkit as UTF-16.

/// A message box's text for `message`: the headline and the path, and beneath them,
/// after a blank line, what else the run has to say: the system's reason for a
/// failure, the counts of a run, then each warning. Lines end in '\n'.
std::string MessageBoxText(const RunMessage& message);

/// The window's title while a run has come `fractionDone` of the way: "KSTN 42%". The
/// title is what the taskbar shows of a minimized window.
std::u16string ProgressTitle(double fractionDone);

inline constexpr const char* kAboutTitle = "About Kestrin";
/// The About box's text: the program, its version, what it does, whose it is.
std::string AboutText();

}  // namespace kestrin
