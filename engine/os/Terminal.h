#pragma once

namespace kestrin::os {

/// The process's standard streams, as a command line needs to know them.
struct StandardStreams {
    /// Columns of the terminal standard error is, or 0 when it is none.
    int errorColumns = 0;
    /// True when standard output is that same terminal, so that what is drawn on
    /// standard error would mix with what is written to standard output.
    bool outputSharesErrorTerminal = false;
};

StandardStreams ReadStandardStreams();

}  // namespace kestrin::os
