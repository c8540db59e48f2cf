#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "run/CuttingRun.h"

namespace kestrin::testing {

/// A Ui that writes each call down as one line and answers the question as told,
/// so that a test compares a run's whole dialogue at once.
class RecordingUi : public Ui {
  public:
    explicit RecordingUi(bool answerYes = false) : answerYes_(answerYes) {}

    void ShowMessage(const RunMessage& message) override {
        static const char* const kIcons[] = {"error", "warning", "information"};
        calls.push_back(message.title + " " + kIcons[int(message.icon)] + " " + message.Text());
        messages.push_back(message);
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        calls.push_back(title + " " + text);
        return answerYes_;
    }
    void ShowProgress(const RunProgress& progress) override {
        if (onProgress) onProgress(progress);
    }

    std::vector<std::string> calls;
    std::vector<RunMessage> messages;
    std::function<void(const RunProgress&)> onProgress;

  private:
    bool answerYes_;
};

/// The calls of a run that ends with one failure message, before the question.
inline std::vector<std::string> Failed(const std::string& text, const std::string& icon = "error") {
    return {"ERROR! " + icon + " " + text};
}

/// The calls of a run that finishes, whatever the answer to the question.
inline std::vector<std::string> Completed(const std::string& savePath) {
    return {"Confirm Sortting Data Output?", "Complete information " + savePath + " done.."};
}

inline const std::string kBanner = "*********** SORTTING DATA ************\r\n";

#ifdef _WIN32
/// True when something holds `path` open, so that it cannot be opened unshared.
inline bool HeldOpen(const std::string& path) {
    const HANDLE file = CreateFileW(Native(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

/// One run through `ui`, which must leave no file open. Windows counts no handles
/// a test could compare (wine none at all), but a log or report left open could not
/// then be opened unshared, nor replaced or removed.
inline void RunEngine(const RunRequest& request, Ui& ui) {
    CuttingRun(request, ui);
    for (const std::string& path : request.logPaths)
        EXPECT_FALSE(HeldOpen(path)) << "the run left " << path << " open";
    EXPECT_FALSE(HeldOpen(request.savePath)) << "the run left " << request.savePath << " open";
}
#else
/// One run through `ui`, which must leave no file open.
inline void RunEngine(const RunRequest& request, Ui& ui) {
    auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto openBefore = openFiles();
    CuttingRun(request, ui);
    EXPECT_EQ(openFiles(), openBefore) << "the run left a file open";
}
#endif

/// The Ui calls of one run.
inline std::vector<std::string> RunEngine(const RunRequest& request, bool answerYes = false) {
    RecordingUi ui(answerYes);
    RunEngine(request, ui);
    return ui.calls;
}

}  // namespace kestrin::testing
