#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CuttingRun.h"
#include "RecordingUi.h"
#include "TestFiles.h"

namespace kestrin::testing {

/// Whole runs on files in a fresh directory, through a recording Ui.
class RunFixture : public ::testing::Test {
  protected:
    /// A request to tally `log`, written to access.log, into report.txt.
    RunRequest RequestFor(const std::string& log) {
        WriteFile(logPath, log);
        return {.logPath = logPath, .savePath = savePath};
    }

    /// The Ui calls of one run, which must leave no file open.
    std::vector<std::string> Run(const RunRequest& request, bool answerYes = false) {
        auto openFiles = [] {
            return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
        };
        const auto openBefore = openFiles();
        RecordingUi ui(answerYes);
        CuttingRun(request, ui, table);
        EXPECT_EQ(openFiles(), openBefore) << "the run left a file open";
        return ui.calls;
    }

    TempDir dir;
    UrlTable table;
    const std::string logPath = dir / "access.log", savePath = dir / "report.txt";
};

}  // namespace kestrin::testing
