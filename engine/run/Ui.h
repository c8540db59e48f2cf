#pragma once

#include <cstdint>
#include <string>

namespace kestrin {

/// The icon a message is shown with.
enum class MessageIcon { Error, Warning, Information };

/// What a run needs from whoever drives it: the window, the terminal or a test.
/// The run calls EnterBusy first and LeaveBusy last, and in between at most the
/// question and then exactly one message. Texts are UTF-8; a CR (0x0D) in a
/// message text stands for a line break.
class Ui {
  public:
    virtual ~Ui() = default;

    /// The run has started: nothing else may be started until LeaveBusy.
    virtual void EnterBusy() = 0;
    /// Tells the user how the run went; the run waits until it has been seen.
    virtual void ShowMessage(const std::string& text, const std::string& title,
                             MessageIcon icon) = 0;
    /// Asks a Yes/No question whose answer the run waits for; Yes is the default,
    /// and the result is true only for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    /// The run is over.
    virtual void LeaveBusy() = 0;

    /// How far the run has come, as bytes of the log read out of its size. Called
    /// rarely (every few megabytes); a front end that shows no progress ignores it.
    virtual void ShowProgress(std::int64_t bytesRead, std::int64_t logSize) {
        (void)bytesRead;
        (void)logSize;
    }
};

}  // namespace kestrin
