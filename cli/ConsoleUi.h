#pragma once

#include <ostream>

#include "run/Ui.h"

namespace kestrin {

/// The run's Ui on a terminal: every message on standard error as "TITLE: text",
/// the question answered in advance, and a progress bar for big logs on a terminal.
class ConsoleUi : public Ui {
  public:
    ConsoleUi(std::ostream& err, bool answerYes, bool showProgress)
        : err_(err), answerYes_(answerYes), showProgress_(showProgress) {}

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
    bool progressShown_ = false;
};

}  // namespace kestrin
