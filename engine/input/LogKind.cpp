#include "input/LogKind.h"

#include <cstdint>

namespace kestrin {
namespace {

struct Magic {
    std::string_view bytes;
    LogKind kind;
};

using namespace std::string_view_literals;

// Forms told by the bytes they start with. A format with a short magic is checked
// on more of its header, so that text is not taken for it.
constexpr Magic kMagics[] = {
    {"\x1f\x8b"sv, {LogForm::Gzip, "gzip data"}},
    {"\x28\xb5\x2f\xfd"sv, {LogForm::Zstd, "zstd data"}},
    {"\xfd"
     "7zXZ\x00"sv,
     {LogForm::Xz, "xz data"}},
    {"\x04\x22\x4d\x18"sv, {LogForm::Lz4, "lz4 data"}},
    {"PK\x03\x04"sv, {LogForm::Zip, "a zip archive"}},
    {"PK\x05\x06"sv, {LogForm::Zip, "a zip archive"}},
    {"PK\x07\x08PK\x03\x04"sv, {LogForm::Zip, "a zip archive"}},
    {"7z\xbc\xaf\x27\x1c"sv, {LogForm::Unreadable, "a 7z archive"}},
    {"Rar!\x1a\x07"sv, {LogForm::Unreadable, "a RAR archive"}},
    {"MSCF\0\0\0\0"sv, {LogForm::Unreadable, "a cabinet archive"}},
    {"\x89LZO\x00\x0d\x0a\x1a\x0a"sv, {LogForm::Unreadable, "lzop data"}},
    {"LZIP\x01"sv, {LogForm::Unreadable, "lzip data"}},
    {"\x1f\x9d"sv, {LogForm::Unreadable, "compress (.Z) data"}},
    {"\x02\x21\x4c\x18"sv, {LogForm::Unreadable, "lz4 data of the legacy format"}},
};

std::uint32_t LittleEndian32(std::string_view bytes) {
    return std::uint32_t(std::uint8_t(bytes[0])) | std::uint32_t(std::uint8_t(bytes[1])) << 8 |
           std::uint32_t(std::uint8_t(bytes[2])) << 16 |
           std::uint32_t(std::uint8_t(bytes[3])) << 24;
}

// A skippable frame (magic 0x184D2A50 to 0x184D2A5F) may open a zstd or an lz4 log
// alike: the frame after it tells which, and zstd is taken when the head ends first.
bool IsSkippableFrame(std::string_view head) {
    return head.size() >= 8 && (std::uint8_t(head[0]) & 0xf0) == 0x50 &&
           head.substr(1, 3) == "\x2a\x4d\x18"sv;
}

LogKind AfterSkippableFrames(std::string_view head) {
    while (IsSkippableFrame(head)) {
        const std::uint64_t skipped = 8 + std::uint64_t(LittleEndian32(head.substr(4)));
        if (skipped >= head.size()) return {LogForm::Zstd, "zstd data"};
        head.remove_prefix(std::size_t(skipped));
    }
    if (head.starts_with("\x04\x22\x4d\x18"sv)) return {LogForm::Lz4, "lz4 data"};
    return {LogForm::Zstd, "zstd data"};
}

// "BZh", the block size, and the magic of a first block or of the end of an empty
// stream: four letters alone could open a line of text.
bool IsBzip2(std::string_view head) {
    return head.size() >= 10 && head.starts_with("BZh") && head[3] >= '1' && head[3] <= '9' &&
           (head.substr(4, 6) == "\x31\x41\x59\x26\x53\x59"sv ||
            head.substr(4, 6) == "\x17\x72\x45\x38\x50\x90"sv);
}

// POSIX and GNU tar put "ustar" at 257 of every header.
bool IsTar(std::string_view head) {
    return head.size() >= 263 && head.substr(257, 5) == "ustar";
}

}  // namespace

LogKind KindOf(std::string_view head) {
    if (IsSkippableFrame(head)) return AfterSkippableFrames(head);
    for (const Magic& magic : kMagics) {
        if (head.starts_with(magic.bytes)) return magic.kind;
    }
    if (IsBzip2(head)) return {LogForm::Bzip2, "bzip2 data"};
    if (IsTar(head)) return {LogForm::Tar, "a tar archive"};
    return {LogForm::Text, "text"};
}

}  // namespace kestrin
