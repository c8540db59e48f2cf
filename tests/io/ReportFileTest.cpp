#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "TestFiles.h"
#include "report/ReportFile.h"

namespace kestrin {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kOld = "old report\r\n", kNew = "new report, longer than the old\r\n";

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t Mode(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// Opens `path` as the report and writes kNew into it: 0 or the errno of the first failure.
int Write(ReportFile& file, const std::string& path, std::span<const struct stat> logs = {}) {
    if (int error = file.Open(path, logs); error != 0) return error;
    return write(file.Descriptor(), kNew.data(), kNew.size()) == ssize_t(kNew.size()) ? 0 : errno;
}

// The previous report stays until Commit, which gives the new one its mode; links
// lead to the file replaced, and stay links; no name of a log is ever replaced.
TEST(ReportFile, ReplacesOnlyOnCommitThroughLinksButNeverALog) {
    TempDir dir;
    const std::string report = dir / "report.dat";
    for (bool commit : {false, true}) {
        WriteFile(report, kOld);
        chmod(report.c_str(), 0640);
        {
            ReportFile file;
            ASSERT_EQ(Write(file, report), 0);
            const std::vector<std::string> names = Names(dir.Path());
            ASSERT_EQ(names.size(), 2u);  // the temporary file sorts first: its name has a dot
            EXPECT_EQ(Mode(dir / names[0]), S_IFREG | 0600);
            EXPECT_EQ(ReadFile(report), kOld);
            EXPECT_EQ(commit ? file.Commit() : 0, 0);
        }
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"report.dat"});
        EXPECT_EQ(ReadFile(report) + std::to_string(Mode(report)),
                  (commit ? kNew : kOld) + std::to_string(S_IFREG | 0640));
    }
    std::filesystem::create_directory(dir / "sub");
    symlink("../report.dat", (dir / "sub/inner").c_str());  // relative to its own directory
    symlink((dir / "sub/inner").c_str(), (dir / "outer").c_str());
    symlink("fresh.dat", (dir / "dangling").c_str());
    const mode_t mask = umask(027);
    WriteFile(report, kOld);
    for (const char* link : {"outer", "dangling"}) {
        ReportFile file;
        EXPECT_EQ(Write(file, dir / link), 0);
        EXPECT_EQ(file.Commit(), 0);
    }
    umask(mask);
    EXPECT_EQ(ReadFile(report) + ReadFile(dir / "fresh.dat"), kNew + kNew);
    EXPECT_EQ(Mode(dir / "fresh.dat"), S_IFREG | 0640);
    for (const char* link : {"outer", "sub/inner", "dangling"})
        EXPECT_TRUE(S_ISLNK(Mode(dir / link))) << link;

    WriteFile(dir / "log", kOld);
    link((dir / "log").c_str(), (dir / "hard").c_str());
    symlink("log", (dir / "soft").c_str());
    struct stat logs[2]{};
    stat(report.c_str(), &logs[0]);
    stat((dir / "log").c_str(), &logs[1]);
    for (const char* name : {"log", "hard", "soft", "outer"}) {
        ReportFile file;
        EXPECT_EQ(Write(file, dir / name, logs), ETXTBSY) << name;
    }
    EXPECT_EQ(ReadFile(dir / "log"), kOld);
}

}  // namespace
}  // namespace kestrin
