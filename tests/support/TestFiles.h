#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kestrin::testing {

#ifdef _WIN32
/// UTF-8 as Windows' UTF-16.
inline std::wstring Wide(const std::string& utf8) {
    std::wstring wide(
        std::size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0)),
        L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), int(wide.size()));
    return wide;
}
#endif

/// A path of UTF-8 text, as the system's file functions take it. Windows would
/// read narrow text in its ANSI code page and stop at 260 characters, so there it
/// is made wide, and an absolute one is given the long form.
inline std::filesystem::path Native(const std::string& utf8) {
#ifdef _WIN32
    std::wstring wide = Wide(utf8);
    const bool absolute =
        wide.size() > 2 && wide[1] == L':' && (wide[2] == L'/' || wide[2] == L'\\');
    if (!absolute) return wide;
    for (wchar_t& unit : wide)
        if (unit == L'/') unit = L'\\';
    return L"\\\\?\\" + wide;
#else
    return utf8;
#endif
}

/// A fresh temporary directory, open to every user (for tests that drop root's
/// privileges), removed with its contents at the end of the test.
class TempDir {
  public:
    TempDir() {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; path_.empty(); ++attempt) {
            const auto name = std::filesystem::temp_directory_path() /
                              ("kestrin-" + std::to_string(now) + "-" + std::to_string(attempt));
            if (std::filesystem::create_directory(name)) {
                const std::u8string utf8 = name.generic_u8string();
                path_.assign(utf8.begin(), utf8.end());
            }
            if (attempt == 100) throw std::runtime_error("cannot make a temporary folder");
        }
        std::filesystem::permissions(Native(path_), std::filesystem::perms::all);
    }
    ~TempDir() {
        std::error_code ignored;  // unlock what a test locked, then remove it all
        for (auto& entry : std::filesystem::recursive_directory_iterator(Native(path_), ignored))
            if (entry.is_directory(ignored) && !entry.is_symlink(ignored))
                std::filesystem::permissions(entry.path(), std::filesystem::perms::all, ignored);
        std::filesystem::remove_all(Native(path_), ignored);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(Native(path), std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(Native(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// True when `path` names anything, a dangling link included.
inline bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::symlink_status(Native(path), ignored).type() !=
           std::filesystem::file_type::not_found;
}

/// A file of tests/data.
inline std::string TestData(const std::string& name) {
    return ReadFile(KESTRIN_TEST_DATA "/" + name);
}

/// For this process and the programs it starts.
inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

}  // namespace kestrin::testing
