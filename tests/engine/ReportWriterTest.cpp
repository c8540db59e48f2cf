#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "report/ReportWriter.h"

namespace kestrin {
namespace {

TEST(ReportWriter, CountsBeyond32Bits) {
    int fd = memfd_create("report", 0);
    ReportWriter report(fd);
    report.WriteEntry("http://a", 5000000000u);
    report.WriteEntry("http://b", UINT64_MAX);
    ASSERT_TRUE(report.Flush());
    std::string bytes(64, '\0');
    bytes.resize(std::size_t(pread(fd, bytes.data(), bytes.size(), 0)));
    close(fd);
    EXPECT_EQ(bytes, "http://a\t 5000000000\r\nhttp://b\t 18446744073709551615\r\n");
}

}  // namespace
}  // namespace kestrin
