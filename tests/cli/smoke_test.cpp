#include <gtest/gtest.h>

#include <sstream>

#include "CommandLine.h"

TEST(CommandLine, UnknownOptionIsAUsageError) {
    std::ostringstream out, err;
    EXPECT_EQ(kestrin::RunCommandLine({"--frobnicate"}, {out, -1, err, false}), 2);
    EXPECT_NE(err.str().find("usage: kestrin-cut"), std::string::npos);
}
