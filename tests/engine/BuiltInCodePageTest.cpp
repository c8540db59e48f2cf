// The default code page's tables come without a converter of ICU's opened: a run of
// a short log would spend a good part of its time on it. ICU keeps the data of
// every converter opened until its cache is flushed, which says how many it held.

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include "os/CodePageTables.h"

namespace kestrin {
namespace {

TEST(BuiltInCodePage, TheDefaultPageAndUtf8OpenNoConverter) {
    ucnv_flushCache();
    for (const char* name : {"CP932", "Shift_JIS", "windows-31j", "utf-8", "CP65001"}) {
        ASSERT_TRUE(os::ReadCodePageTables(name)) << name;
        EXPECT_EQ(ucnv_flushCache(), 0) << name << " opened a converter";
    }
    // A page the program does not hold opens one, as the system's reading of 932 does.
    for (const char* name : {"windows-1252", "ibm-943_P15A-2003"}) {
        ASSERT_TRUE(os::ReadCodePageTables(name)) << name;
        EXPECT_GT(ucnv_flushCache(), 0) << name;
    }
    ASSERT_TRUE(os::ReadSystemCodePageTables("CP932"));
    EXPECT_GT(ucnv_flushCache(), 0);
}

}  // namespace
}  // namespace kestrin
