#include "input/LogKind.h"

#include <charconv>
#include <cstdint>
#include <new>
#include <optional>

#include "input/CompressionLibraries.h"

namespace kestrin {
namespace {

using namespace std::string_view_literals;

std::uint8_t Byte(std::string_view head, std::size_t at) {
    return std::uint8_t(head[at]);
}

unsigned LittleEndian16(std::string_view head, std::size_t at) {
    return Byte(head, at) | unsigned(Byte(head, at + 1)) << 8;
}

// gzip's header: its magic, deflate (the only method gzip has), no flag it
// reserves, and its ten bytes whole.
bool IsGzip(std::string_view head) {
    return head.size() >= 10 && head.starts_with("\x1f\x8b\x08"sv) && (Byte(head, 3) & 0xe0) == 0;
}

// The compression libraries read a header only after their magic, which a log
// of text never starts with: they are loaded for a log that does. Where one
// cannot be, the magic alone tells the form, whose decoder then says why it
// cannot be read.

// zstd's own reading of a frame's header: its magic and a descriptor zstd takes
// (no reserved bit, a window it can hold), or a skippable frame's magic and size.
std::optional<ZSTD_frameHeader> ZstdFrame(std::string_view head) {
    if (head.size() < 4) return std::nullopt;
    const bool frame = head.starts_with("\x28\xb5\x2f\xfd"sv);
    const bool skippable = (Byte(head, 0) & 0xf0) == 0x50 && head.substr(1, 3) == "\x2a\x4d\x18"sv;
    if (!frame && !skippable) return std::nullopt;
    const Result<const ZstdLibrary*> zstd = LoadZstdLibrary();
    ZSTD_frameHeader header{};
    if (!zstd) {
        if (skippable && head.size() < ZSTD_SKIPPABLEHEADERSIZE) return std::nullopt;
        header.frameType = skippable ? ZSTD_skippableFrame : ZSTD_frame;
        if (skippable)
            header.frameContentSize = LittleEndian16(head, 4) | LittleEndian16(head, 6) << 16;
        return header;
    }
    // An error, or above 0: the header needs more bytes than the log has.
    if ((*zstd)->ZSTD_getFrameHeader(&header, head.data(), head.size()) != 0) return std::nullopt;
    return header;
}

// liblz4's own reading of a frame's header: its magic and a descriptor it takes,
// whose checksum comes out.
bool IsLz4(std::string_view head) {
    if (!head.starts_with("\x04\x22\x4d\x18"sv)) return false;
    const Result<const Lz4Library*> lz4 = LoadLz4Library();
    if (!lz4) return true;
    LZ4F_dctx* context = nullptr;
    if ((*lz4)->LZ4F_isError((*lz4)->LZ4F_createDecompressionContext(&context, LZ4F_VERSION)))
        throw std::bad_alloc();
    LZ4F_frameInfo_t info{};
    std::size_t size = head.size();
    const std::size_t rc = (*lz4)->LZ4F_getFrameInfo(context, &info, head.data(), &size);
    (*lz4)->LZ4F_freeDecompressionContext(context);
    return !(*lz4)->LZ4F_isError(rc) && info.frameType == LZ4F_frame;
}

// A skippable frame may open a zstd or an lz4 log alike: the frame after it tells
// which. When the head ends first, the frames are passed over before it is told.
LogKind AfterSkippableFrames(std::string_view head) {
    for (std::optional<ZSTD_frameHeader> frame = ZstdFrame(head);
         frame && frame->frameType == ZSTD_skippableFrame; frame = ZstdFrame(head)) {
        const std::uint64_t skipped = ZSTD_SKIPPABLEHEADERSIZE + frame->frameContentSize;
        if (skipped >= head.size()) return {LogForm::SkippableFrames, "skippable frames"};
        head.remove_prefix(std::size_t(skipped));
    }
    if (IsLz4(head)) return {LogForm::Lz4, "lz4 data"};
    return {LogForm::Zstd, "zstd data"};
}

// liblzma's own reading of a stream header: its magic, and flags whose CRC32 comes
// out. Flags this liblzma does not know still make xz data, which its decoder then
// says it cannot read.
bool IsXz(std::string_view head) {
    if (head.size() < LZMA_STREAM_HEADER_SIZE || !head.starts_with("\xfd\x37zXZ\x00"sv))
        return false;
    const Result<const XzLibrary*> xz = LoadXzLibrary();
    if (!xz) return true;
    lzma_stream_flags flags;
    const lzma_ret rc = (*xz)->lzma_stream_header_decode(
        &flags, reinterpret_cast<const std::uint8_t*>(head.data()));
    return rc == LZMA_OK || rc == LZMA_OPTIONS_ERROR;
}

// "BZh", the block size, and the magic of a first block or of the end of an empty
// stream: four letters alone could open a line of text.
bool IsBzip2(std::string_view head) {
    return head.size() >= 10 && head.starts_with("BZh") && head[3] >= '1' && head[3] <= '9' &&
           (head.substr(4, 6) == "\x31\x41\x59\x26\x53\x59"sv ||
            head.substr(4, 6) == "\x17\x72\x45\x38\x50\x90"sv);
}

// A zip's first local file header whole: its signature; the version, flags and
// method some zip writer could have put there (no version past 6.3, no flag the
// format leaves unused or reserves, a method it names); and a name that ends
// within the bytes read.
bool IsZipMember(std::string_view head) {
    if (head.size() < 30 || !head.starts_with("PK\x03\x04"sv)) return false;
    const unsigned method = LittleEndian16(head, 8), nameLength = LittleEndian16(head, 26);
    return Byte(head, 4) <= 63 && (LittleEndian16(head, 6) & 0xd780) == 0 &&
           (method <= 20 || (method >= 93 && method <= 99)) && nameLength > 0 &&
           30 + nameLength <= head.size();
}

// An empty zip: its end record alone, zero but for its signature and a comment
// that ends within the bytes read.
bool IsEmptyZip(std::string_view head) {
    return head.size() >= 22 && head.starts_with("PK\x05\x06"sv) &&
           head.substr(4, 16).find_first_not_of('\0') == std::string_view::npos &&
           22 + LittleEndian16(head, 20) <= head.size();
}

bool IsZip(std::string_view head) {
    // The first member of an archive split in parts follows a marker of its own.
    if (head.starts_with("PK\x07\x08"sv)) return IsZipMember(head.substr(4));
    return IsZipMember(head) || IsEmptyZip(head);
}

// A POSIX or GNU tar header: "ustar" at 257, and at 148 the sum of the header's
// bytes (its own field counted as blanks) in octal digits after any blanks, ended by
// a NUL or blanks. Some tars sum the bytes as signed numbers.
bool IsTar(std::string_view head) {
    if (head.size() < 512 || head.substr(257, 5) != "ustar") return false;
    std::uint64_t sum = 0;
    std::int64_t signedSum = 0;
    for (std::size_t i = 0; i < 512; ++i) {
        const char byte = i >= 148 && i < 156 ? ' ' : head[i];
        sum += std::uint8_t(byte);
        signedSum += std::int8_t(byte);
    }
    const std::string_view field = head.substr(148, 8);
    const std::size_t digits = field.find_first_not_of(' ');
    if (digits == std::string_view::npos) return false;
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(field.data() + digits, field.data() + field.size(), value, 8);
    if (error != std::errc() || end == field.data() + digits) return false;
    const std::string_view after(end, std::size_t(field.data() + field.size() - end));
    return after.find_first_not_of(" \0"sv) == std::string_view::npos &&
           (value == sum || std::int64_t(value) == signedSum);
}

// The forms that are read, each told by a whole header of its own.
struct Form {
    bool (*is)(std::string_view head);
    LogKind kind;
};

constexpr Form kForms[] = {
    {IsGzip, {LogForm::Gzip, "gzip data"}},   {IsXz, {LogForm::Xz, "xz data"}},
    {IsLz4, {LogForm::Lz4, "lz4 data"}},      {IsBzip2, {LogForm::Bzip2, "bzip2 data"}},
    {IsZip, {LogForm::Zip, "a zip archive"}}, {IsTar, {LogForm::Tar, "a tar archive"}},
};

// The forms that are not read, told by the bytes they start with, so that the
// user hears what the log is.
struct Magic {
    std::string_view bytes;
    LogKind kind;
};

constexpr Magic kUnread[] = {
    {"7z\xbc\xaf\x27\x1c"sv, {LogForm::Unreadable, "a 7z archive"}},
    {"Rar!\x1a\x07"sv, {LogForm::Unreadable, "a RAR archive"}},
    {"MSCF\0\0\0\0"sv, {LogForm::Unreadable, "a cabinet archive"}},
    {"\x89LZO\x00\x0d\x0a\x1a\x0a"sv, {LogForm::Unreadable, "lzop data"}},
    {"LZIP\x01"sv, {LogForm::Unreadable, "lzip data"}},
    {"\x1f\x9d"sv, {LogForm::Unreadable, "compress (.Z) data"}},
    {"\x02\x21\x4c\x18"sv, {LogForm::Unreadable, "lz4 data of the legacy format"}},
};

}  // namespace

LogKind KindOf(std::string_view head) {
    head = head.substr(0, kKindBytes);
    if (std::optional<ZSTD_frameHeader> frame = ZstdFrame(head)) {
        if (frame->frameType == ZSTD_skippableFrame) return AfterSkippableFrames(head);
        return {LogForm::Zstd, "zstd data"};
    }
    for (const Form& form : kForms) {
        if (form.is(head)) return form.kind;
    }
    for (const Magic& magic : kUnread) {
        if (head.starts_with(magic.bytes)) return magic.kind;
    }
    return {LogForm::Text, "text"};
}

}  // namespace kestrin
