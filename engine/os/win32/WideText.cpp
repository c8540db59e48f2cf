#include "os/win32/WideText.h"

#include <cerrno>
#include <vector>

namespace kestrin::os::win32 {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), size);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), size, nullptr,
                        nullptr);
    return utf8;
}

std::wstring SystemPath(const std::string& path) {
    const std::wstring wide = Wide(path);
    if (wide.empty() || wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) return wide;
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return wide;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
    if (full.starts_with(L"\\\\.\\")) return full;  // a device: NUL, CON, COM1
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

Fault WindowsFault(DWORD error) {
    struct Meaning {
        DWORD error;
        int errnoValue;
        const char* words;  // where the errno's own text would mislead
    };
    static constexpr Meaning kMeanings[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT, nullptr},
        {ERROR_PATH_NOT_FOUND, ENOENT, nullptr},
        {ERROR_INVALID_NAME, ENOENT, "the name is not a valid file name"},
        {ERROR_BAD_NETPATH, ENOENT, nullptr},
        {ERROR_INVALID_DRIVE, ENOENT, nullptr},
        {ERROR_ACCESS_DENIED, EACCES, nullptr},
        {ERROR_WRITE_PROTECT, EROFS, nullptr},
        {ERROR_SHARING_VIOLATION, EBUSY, "the file is in use by another program"},
        {ERROR_LOCK_VIOLATION, EBUSY, "the file is in use by another program"},
        {ERROR_DISK_FULL, ENOSPC, nullptr},
        {ERROR_HANDLE_DISK_FULL, ENOSPC, nullptr},
        {ERROR_NOT_ENOUGH_MEMORY, ENOMEM, nullptr},
        {ERROR_OUTOFMEMORY, ENOMEM, nullptr},
        {ERROR_FILE_EXISTS, EEXIST, nullptr},
        {ERROR_ALREADY_EXISTS, EEXIST, nullptr},
        {ERROR_DIRECTORY, ENOTDIR, nullptr},
        {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG, nullptr},
        {ERROR_BROKEN_PIPE, EPIPE, nullptr},
        {ERROR_NO_DATA, EPIPE, nullptr},
        {ERROR_INVALID_HANDLE, EBADF, nullptr},
    };
    for (const Meaning& meaning : kMeanings) {
        if (meaning.error == error)
            return Fault{meaning.errnoValue, meaning.words ? meaning.words : ""};
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words = length > 0 ? Utf8({text, length}) : "";
    LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
        words.pop_back();
    if (words.empty()) words = "Windows error " + std::to_string(error);
    return Fault{EIO, words};
}

}  // namespace kestrin::os::win32
