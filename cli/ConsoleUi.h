#pragma once

#include <ostream>

#include "run/Ui.h"

namespace kestrin {

/// The run's Ui on a terminal: every message on standard error as "TITLE: text",
/// the question answered in advance, and a progress bar for big logs on a terminal.
class ConsoleUi : public Ui {
  public:
    /// Quiet, it shows only errors and warnings.
    ConsoleUi(std::ostream& err, bool answerYes, bool showProgress, bool quiet = false)
        : err_(err), answerYes_(answerYes), showProgress_(showProgress), quiet_(quiet) {}

    void EnterBusy() override {}
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void LeaveBusy() override;
    void ShowProgress(std::int64_t bytesRead, std::int64_t logSize) override;

  private:
    void ClearProgress();

    std::ostream& err_;
    bool answerYes_;
    bool showProgress_;
    bool quiet_;
    bool progressShown_ = false;
};

}  // namespace kestrin
