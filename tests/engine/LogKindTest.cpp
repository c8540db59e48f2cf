// What a log is, told by whole headers: the header of each form that is read, as
// its own tool makes it, reads as that form; the same header with one byte off, or
// cut short, reads as text, as does text that shares a few bytes with a header.

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "input/LogKind.h"

namespace kestrin {
namespace {

using namespace testing;

TEST(LogKind, RealHeadersAreTheirFormsAndNearMissesText) {
    const auto made = [](const char* name) {
        return ReadFile(KESTRIN_TEST_LOGS "/" + std::string(name));
    };
    // gzip -c, zstd -q, xz, bzip2, lz4 -q, tar and zip of make_test_logs.sh; a zstd
    // and an lz4 frame after a skippable frame; a tar of the old format, before
    // "ustar"; zip's record of an empty archive.
    const std::string gz = made("access.log.gz"), zst = made("one.zst"), xz = made("a.xz"),
                      bz2 = made("a.bz2"), lz4 = made("one.lz4"), tar = made("whole.tar"),
                      zip = made("a.zip"), skippedZst = made("a.zst"), skippedLz4 = made("a.lz4"),
                      v7 = made("v7.tar");
    const std::string emptyZip = "PK\x05\x06" + std::string(18, '\0');
    const std::string custard = "GET " + std::string(252, 'x') + "custard http://h/ x\n";
    const struct {
        const std::string& bytes;
        std::size_t at;
        unsigned flip;     // the bits of byte `at` turned over; 0: none
        std::size_t keep;  // the first bytes kept; 0: all
        LogForm form;
    } cases[] = {
        {gz, 0, 0, 0, LogForm::Gzip},
        {gz, 1, 0x01, 0, LogForm::Text},  // magic
        {gz, 2, 0x0f, 0, LogForm::Text},  // a method other than deflate
        {gz, 3, 0x20, 0, LogForm::Text},  // a reserved flag
        {gz, 0, 0, 9, LogForm::Text},     // short of the header's ten bytes
        {zst, 0, 0, 0, LogForm::Zstd},
        {skippedZst, 0, 0, 0, LogForm::Zstd},
        {zst, 3, 0x01, 0, LogForm::Text},  // magic
        {zst, 4, 0x08, 0, LogForm::Text},  // the descriptor's reserved bit
        {zst, 0, 0, 5, LogForm::Text},     // the window descriptor missing
        {xz, 0, 0, 0, LogForm::Xz},
        {xz, 5, 0x01, 0, LogForm::Text},  // magic
        {xz, 7, 0x01, 0, LogForm::Text},  // flags that the CRC32 does not match
        {xz, 9, 0x01, 0, LogForm::Text},  // the CRC32
        {xz, 0, 0, 11, LogForm::Text},
        {bz2, 0, 0, 0, LogForm::Bzip2},
        {bz2, 3, 0x09, 0, LogForm::Text},  // block size '0'
        {bz2, 4, 0x01, 0, LogForm::Text},  // the block's magic
        {bz2, 0, 0, 9, LogForm::Text},
        {lz4, 0, 0, 0, LogForm::Lz4},
        {skippedLz4, 0, 0, 0, LogForm::Lz4},
        {lz4, 0, 0x01, 0, LogForm::Text},  // magic
        {lz4, 4, 0x80, 0, LogForm::Text},  // the descriptor's version
        {lz4, 6, 0x01, 0, LogForm::Text},  // the descriptor's checksum
        {lz4, 0, 0, 6, LogForm::Text},
        {tar, 0, 0, 0, LogForm::Tar},
        {tar, 0, 0x01, 0, LogForm::Text},    // the name, which the checksum no longer matches
        {tar, 150, 0x01, 0, LogForm::Text},  // the checksum
        {tar, 257, 0x01, 0, LogForm::Text},  // "ustar"
        {tar, 0, 0, 511, LogForm::Text},
        {v7, 0, 0, 0, LogForm::Text},  // a checksum that comes out, but no "ustar"
        {zip, 0, 0, 0, LogForm::Zip},
        {emptyZip, 0, 0, 0, LogForm::Zip},
        {zip, 2, 0x01, 0, LogForm::Text},        // signature
        {zip, 4, 0x80, 0, LogForm::Text},        // version 14.8
        {zip, 7, 0x80, 0, LogForm::Text},        // a reserved flag
        {zip, 8, 0x40, 0, LogForm::Text},        // a method zip does not name
        {zip, 27, 0x10, 0, LogForm::Text},       // a name past the bytes read
        {zip, 0, 0, 29, LogForm::Text},          // short of the header
        {emptyZip, 10, 0x01, 0, LogForm::Text},  // an entry in an empty archive
        {custard, 0, 0, 0, LogForm::Text},       // "ustar" at 257
    };
    for (const auto& c : cases) {
        std::string head = c.bytes.substr(0, c.keep == 0 ? std::string::npos : c.keep);
        ASSERT_GT(head.size(), c.at);
        head[c.at] = char(head[c.at] ^ c.flip);
        EXPECT_EQ(int(KindOf(head).form), int(c.form))
            << KindOf(c.bytes).name << " with byte " << c.at << " ^ " << c.flip << ", "
            << head.size() << " bytes";
    }
}

}  // namespace
}  // namespace kestrin
