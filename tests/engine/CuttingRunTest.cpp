#include <gtest/gtest.h>

#include <string>

#include "RecordingUi.h"
#include "TestFiles.h"

namespace kestrin {
namespace {

using namespace testing;

// Real logs, their reports worked out by hand; the reports of made-up logs are
// checked against the reference model by the replayed fuzz targets.
TEST(CuttingRun, RealLogsGiveTheReportsWorkedOutByHand) {
    TempDir dir;
    const std::string save = dir / "report.txt";
    const RunRequest real[] = {{.logPaths = {KESTRIN_TEST_DATA "/apache_access.log"},
                                .savePath = save,
                                .backKeyword = BackKeywordFrom(u"\"")},
                               {.logPaths = {KESTRIN_TEST_DATA "/aozora_cp932.txt"},
                                .savePath = save,
                                .backKeyword = BackKeywordFrom(u"Space")}};
    for (const RunRequest& request : real) {
        EXPECT_EQ(RunEngine(request, true), Completed(save)) << request.logPaths[0];
        const std::string name = std::filesystem::path(request.logPaths[0]).stem();
        EXPECT_EQ(ReadFile(save), TestData(name + ".ranked-report")) << name;
    }
}

}  // namespace
}  // namespace kestrin
