#pragma once

#include "TextSink.h"
#include "run/Ui.h"

namespace kestrin {

/// The run's Ui on a terminal: every message on standard error as "TITLE: text",
/// the question answered in advance, and a progress bar where there is room for one.
class ConsoleUi : public Ui {
  public:
    /// `progressColumns` is the width of the terminal the bar is drawn on, 0 for no
    /// bar; quiet, only errors and warnings are shown.
    ConsoleUi(TextSink& err, bool answerYes, int progressColumns, bool quiet = false)
        : err_(err), answerYes_(answerYes), columns_(progressColumns), quiet_(quiet) {}

    ~ConsoleUi() override { ClearProgress(); }

    void ShowMessage(const RunMessage& message) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowProgress(const RunProgress& progress) override;

  private:
    void ClearProgress();

    TextSink& err_;
    bool answerYes_;
    int columns_;
    bool quiet_;
    int shownWidth_ = 0;  // of the bar's line on screen, 0 when none is
    int shownPercent_ = -1;
};

}  // namespace kestrin
