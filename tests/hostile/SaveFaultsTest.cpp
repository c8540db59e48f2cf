// The report cannot be written, or not completely: every such run ends with
// "Can't File Save!" and the save path, never with "Complete".

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>

#include "Processes.h"
#include "RecordingUi.h"

namespace kestrin {
namespace {

using namespace testing;

class SaveFaults : public ::testing::Test {
  protected:
    // Many distinct URLs, so that the report runs to tens of kilobytes, and one
    // repeated, so that the ranked listing differs from the first.
    void SetUp() override {
        for (int i = 0; i < 3000; ++i)
            urls += "GET http://example.com/page/" + std::to_string(i) + " 200\r\n";
        WriteFile(log, urls += "GET http://example.com/page/7 200\r\n");
    }

    TempDir dir;
    std::string urls;
    const std::string log = dir / "access.log", save = dir / "report.txt";
};

TEST_F(SaveFaults, UnwritableReportIsCantFileSave) {
    mkdir((dir / "subdir").c_str(), 0777);
    mkfifo((dir / "fifo").c_str(), 0666);
    WriteFile(dir / "other.txt", "keep");
    const int readOnly = open((dir / "other.txt").c_str(), O_RDONLY);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;  // EPIPE instead, as a front end may have it
    sigaction(SIGPIPE, &ignore, &previous);
    struct Case {
        const char* name;
        std::string savePath;
        int descriptor;
    } cases[] = {
        {"full disk", "/dev/full", -1},
        {"directory that no longer exists", dir / "gone/report.txt", -1},
        {"save path is a directory", dir / "subdir", -1},
        {"FIFO nobody reads (must not hang)", dir / "fifo", -1},
        {"path through a regular file", log + "/report.txt", -1},
        {"empty save path", "", -1},
        {"descriptor open for reading only", "(read-only)", readOnly},
        {"pipe whose reader has gone", "-", pipeEnds[1]},
        {"descriptor onto the log itself", "-", open(log.c_str(), O_WRONLY | O_APPEND)},
    };
    for (const Case& c : cases) {
        for (bool yes : {false, true}) {
            const RunRequest request{
                .logPath = log, .savePath = c.savePath, .saveDescriptor = c.descriptor};
            EXPECT_EQ(RunEngine(request, yes), Failed("Can't File Save!\r" + c.savePath))
                << c.name << (yes ? ", Yes" : ", No");
        }
    }
    sigaction(SIGPIPE, &previous, nullptr);
    for (const Case& c : cases) close(c.descriptor);
    EXPECT_EQ(ReadFile(log), urls) << "the log is left as it was";
    EXPECT_EQ(ReadFile(dir / "other.txt"), "keep");

    // An empty log has nothing to write before the question; then the banner fails.
    WriteFile(log, "");
    EXPECT_EQ(RunEngine({.logPath = log, .savePath = "/dev/full"}, true),
              FailedAfterQuestion("Can't File Save!\r/dev/full"));
}

// The save path names the log under another name: the log keeps every byte.
TEST_F(SaveFaults, NoOtherNameOfTheLogIsOverwritten) {
    mkdir((dir / "sub").c_str(), 0777);
    symlink(log.c_str(), (dir / "link.log").c_str());
    symlink("access.log", (dir / "relative-link.log").c_str());
    symlink((dir / "link.log").c_str(), (dir / "link-to-link.log").c_str());
    symlink(dir.Path().c_str(), (dir / "dir-link").c_str());
    link(log.c_str(), (dir / "hard.log").c_str());
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::pair<std::string, std::string> cases[] = {
        {log, log},
        {log, "access.log"},
        {"access.log", log},
        {log, "./access.log"},
        {log, "sub/../access.log"},
        {log, dir / "dir-link/access.log"},
        {log, dir / "link.log"},
        {log, "relative-link.log"},
        {log, "link-to-link.log"},
        {log, "hard.log"},
        {dir / "link.log", log},
        {"hard.log", "link.log"},
    };
    for (const auto& [logPath, savePath] : cases) {
        EXPECT_EQ(RunEngine({.logPath = logPath, .savePath = savePath}, true),
                  Failed("Can't File Save!\r" + savePath))
            << logPath << " saved as " << savePath;
        EXPECT_EQ(ReadFile(log), urls) << logPath << " saved as " << savePath;
    }
    std::filesystem::current_path(previous);
}

// While the question is on screen, the report's directory is removed.
TEST_F(SaveFaults, ReportWhoseDirectoryVanishesIsCantFileSave) {
    mkdir((dir / "out").c_str(), 0777);
    struct VanishingUi : RecordingUi {
        std::string directory;
        bool AskYesNo(const std::string& text, const std::string& title) override {
            unlink((directory + "/report.dat").c_str());
            rmdir(directory.c_str());
            return RecordingUi::AskYesNo(text, title);
        }
    } ui;
    ui.directory = dir / "out";
    RunEngine({.logPath = log, .savePath = dir / "out/report.dat"}, ui);
    EXPECT_EQ(ui.calls, FailedAfterQuestion("Can't File Save!\r" + dir / "out/report.dat"));

    // A descriptor handed to the run may have no name at all: that is no failure.
    RunRequest unnamed{.logPath = log, .savePath = "(memory)"};
    unnamed.saveDescriptor = memfd_create("report", 0);
    RecordingUi memoryUi;
    RunEngine(unnamed, memoryUi);
    EXPECT_EQ(memoryUi.calls, Completed("(memory)"));
    close(unnamed.saveDescriptor);
}

// The report stops growing at a file size limit, as on a disk that fills up during
// the run: the first writes succeed in part, the next fail.
TEST_F(SaveFaults, ReportCutShortBySizeLimitIsCantFileSave) {
    ASSERT_EQ(RunCut({"--ranked", log, save}).status, 0);
    const std::string whole = ReadFile(save);
    const std::size_t firstListing = whole.find(kBanner);
    ASSERT_GT(firstListing, 40000u);
    const std::string failed = "ERROR!: Can't File Save!\n" + save + "\n";
    const std::string yes = "Confirm: Sortting Data Output? Yes\n";
    const std::string done = "Complete: " + save + " done..\n";
    struct Case {
        const char* name;
        std::size_t limit;
        bool ranked;
        int status;
        std::string err;  // the first listing fails on its flush, before the question
    } cases[] = {
        {"limit inside the first listing", firstListing / 2, true, 1, failed},
        {"first listing fits, ranked part does not", firstListing, true, 1, yes + failed},
        {"ranked part cut in the middle", firstListing + 1000, true, 1, yes + failed},
        {"whole report fits exactly", whole.size(), true, 0, yes + done},
        {"first listing fits exactly, not ranked", firstListing, false, 0,
         "Confirm: Sortting Data Output? No\n" + done},
    };
    for (const Case& c : cases) {
        unlink(save.c_str());
        std::vector<std::string> args{log, save};
        if (c.ranked) args.insert(args.begin(), "--ranked");
        CutResult result = RunCut(args, [limit = rlim_t(c.limit)] {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit size {
                limit, limit
            };
            setrlimit(RLIMIT_FSIZE, &size);
        });
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        // What reached the file is the report's start, as far as the limit let it.
        EXPECT_EQ(ReadFile(save), whole.substr(0, c.limit)) << c.name;
    }
}

// As an unprivileged user: root may write anywhere.
TEST_F(SaveFaults, ReadOnlyPlacesAreCantFileSave) {
    mkdir((dir / "locked").c_str(), 0555);
    WriteFile(dir / "readonly.txt", "earlier report");
    chmod((dir / "readonly.txt").c_str(), 0444);
    for (const std::string& place : {dir / "locked/report.txt", dir / "readonly.txt"}) {
        CutResult result = RunCut({log, place}, DropPrivileges);
        EXPECT_EQ(result.status, 1) << place;
        EXPECT_EQ(result.err, "ERROR!: Can't File Save!\n" + place + "\n");
    }
    EXPECT_FALSE(Exists(dir / "locked/report.txt"));
    EXPECT_EQ(ReadFile(dir / "readonly.txt"), "earlier report");
}

}  // namespace
}  // namespace kestrin
