#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tally/RunControl.h"

namespace kestrin {

/// The icon a message is shown with.
enum class MessageIcon { Error, Warning, Information };

/// One message of a run, as every front end shows it. Texts are UTF-8.
struct RunMessage {
    std::string title;
    MessageIcon icon = MessageIcon::Information;
    /// "File Not Found!", or "/home/a/report.dat done..".
    std::string headline;
    /// The file the message is about, on a line of its own after the headline.
    std::optional<std::string> path{};
    /// Lines beneath: the system's reason for a failure, the counts of a run.
    std::vector<std::string> details{};
    /// Lines beneath those, that even a quiet front end shows.
    std::vector<std::string> warnings{};

    /// The headline and the path in one text, a CR between them: the message's text.
    std::string Text() const { return path ? headline + "\r" + *path : headline; }
};

/// What a run needs from whoever drives it: the window, the terminal or a test.
/// The run asks at most the question and then shows exactly one message, unless it
/// was stopped; what the front end does around a run (a busy window) is its own.
class Ui {
  public:
    virtual ~Ui() = default;

    /// Tells the user how the run went; the run waits until it has been seen.
    virtual void ShowMessage(const RunMessage& message) = 0;
    /// Asks a Yes/No question whose answer the run waits for; Yes is the default,
    /// and the result is true only for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;

    /// How far the run has come. Called only when another thousandth of the run
    /// has passed, on a log big enough for it to matter; a front end that shows
    /// no progress ignores it.
    virtual void ShowProgress(const RunProgress& progress) { (void)progress; }
};

}  // namespace kestrin
