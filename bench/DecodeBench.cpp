// How fast a compressed log is read as its text: by the engine's own decoders, and
// by libarchive's raw reading with every filter, best of three each, in MB/s of
// text. What decides which reads the logs.
//
//   kestrin-decodebench FILE...

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "input/Decoders.h"
#include "input/FileSource.h"
#include "input/LogKind.h"
#include "input/PeekedSource.h"
#include "os/File.h"

namespace {

// The text's bytes, or -1 when the file cannot be read.
long long ThroughDecoders(const std::string& path) {
    kestrin::Result<kestrin::os::File> file = kestrin::os::File::OpenForReading(path);
    if (!file) return -1;
    kestrin::FileSource source(*file);
    kestrin::PeekedSource peeked(source, 4096);
    std::unique_ptr<kestrin::ByteSource> text =
        kestrin::NewDecoder(kestrin::KindOf(peeked.Head()).form, peeked);
    if (!text) return -1;
    std::vector<char> block(1 << 20);
    long long bytes = 0;
    for (;;) {
        kestrin::Result<std::size_t> got = text->Read(block.data(), block.size());
        if (!got) return -1;
        if (*got == 0) return bytes;
        bytes += (long long)*got;
    }
}

long long ThroughLibarchive(const std::string& path) {
    archive* reader = archive_read_new();
    archive_read_support_filter_all(reader);
    archive_read_support_format_raw(reader);
    long long bytes = -1;
    archive_entry* entry = nullptr;
    if (archive_read_open_filename(reader, path.c_str(), 256 << 10) == ARCHIVE_OK &&
        archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        bytes = 0;
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        int rc;
        while ((rc = archive_read_data_block(reader, &block, &size, &offset)) == ARCHIVE_OK)
            bytes += (long long)size;
        if (rc != ARCHIVE_EOF) bytes = -1;
    }
    archive_read_free(reader);
    return bytes;
}

template <typename Read>
double BestSeconds(Read read, const std::string& path, long long& bytes) {
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        bytes = read(path);
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("%-40s %14s %10s %10s %8s\n", "file", "text bytes", "decoders", "libarchive",
                "ratio");
    for (int i = 1; i < argc; ++i) {
        long long ours = 0, theirs = 0;
        const double a = BestSeconds(ThroughDecoders, argv[i], ours);
        const double b = BestSeconds(ThroughLibarchive, argv[i], theirs);
        if (ours < 0 || ours != theirs) {
            std::printf("%-40s the two read %lld and %lld bytes\n", argv[i], ours, theirs);
            return 1;
        }
        std::printf("%-40s %14lld %7.0f MB/s %7.0f MB/s %8.2f\n", argv[i], ours,
                    double(ours) / a / 1e6, double(ours) / b / 1e6, b / a);
    }
    return 0;
}
