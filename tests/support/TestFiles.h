#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kestrin::testing {

/// A fresh temporary directory, open to every user (for tests that drop root's
/// privileges), removed with its contents at the end of the test.
class TempDir {
  public:
    TempDir() {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; path_.empty(); ++attempt) {
            const auto name = std::filesystem::temp_directory_path() /
                              ("kestrin-" + std::to_string(now) + "-" + std::to_string(attempt));
            if (std::filesystem::create_directory(name)) path_ = name.generic_string();
            if (attempt == 100) throw std::runtime_error("cannot make a temporary folder");
        }
        std::filesystem::permissions(path_, std::filesystem::perms::all);
    }
    ~TempDir() {
        std::error_code ignored;  // unlock what a test locked, then remove it all
        for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            if (entry.is_directory(ignored) && !entry.is_symlink(ignored))
                std::filesystem::permissions(entry.path(), std::filesystem::perms::all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// True when `path` names anything, a dangling link included.
inline bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::symlink_status(path, ignored).type() !=
           std::filesystem::file_type::not_found;
}

/// A file of tests/data.
inline std::string TestData(const std::string& name) {
    return ReadFile(KESTRIN_TEST_DATA "/" + name);
}

}  // namespace kestrin::testing
