#pragma once

#include <string>
#include <vector>

#include "Ui.h"

namespace kestrin::testing {

/// A Ui that writes each call down as one line and answers the question as told,
/// so that a test compares a run's whole dialogue at once.
class RecordingUi : public Ui {
  public:
    explicit RecordingUi(bool answerYes) : answerYes_(answerYes) {}

    void EnterBusy() override { calls.push_back("EnterBusy"); }
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        static const char* const kIcons[] = {"error", "warning", "information"};
        calls.push_back(title + " " + kIcons[int(icon)] + " " + text);
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        calls.push_back(title + " " + text);
        return answerYes_;
    }
    void LeaveBusy() override { calls.push_back("LeaveBusy"); }

    std::vector<std::string> calls;

  private:
    bool answerYes_;
};

/// The calls of a run that ends with one failure message.
inline std::vector<std::string> FailedRun(const std::string& icon, const std::string& text) {
    return {"EnterBusy", "ERROR! " + icon + " " + text, "LeaveBusy"};
}

/// The calls of a run that finishes, whatever the answer to the question.
inline std::vector<std::string> CompletedRun(const std::string& savePath) {
    return {"EnterBusy", "Confirm Sortting Data Output?",
            "Complete information " + savePath + " done..", "LeaveBusy"};
}

}  // namespace kestrin::testing
