#pragma once

#include <cstdint>
#include <string>

namespace kestrin {

/// The icon a message is shown with.
enum class MessageIcon { Error, Warning, Information };

/// What a run needs from whoever drives it: the window, the terminal or a test.
/// Texts are UTF-8; a CR (0x0D) in a message text stands for a line break.
class Ui {
  public:
    virtual ~Ui() = default;

    /// Wait cursor, disabled, minimized: the run has started.
    virtual void EnterBusy() = 0;
    /// A modal message with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& title,
                             MessageIcon icon) = 0;
    /// A modal Yes/No question, Yes being the default; true only for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    /// Restored, normal cursor, enabled: the run is over.
    virtual void LeaveBusy() = 0;

    /// How far the read loop has come through the log. Called rarely (every few
    /// megabytes); a front end that shows no progress ignores it.
    virtual void ShowProgress(std::int64_t bytesRead, std::int64_t logSize) {
        (void)bytesRead;
        (void)logSize;
    }
};

}  // namespace kestrin
