#pragma once

// How the fuzzers read their input: a few leading bytes choose the code page, the
// keyword and the run's options, and the rest is the log.

#include <sys/mman.h>
#include <unistd.h>
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

/// A descriptor of a file in memory holding `content`, read from its start.
inline int MemoryFile(std::string_view content) {
    int fd = memfd_create("fuzz", MFD_CLOEXEC);
    if (fd < 0 || write(fd, content.data(), content.size()) != ssize_t(content.size())) {
        Broken("cannot make a memory file");
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace kestrin::fuzz
