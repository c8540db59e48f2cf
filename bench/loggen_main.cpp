// kestrin-loggen: writes a deterministic access log for the benchmarks.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "AccessLogGenerator.h"

namespace {

constexpr const char* kUsage =
    "usage: kestrin-loggen [--size BYTES[K|M|G]] [--distinct N] [--seed S] OUT\n"
    "  Writes a combined-format access log of about BYTES (default 1G) to OUT\n"
    "  (\"-\" for standard output) whose referrers come from N distinct URLs\n"
    "  (default 200000). The same options give the same bytes.\n";

std::optional<std::uint64_t> ParseCount(const std::string& text, bool allowSuffix) {
    std::size_t used = 0;
    std::uint64_t value = 0;
    try {
        value = std::stoull(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::string suffix = text.substr(used);
    if (suffix.empty()) return value;
    if (!allowSuffix || suffix.size() != 1) return std::nullopt;
    switch (suffix[0]) {
        case 'K':
            return value << 10;
        case 'M':
            return value << 20;
        case 'G':
            return value << 30;
        default:
            return std::nullopt;
    }
}

int Usage(const std::string& problem) {
    std::cerr << "kestrin-loggen: " << problem << '\n' << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    kestrin::bench::AccessLogGenerator::Options options;
    std::string outPath;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        bool isOption = arg == "--size" || arg == "--distinct" || arg == "--seed";
        if (!isOption) {
            if (!outPath.empty()) return Usage("more than one OUT");
            outPath = arg;
            continue;
        }
        if (i + 1 == argc) return Usage(arg + " needs a value");
        std::optional<std::uint64_t> value = ParseCount(argv[++i], arg == "--size");
        if (!value) return Usage("bad value for " + arg);
        if (arg == "--size") options.targetBytes = *value;
        if (arg == "--distinct") options.distinctUrls = std::size_t(*value);
        if (arg == "--seed") options.seed = *value;
    }
    if (outPath.empty()) return Usage("name the OUT file");
    if (options.distinctUrls == 0) return Usage("--distinct must be at least 1");

    std::FILE* out = outPath == "-" ? stdout : std::fopen(outPath.c_str(), "wb");
    if (out == nullptr) {
        std::cerr << "kestrin-loggen: cannot write " << outPath << ": " << std::strerror(errno)
                  << '\n';
        return 1;
    }
    kestrin::bench::AccessLogGenerator generator(options);
    std::string chunk;
    bool more = true;
    while (more) {
        chunk.clear();
        while (chunk.size() < (1 << 20) && (more = generator.NextLine(chunk))) {
        }
        if (std::fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size()) {
            std::cerr << "kestrin-loggen: write failed on " << outPath << '\n';
            return 1;
        }
    }
    if (std::fclose(out) != 0) {
        std::cerr << "kestrin-loggen: write failed on " << outPath << '\n';
        return 1;
    }
    return 0;
}
