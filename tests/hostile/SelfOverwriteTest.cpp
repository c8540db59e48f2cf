// The save path names the log under another name: the run refuses with
// "Can't File Save!" and the log keeps every byte.

#include <gtest/gtest.h>

#include <fcntl.h>

#include "RecordingUi.h"
#include "TestFiles.h"

namespace kestrin {
namespace {

using namespace testing;

class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::string& path)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~CurrentDirectory() { std::filesystem::current_path(previous_); }

  private:
    std::filesystem::path previous_;
};

TEST(SelfOverwrite, EveryOtherNameOfTheLogIsRefusedAndTheLogStaysIntact) {
    TempDir dir;
    const std::string content = "GET http://example.com/ 200\r\nGET http://example.com/a 404\r\n";
    const std::string log = dir / "access.log";
    WriteFile(log, content);
    mkdir((dir / "sub").c_str(), 0777);
    symlink(log.c_str(), (dir / "link.log").c_str());
    symlink("access.log", (dir / "relative-link.log").c_str());
    symlink((dir / "link.log").c_str(), (dir / "link-to-link.log").c_str());
    symlink(dir.Path().c_str(), (dir / "dir-link").c_str());
    link(log.c_str(), (dir / "hard.log").c_str());
    CurrentDirectory inside(dir.Path());

    struct Case {
        std::string logPath, savePath;
    } cases[] = {
        {log, log},
        {log, "access.log"},
        {"access.log", log},
        {log, "./access.log"},
        {log, "sub/../access.log"},
        {log, dir / "sub/../access.log"},
        {log, dir / "dir-link/access.log"},
        {log, dir / "link.log"},
        {log, "relative-link.log"},
        {log, "link-to-link.log"},
        {log, "hard.log"},
        {dir / "link.log", log},
        {"hard.log", "link.log"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunEngine({.logPath = c.logPath, .savePath = c.savePath}, true),
                  Failed("Can't File Save!\r" + c.savePath))
            << c.logPath << " saved as " << c.savePath;
        ASSERT_EQ(ReadFile(log), content) << c.logPath << " saved as " << c.savePath;
    }

    // The report descriptor is the log itself (standard output sent into the log).
    const RunRequest intoLog{
        .logPath = log, .savePath = "-", .saveDescriptor = open(log.c_str(), O_WRONLY | O_APPEND)};
    EXPECT_EQ(RunEngine(intoLog), Failed("Can't File Save!\r-"));
    close(intoLog.saveDescriptor);
    EXPECT_EQ(ReadFile(log), content);
}

}  // namespace
}  // namespace kestrin
