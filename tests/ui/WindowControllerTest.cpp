#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "TestFiles.h"
#include "common/WindowController.h"

namespace kestrin {
namespace {

/// A window whose thread is whichever thread posts to it, so that a call the run
/// waits for, or the progress it tells, is handled before the run goes on: the
/// window is closed at a known point of the run, not at a time. Each call the
/// controller makes is written down.
class ViewUnderTest : public WindowView {
  public:
    std::string closeAt;  // "answer", "ranked listing" or "written"
    WindowController* controller = nullptr;
    Boxes boxes;

    bool Post(std::function<void()> call) override {
        call();
        return true;
    }
    void SetBusy(bool busy) override {
        Tell(busy ? "busy" : "not busy");
        if (!busy) Ended();
    }
    void Close() override {
        Tell("closed");
        Ended();
    }
    void ShowMessage(const RunMessage& message) override { Tell(message.title); }
    bool AskYesNo(const std::string&, const std::string& title) override {
        Tell(title);
        CloseAt("answer");
        return true;
    }
    void ShowProgress(const RunProgress& progress) override {
        if (progress.phase != RunPhase::RankedListing) return;
        if (progress.phaseFraction < 1) CloseAt("ranked listing");
        if (progress.phaseFraction == 1) CloseAt("written");
    }
    void Quit() override { Tell("quit"); }
    Boxes CurrentBoxes() override { return boxes; }
    void ChooseFile(PathBox) override {}
    void ShowAbout() override {}
    void KeepGrouping(Grouping) override {}

    /// Once the run has ended: the window is back or gone.
    void AwaitEnd() {
        std::unique_lock lock(mutex_);
        ended_.wait(lock, [this] { return hasEnded_; });
    }
    std::string told;

  private:
    void Tell(const std::string& call) {
        std::lock_guard lock(mutex_);
        told += told.empty() ? call : " | " + call;
    }
    void CloseAt(const std::string& point) {
        if (closeAt != point) return;
        Tell("close");
        closeAt.clear();
        if (controller->Close()) Tell("closed at once");
    }
    void Ended() {
        std::lock_guard lock(mutex_);
        hasEnded_ = true;
        ended_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable ended_;
    bool hasEnded_ = false;
};

// Closing the window during a run, up to the moment the report would take the
// previous one's place, leaves the previous report's bytes and no message, and the
// window goes once the run has stopped. A run not closed replaces the report, and
// its message comes once the window is back. The log is big enough to tell the
// progress of the ranked listing on its way: 200 000 distinct URLs in 18 MB.
TEST(WindowController, AClosedWindowSavesNothing) {
    const testing::TempDir dir;
    const std::string log = dir / "access.log", save = dir / "report.dat";
    std::string lines;
    for (int i = 0; i < 200000; ++i)
        lines += "GET http://h" + std::to_string(i % 97) + ".example/p" + std::to_string(i) +
                 " HTTP/1.1" + std::string(60, '-') + "\n";
    testing::WriteFile(log, lines);
    const std::string previous = "http://old.example/\t 1\r\n";
    const struct {
        std::string closeAt, told;
        bool replaced;
    } cases[] = {
        {"", "busy | Confirm | not busy | Complete", true},
        {"answer", "busy | Confirm | close | closed", false},
        {"ranked listing", "busy | Confirm | close | closed", false},
        {"written", "busy | Confirm | close | closed", false},
    };
    for (const auto& c : cases) {
        testing::WriteFile(save, previous);
        ViewUnderTest view;
        view.closeAt = c.closeAt;
        view.boxes = {log, save, u"Space"};
        {
            WindowController controller(view, Grouping::Url);
            view.controller = &controller;
            controller.Do(form::Command::Cut);
            view.AwaitEnd();
            EXPECT_FALSE(controller.Running()) << c.closeAt;
            EXPECT_TRUE(controller.Close()) << c.closeAt;
        }  // the run's thread, done with the window, has ended
        EXPECT_EQ(view.told, c.told) << c.closeAt;
        const std::string report = testing::ReadFile(save);
        EXPECT_EQ(report == previous, !c.replaced) << c.closeAt;
        EXPECT_EQ(report.substr(0, 7), "http://") << c.closeAt;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2)
            << c.closeAt;
    }
}

}  // namespace
}  // namespace kestrin
