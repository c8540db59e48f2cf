// The report cannot be written, or not completely: every such run ends with
// "Can't File Save!" and the save path, never with "Complete".

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>

#include "HostileSupport.h"

namespace kestrin::hostile {
namespace {

// A log of many distinct URLs, so that its report runs to tens of kilobytes, with
// one URL repeated so that the ranked listing differs from the first.
std::string ManyUrlLog() {
    std::string log;
    for (int i = 0; i < 3000; ++i)
        log += "GET http://example.com/page/" + std::to_string(i) + " 200\r\n";
    log += "GET http://example.com/page/7 200\r\n";
    return log;
}

TEST(SaveFaults, EngineReportsEveryUnwritableReportAsCantFileSave) {
    ScratchDir dir;
    const std::string log = dir / "access.log";
    WriteFile(log, ManyUrlLog());
    mkdir((dir / "subdir").c_str(), 0777);
    mkfifo((dir / "fifo").c_str(), 0666);
    struct Case {
        const char* name;
        std::string savePath;
    } cases[] = {
        {"full disk", "/dev/full"},
        {"directory that no longer exists", dir / "gone/report.txt"},
        {"save path is a directory", dir / "subdir"},
        {"FIFO nobody reads (must not hang)", dir / "fifo"},
        {"path through a regular file", log + "/report.txt"},
        {"empty save path", ""},
    };
    for (const Case& c : cases) {
        for (bool yes : {false, true}) {
            EXPECT_EQ(RunEngine(Request(log, c.savePath), yes),
                      FailedWith("Can't File Save!\r" + c.savePath))
                << c.name << (yes ? ", Yes" : ", No");
        }
    }
    EXPECT_EQ(ReadFile(log), ManyUrlLog()) << "the log is left as it was";
}

TEST(SaveFaults, ReportWhoseDirectoryVanishesIsCantFileSave) {
    ScratchDir dir;
    const std::string log = dir / "access.log";
    WriteFile(log, ManyUrlLog());
    mkdir((dir / "out").c_str(), 0777);
    const std::string save = dir / "out/report.dat";

    // While the question is on screen, the report's directory is removed.
    struct VanishingUi : RecordingUi {
        std::string save, directory;
        bool AskYesNo(const std::string& text, const std::string& title) override {
            unlink(save.c_str());
            rmdir(directory.c_str());
            return RecordingUi::AskYesNo(text, title);
        }
    } ui;
    ui.save = save;
    ui.directory = dir / "out";
    UrlTable table;
    CuttingRun(Request(log, save), ui, table);
    EXPECT_EQ(ui.calls, FailedAfterQuestion("Can't File Save!\r" + save));
}

TEST(SaveFaults, ReportDescriptorThatCannotBeWrittenIsCantFileSave) {
    ScratchDir dir;
    const std::string log = dir / "access.log";
    WriteFile(log, ManyUrlLog());

    // Open for reading only: every write fails with EBADF.
    WriteFile(dir / "other.txt", "keep");
    RunRequest readOnly = Request(log, "(read-only descriptor)");
    readOnly.saveDescriptor = open((dir / "other.txt").c_str(), O_RDONLY);
    EXPECT_EQ(RunEngine(readOnly), FailedWith("Can't File Save!\r(read-only descriptor)"));
    close(readOnly.saveDescriptor);
    EXPECT_EQ(ReadFile(dir / "other.txt"), "keep");

    // A pipe whose reader has gone: EPIPE (with SIGPIPE ignored, as a front end may).
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    RunRequest brokenPipe = Request(log, "-");
    brokenPipe.saveDescriptor = ends[1];
    EXPECT_EQ(RunEngine(brokenPipe), FailedWith("Can't File Save!\r-"));
    sigaction(SIGPIPE, &previous, nullptr);
    close(ends[1]);
}

// The report stops growing at a file size limit, as on a disk that fills up during
// the run: the first writes succeed in part, the next fail.
TEST(SaveFaults, ReportCutShortBySizeLimitIsCantFileSave) {
    ScratchDir dir;
    const std::string log = dir / "access.log";
    const std::string save = dir / "report.txt";
    WriteFile(log, ManyUrlLog());
    ASSERT_EQ(RunCut({"--ranked", log, save}).status, 0);
    const std::string whole = ReadFile(save);
    const std::size_t firstListing = whole.find(kBanner);
    ASSERT_NE(firstListing, std::string::npos);
    ASSERT_GT(firstListing, 40000u);

    const std::string failed = "ERROR!: Can't File Save!\n" + save + "\n";
    const std::string no = "Confirm: Sortting Data Output? No\n";
    const std::string yes = "Confirm: Sortting Data Output? Yes\n";
    struct Case {
        const char* name;
        std::size_t limit;
        bool ranked;
        int status;
        std::string err;  // the first listing fails on its flush, before the question
    } cases[] = {
        {"limit inside the first listing", firstListing / 2, false, 1, failed},
        {"limit inside the first listing, ranked", 4096, true, 1, failed},
        {"first listing fits, ranked part does not", firstListing, true, 1, yes + failed},
        {"ranked part cut in the middle", firstListing + 1000, true, 1, yes + failed},
        {"whole report fits exactly", whole.size(), true, 0,
         yes + "Complete: " + save + " done..\n"},
        {"first listing fits exactly, not ranked", firstListing, false, 0,
         no + "Complete: " + save + " done..\n"},
    };
    for (const Case& c : cases) {
        unlink(save.c_str());
        std::vector<std::string> args{log, save};
        if (c.ranked) args.insert(args.begin(), "--ranked");
        const std::size_t limit = c.limit;
        CutResult result = RunCut(args, [limit] {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit size {
                rlim_t(limit), rlim_t(limit)
            };
            setrlimit(RLIMIT_FSIZE, &size);
        });
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        // What reached the file is the report's start, as far as the limit let it.
        EXPECT_EQ(ReadFile(save), whole.substr(0, c.limit)) << c.name;
    }
}

// Permissions as an unprivileged user (the test drops root's privileges).
TEST(SaveFaults, ReadOnlyPlacesAreCantFileSave) {
    ScratchDir dir;
    const std::string log = dir / "access.log";
    WriteFile(log, ManyUrlLog());
    chmod(log.c_str(), 0644);
    mkdir((dir / "locked").c_str(), 0555);
    WriteFile(dir / "readonly.txt", "earlier report");
    chmod((dir / "readonly.txt").c_str(), 0444);

    for (const std::string& save : {dir / "locked/report.txt", dir / "readonly.txt"}) {
        EXPECT_EQ(RunEngineUnprivileged(Request(log, save)),
                  FailedWith("Can't File Save!\r" + save))
            << save;
    }
    EXPECT_FALSE(Exists(dir / "locked/report.txt"));
    EXPECT_EQ(ReadFile(dir / "readonly.txt"), "earlier report");
}

}  // namespace
}  // namespace kestrin::hostile
