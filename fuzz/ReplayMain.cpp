// Runs a fuzz target without libFuzzer, so that every test run checks the engine
// against the reference model: first on the seed corpus, then on inputs made from
// it by a fixed sequence of mutations that favour the bytes the rules turn on.
//
//   replay SEED_DIRECTORY [MUTATIONS]

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SEED_DIRECTORY [MUTATIONS]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        Run(seeds.back());
    }
    if (seeds.empty()) return 1;
    // CR, LF, NUL, the scheme, the keywords, lead and trail bytes of the double-byte
    // code pages, the bytes CP932 decodes as Windows does, and UTF-8 leads of every
    // length with the edges of their second bytes.
    using namespace std::string_literals;
    static const std::string kBytes =
        "\r\n\0httpHTTP://\" ,\x82\xa0\x81\x40\x5c\x7f\x80\xfd\xe0\xb1\x1a\x1c"
        "a%~\xc2\xdf\xe0\xed\xef\xf0\xf4\xf5\x9f\xa0\xbf"s;
    const long mutations = argc > 2 ? std::stol(argv[2]) : 3000;
    std::mt19937 random(1);
    for (long i = 0; i < mutations; ++i) {
        std::string input = seeds[random() % seeds.size()];
        for (int header = 0; header < 4 && header < int(input.size()); ++header)
            input[std::size_t(header)] = char(random());
        for (std::uint32_t edits = random() % 16; edits-- > 0 && !input.empty();) {
            const std::size_t at = random() % input.size();
            // Now and then any byte value at all, so that every one meets every code page.
            const char byte = random() % 8 == 0 ? char(random()) : kBytes[random() % kBytes.size()];
            const std::string piece(random() % 4 == 0 ? 1 + random() % 1200 : 1 + random() % 4,
                                    byte);
            if (random() % 2 == 0)
                input.insert(at, piece);
            else
                input.replace(at, std::min(piece.size(), input.size() - at), piece);
        }
        Run(input);
    }
    std::printf("%zu seeds, %ld mutations: every invariant held\n", seeds.size(), mutations);
    return 0;
}
