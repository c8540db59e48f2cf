// The reader and the cutting rule on arbitrary bytes, with an arbitrary code page,
// keyword and buffer size: every line must be the bytes the rules cut, at its
// position, and every URL the one the rule finds in the decoded, lower-cased line.

#include <unistd.h>

#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "ReferenceModel.h"
#include "input/LogReader.h"
#include "text/CuttingRule.h"

using namespace kestrin;
using namespace kestrin::fuzz;

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
    const int fd = MemoryFile(log);
    LogReader reader(fd, bufferSize);
    std::size_t index = 0;
    while (std::optional<LogLine> line = reader.NextLine()) {
        const std::string where = "line " + std::to_string(index) + " " + pageName;
        Check(index < expected.size(), "no line past the end of the log", where);
        const ModelLine& want = expected[index++];
        Check(line->position == std::int64_t(want.start) + 1 &&
                  line->text == log.substr(want.start, want.length),
              "a line is the log's own bytes where the rules put it", where);
        const std::optional<std::string_view> url = ExtractUrl(line->text, rule);
        const std::optional<std::string_view> wantUrl = ModelUrl(line->text, page, keyword);
        Check(url.has_value() == wantUrl.has_value() &&
                  (!url || (*url == *wantUrl && url->data() == wantUrl->data())),
              "the URL is the bytes the rule cuts", where);
    }
    Check(index == expected.size(), "every line of the log is read");
    Check(reader.Error() == 0 && reader.BytesRead() == std::int64_t(log.size()),
          "the reader reads the whole log");

    close(fd);
    return 0;
}
