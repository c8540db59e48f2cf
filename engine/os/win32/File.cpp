#include "os/File.h"

// windows.h (through WideText.h) before winternl.h, which builds on it.
#include "os/win32/WideText.h"

#include <winternl.h>

#include <algorithm>
#include <cerrno>
#include <utility>

// The system's own read, beneath ReadFile; winternl.h leaves it out.
extern "C" NTSTATUS NTAPI NtReadFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc,
                                     void* apcContext, IO_STATUS_BLOCK* status, void* buffer,
                                     ULONG length, LARGE_INTEGER* offset, ULONG* key);

namespace kestrin::os {
namespace {

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Reads past the end, or from a pipe whose writer has gone, are the end.
bool IsEnd(DWORD error) {
    return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

// At most this much at once: ReadFile counts in 32 bits.
constexpr std::size_t kMostAtOnce = std::size_t(1) << 30;

// ntstatus.h's name for it clashes with windows.h's.
constexpr NTSTATUS kEndOfFile = NTSTATUS(0xC0000011);

}  // namespace

void File::Close(std::intptr_t handle) {
    CloseHandle(AsHandle(handle));
}

Status File::ReadInfo() {
    const DWORD type = GetFileType(AsHandle(handle_));
    if (type != FILE_TYPE_DISK) {
        if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return win32::LastFault();
        kind_ = FileKind::Other;
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(AsHandle(handle_), &info)) return win32::LastFault();
    kind_ =
        info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FileKind::Directory : FileKind::Regular;
    size_ = kind_ == FileKind::Regular
                ? std::int64_t(std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow)
                : 0;
    identity_ = IdentityOf(info);
    LARGE_INTEGER at{};
    if (kind_ == FileKind::Regular &&
        SetFilePointerEx(AsHandle(handle_), LARGE_INTEGER{}, &at, FILE_CURRENT))
        openedAt_ = std::max<std::int64_t>(at.QuadPart, 0);
    return std::nullopt;
}

Result<File> File::OpenForReading(const std::string& path) {
    // Shared with whoever writes the log, renames or deletes it meanwhile.
    const HANDLE handle = CreateFileW(win32::SystemPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return win32::LastFault();
    File file(reinterpret_cast<std::intptr_t>(handle), true);
    if (Status fault = file.ReadInfo()) return *fault;
    return file;
}

Result<File> File::StandardInput() {
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return SystemFault(EBADF);
    File file(reinterpret_cast<std::intptr_t>(handle), false);
    if (Status fault = file.ReadInfo()) return *fault;
    return file;
}

Result<std::size_t> File::Read(char* into, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), into, DWORD(std::min(size, kMostAtOnce)), &got, nullptr)) {
        const DWORD error = GetLastError();
        if (IsEnd(error)) return std::size_t(0);
        return win32::WindowsFault(error);
    }
    return std::size_t(got);
}

// ReadFile given an offset hands the system an OVERLAPPED to complete, and each
// completion costs wine a round trip to its server, which waits for a processor
// as long as the machine is busy: about a tenth of a second a gigabyte read. The
// read beneath it, given the offset alone, completes nothing.
Result<std::size_t> File::ReadAt(char* into, std::size_t size, std::int64_t offset) const {
    IO_STATUS_BLOCK status{};
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    const NTSTATUS read = NtReadFile(AsHandle(handle_), nullptr, nullptr, nullptr, &status, into,
                                     ULONG(std::min(size, kMostAtOnce)), &at, nullptr);
    if (read == kEndOfFile) return std::size_t(0);
    if (!NT_SUCCESS(read)) return win32::WindowsFault(RtlNtStatusToDosError(read));
    return std::size_t(status.Information);
}

Result<FoundFile> FindOrdinaryFile(const std::string& path) {
    const std::wstring name = win32::SystemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data))
        return win32::LastFault();
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return SystemFault(EISDIR);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return Fault{0, "not a regular file"};
    // As the directory listing of Explorer and dir have it: hidden and system
    // files are not there.
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return Fault{0, "a hidden file"};
    // Which file it is takes a handle: one that reads attributes only, which a
    // program holding the file unshared does not refuse, closed at once.
    const HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return win32::LastFault();
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info);
    const Fault why = known ? Fault{} : win32::LastFault();
    CloseHandle(handle);
    if (!known) return why;
    return FoundFile{IdentityOf(info),
                     std::int64_t(std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow)};
}

}  // namespace kestrin::os
