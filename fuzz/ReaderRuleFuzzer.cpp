// The reader and the cutting rule on arbitrary bytes, with an arbitrary code page,
// keyword and buffer size: every line must be the bytes the rules cut, the byte
// positions must add up to the log's length, and every URL must be the one the
// rule finds in the decoded, lower-cased line.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "CuttingRule.h"
#include "FuzzInput.h"
#include "LogReader.h"
#include "ReferenceModel.h"

using namespace kestrin;
using namespace kestrin::fuzz;

namespace {

int LogDescriptor(std::string_view log) {
    int fd = memfd_create("log", MFD_CLOEXEC);
    if (fd < 0) Broken("memfd_create failed");
    for (std::size_t done = 0; done < log.size();) {
        ssize_t wrote = write(fd, log.data() + done, log.size() - done);
        if (wrote <= 0) Broken("writing the log failed");
        done += std::size_t(wrote);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string Describe(std::size_t index, std::int64_t readPos) {
    return "line " + std::to_string(index) + " at position " + std::to_string(readPos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    std::string pageName;
    const CodePage& page = ChosenCodePage(data[0], pageName);
    const char16_t keyword = ChosenKeyword(page, data[1]);
    // Small buffers put buffer edges inside lines, pairs and CR LF terminators.
    const std::size_t bufferSize = 2048 + std::size_t(data[2]) * 61;
    const std::string_view log(reinterpret_cast<const char*>(data + 3), size - 3);

    const CuttingRule rule(page, keyword);
    const std::vector<ModelLine> expected = ModelLines(log);
    const int fd = LogDescriptor(log);
    LogReader reader(fd, bufferSize);

    std::size_t index = 0;
    std::int64_t readPos = 1;
    std::int64_t lastPos = 1;
    for (;;) {
        const std::int64_t at = readPos;
        std::string_view line = ReadLogLine(reader, readPos);
        if (readPos <= 0) {
            Check(readPos == -100, "the end of the log sets -100", Describe(index, at));
            Check(line.empty(), "the end of the log is an empty line", Describe(index, at));
            break;
        }
        Check(index < expected.size(), "no line past the end of the log", Describe(index, at));
        const ModelLine& want = expected[index];
        Check(at == std::int64_t(want.start) + 1, "a line starts where the last one ended",
              Describe(index, at));
        Check(line == log.substr(want.start, want.length), "a line is the log's own bytes",
              Describe(index, at));
        Check(readPos == std::int64_t(want.next) + 1, "the position moves past the terminator",
              Describe(index, at));
        lastPos = readPos;

        const std::optional<std::string_view> url = ExtractUrl(line, rule);
        const std::optional<std::string_view> wantUrl = ModelUrl(line, page, keyword);
        Check(url.has_value() == wantUrl.has_value(), "a URL is found where the rule finds one",
              Describe(index, at) + " " + pageName);
        if (url) {
            Check(url->data() >= line.data() &&
                      url->data() + url->size() <= line.data() + line.size(),
                  "the URL lies inside its line", Describe(index, at));
            Check(*url == *wantUrl && url->data() == wantUrl->data(),
                  "the URL is the bytes the rule cuts", Describe(index, at) + " " + pageName);
        }
        ++index;
    }
    Check(index == expected.size(), "every line of the log is read");
    Check(reader.Error() == 0, "reading a memory file never fails");
    Check(reader.BytesRead() == std::int64_t(log.size()), "the reader reads the whole log");
    // The positions add up: the last line ends at the log's end, or one past it
    // when that line has no terminator.
    const std::int64_t length = std::int64_t(log.size());
    Check(log.empty() || lastPos == length + 1 || lastPos == length + 2,
          "the byte positions add up to the log's length");
    close(fd);
    return 0;
}
