#pragma once

// How the fuzzers read their input: a few leading bytes choose the code page, the
// keyword and the run's options, and the rest is the log.

#ifdef _WIN32
#include <process.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/CodePage.h"

namespace kestrin::fuzz {

inline constexpr const char* kCodePages[] = {"CP932", "windows-1252", "CP936",
                                             "CP949", "CP950",        "UTF-8"};

/// Stops the fuzzer with a message that names the broken rule.
[[noreturn]] inline void Broken(const char* rule, const std::string& detail = {}) {
    std::fprintf(stderr, "invariant broken: %s %s\n", rule, detail.c_str());
    std::abort();
}

inline void Check(bool holds, const char* rule, const std::string& detail = {}) {
    if (!holds) Broken(rule, detail);
}

/// The code page named by `choice`, opened once per name for the whole fuzzing run.
inline const CodePage& ChosenCodePage(std::uint8_t choice, std::string& name) {
    name = kCodePages[choice % std::size(kCodePages)];
    const Result<const CodePage*> page = CodePage::Shared(name);
    Check(bool(page), "every fuzzed code page opens", page.Failure().Reason());
    return **page;
}

/// A keyword of one single-byte character of the code page, taken from `byte`
/// (upper-case letters too), or one space for a lead byte or one that does not decode.
inline char16_t ChosenKeyword(const CodePage& page, std::uint8_t byte) {
    if (page.IsLead(byte)) return u' ';
    std::u16string units;
    page.Decode(std::string_view(reinterpret_cast<const char*>(&byte), 1), units);
    if (units.size() != 1 || (units[0] >= 0xD800 && units[0] <= 0xDFFF)) return u' ';
    return units[0];
}

/// A file holding `content`, named by a path the engine opens as it opens any file:
/// in memory where the system has such files, else a temporary file.
class ScratchFile {
  public:
#ifdef _WIN32
    explicit ScratchFile(std::string_view content) {
        static std::atomic<unsigned> made = 0;
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() /
            ("kestrin-fuzz-" + std::to_string(_getpid()) + "-" + std::to_string(made++));
        std::ofstream(path, std::ios::binary)
            .write(content.data(), std::streamsize(content.size()));
        path_ = path.string();
    }
    ~ScratchFile() {
        std::remove(path_.c_str());
    }
    std::string Bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
#else
    explicit ScratchFile(std::string_view content) : fd_(memfd_create("fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0 || write(fd_, content.data(), content.size()) != ssize_t(content.size()))
            Broken("cannot make a memory file");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~ScratchFile() {
        close(fd_);
    }
    std::string Bytes() const {
        std::string bytes;
        char chunk[65536];
        for (ssize_t got; (got = pread(fd_, chunk, sizeof chunk, off_t(bytes.size()))) > 0;)
            bytes.append(chunk, std::size_t(got));
        return bytes;
    }
#endif
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& Path() const {
        return path_;
    }

  private:
#ifndef _WIN32
    int fd_;
#endif
    std::string path_;
};

}  // namespace kestrin::fuzz
