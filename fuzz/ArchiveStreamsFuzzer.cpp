// The logs an input holds (itself, its text, an archive's members), read once from
// a file and once from a pipe that hands its bytes over a few at a time: the same
// logs with the same bytes, the same members passed over and the same warnings, or
// the same fault; only a hard link's member, which a pipe cannot give again, may
// end the pipe's reading early, with words of its own.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "input/OpenedLog.h"

using namespace kestrin;
using namespace kestrin::fuzz;

namespace {

// Decompressed bombs stop here, alike on both roads.
constexpr std::size_t kMostBytes = 8 << 20;

// A pipe: the bytes in pieces of changing sizes, as a slow writer gives them.
class PipeSource : public ByteSource {
  public:
    PipeSource(std::string_view bytes, std::uint8_t pace) : bytes_(bytes), pace_(pace) {}
    Result<std::size_t> Read(char* into, std::size_t size) override {
        const std::size_t piece = 1 + (pace_ * 7919u + at_ * 31u) % (pace_ < 128 ? 13 : 5000);
        const std::size_t part = std::min({size, piece, bytes_.size() - at_});
        bytes_.copy(into, part, at_);
        at_ += part;
        return part;
    }
    std::int64_t Consumed() const override { return std::int64_t(at_); }

  private:
    std::string_view bytes_;
    std::uint8_t pace_;
    std::size_t at_ = 0;
};

// What reading an input's logs came to.
struct Streamed {
    std::string logs;   // each member's name, a NUL, its bytes and a 0x01
    std::string fault;  // or "cut" at kMostBytes
    std::string rest;   // the members passed over, and the warnings
};

Streamed ReadAll(LogStreams& streams) {
    Streamed read;
    std::vector<char> buffer(4096);
    Result<ByteSource*> stream = streams.Next();
    for (; stream && *stream; stream = streams.Next()) {
        read.logs += streams.MemberName() + '\0';
        Result<std::size_t> got = std::size_t(1);
        while (got && *got > 0 && read.logs.size() < kMostBytes) {
            got = (*stream)->Read(buffer.data(), buffer.size());
            if (got) read.logs.append(buffer.data(), *got);
        }
        if (!got || read.logs.size() >= kMostBytes) {
            read.fault = got ? "cut" : got.Failure().Reason();
            return read;
        }
        read.logs += '\1';
    }
    if (!stream) {
        read.fault = stream.Failure().Reason();
        return read;
    }
    const SkippedMembers& skipped = streams.Skipped();
    read.rest = std::to_string(skipped.folders) + " " + std::to_string(skipped.symbolicLinks) +
                " " + std::to_string(skipped.specialFiles) + " " + std::to_string(skipped.metadata);
    for (const std::string& warning : streams.Warnings()) read.rest += "; " + warning;
    return read;
}

// True when one is the start of the other.
bool OneStartsTheOther(const std::string& one, const std::string& other) {
    return one.size() <= other.size() ? other.starts_with(one) : one.starts_with(other);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Four leading bytes, as every fuzz target here has: the first is the pipe's pace.
    if (size < 4) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 4), size - 4);

    const ScratchFile file(input);
    Result<FoundLog> found = FindLog(file.Path());
    Check(bool(found), "a memory file is a log");
    Result<std::unique_ptr<OpenedLog>> opened = OpenedLog::Open(*found);
    Check(opened && !(*opened)->Failure(), "a memory file opens");
    LogStreams fromFile = (*opened)->Streams();
    const Streamed byFile = ReadAll(fromFile);

    PipeSource pipe(input, data[0]);
    PeekedSource peeked(pipe, kHeadBytes);
    LogStreams fromPipe(peeked, nullptr);
    const Streamed byPipe = ReadAll(fromPipe);

    // What was read before a fault or the cut may end sooner or later on one road:
    // a decoder that meets damage in the bytes it was given hands out none of them.
    Check(OneStartsTheOther(byPipe.logs, byFile.logs), "a pipe gives the logs a file gives");
    if (byPipe.fault == "cut" || byFile.fault == "cut") return 0;
    if (byPipe.fault.find("which standard input cannot give again") != std::string::npos) return 0;
    Check(byPipe.fault == byFile.fault, "a pipe fails as a file does",
          byPipe.fault + " | " + byFile.fault);
    if (byPipe.fault.empty()) {
        Check(byPipe.logs == byFile.logs && byPipe.rest == byFile.rest,
              "a pipe gives the logs a file gives, passes over what it does and warns alike");
    }
    return 0;
}
