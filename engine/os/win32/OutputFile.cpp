#include "os/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include "os/CodePageNames.h"
#include "os/TemporaryNames.h"
#include "os/win32/WideText.h"

namespace kestrin::os {
namespace {

// At most this much at once: WriteFile counts in 32 bits.
constexpr std::size_t kMostAtOnce = std::size_t(1) << 30;

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t Owned(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& file) {
    return {file.dwVolumeSerialNumber,
            std::uint64_t(file.nFileIndexHigh) << 32 | file.nFileIndexLow};
}

// A name nobody guesses in time; CREATE_NEW keeps it safe whatever the odds.
std::wstring RandomSuffix() {
    static const wchar_t kAlphabet[] =
        L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned long long mix = std::uint64_t(now.QuadPart) ^
                             (std::uint64_t(GetCurrentProcessId()) << 40) ^ GetTickCount64();
    std::wstring suffix;
    for (int i = 0; i < 12; ++i) {
        mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
        suffix += kAlphabet[(mix >> 56) % (sizeof kAlphabet / sizeof *kAlphabet - 1)];
    }
    return suffix;
}

bool SetDeletePending(HANDLE handle, bool pending) {
    FILE_DISPOSITION_INFO disposition{BOOLEAN(pending)};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition);
}

int RememberName(const std::wstring& path) {
    return temporary_names::Remember(-1, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
}

bool MoveTo(HANDLE handle, std::int64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    return SetFilePointerEx(handle, at, nullptr, FILE_BEGIN);
}

// A disk file is a file or a folder; anything else (a device, a pipe, the console)
// is a stream, written through.
void Describe(SavePlace& place, const BY_HANDLE_FILE_INFORMATION& info) {
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        place.kind = SavePlace::Kind::Directory;
        return;
    }
    place.kind = SavePlace::Kind::Regular;
    place.file = IdentityOf(info);
    place.names = info.nNumberOfLinks;
    // Replacing a file takes what writing into it would: a read-only one stays.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) place.unwritable = SystemFault(EACCES);
}

// Opened as a report that replaces it would be, and closed at once: a program that
// shares the file with no writer refuses the open, and nothing of the file changes.
bool HeldByAnotherProgram(const std::string& path) {
    const HANDLE probe = CreateFileW(win32::SystemPath(path).c_str(), GENERIC_WRITE | DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    return false;
}

}  // namespace

Result<SavePlace> LookAt(const std::string& path) {
    SavePlace place{path};
    const HANDLE handle = CreateFileW(win32::SystemPath(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return place;
        return win32::WindowsFault(error);
    }
    // A file on disk that cannot tell what it is is no device to write through:
    // it might be a log.
    const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool told = !disk || GetFileInformationByHandle(handle, &info);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!told) return win32::WindowsFault(error);
    if (disk) {
        Describe(place, info);
        place.inUse = place.kind == SavePlace::Kind::Regular && HeldByAnotherProgram(path);
    } else {
        place.kind = SavePlace::Kind::Stream;
    }
    return place;
}

Result<SavePlace> LookAtStandardOutput() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == INVALID_HANDLE_VALUE || output == nullptr) return SystemFault(EBADF);
    SavePlace place{"-", SavePlace::Kind::Stream};
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(output) == FILE_TYPE_DISK && GetFileInformationByHandle(output, &info))
        place.file = IdentityOf(info);
    return place;
}

void OutputFile::Release(std::intptr_t handle) {
    CloseHandle(AsHandle(handle));
}

Result<OutputFile> OutputFile::StandardOutput(std::string_view textCodePage) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == INVALID_HANDLE_VALUE || output == nullptr) return SystemFault(EBADF);
    OutputFile file(Owned(output), false);
    DWORD mode = 0;
    const std::optional<CodePageName> page = FindCodePageName(textCodePage);
    if (page && GetConsoleMode(output, &mode)) file.consolePage_ = page->number;
    return file;
}

Result<OutputFile> OutputFile::OpenThrough(const std::string& path) {
    const HANDLE handle =
        CreateFileW(win32::SystemPath(path).c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return win32::LastFault();
    return OutputFile(Owned(handle), true);
}

Result<OutputFile> OutputFile::OpenForOverwriting(const SavePlace& place) {
    const HANDLE handle = CreateFileW(win32::SystemPath(place.path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return win32::LastFault();
    return OutputFile(Owned(handle), true);
}

Status OutputFile::Write(const char* bytes, std::size_t size) {
    if (consolePage_ != 0) return WriteConsoleText({bytes, size}, false);
    while (size > 0) {
        DWORD wrote = 0;
        if (!WriteFile(AsHandle(handle_), bytes, DWORD(std::min(size, kMostAtOnce)), &wrote,
                       nullptr))
            return win32::LastFault();
        if (wrote == 0) return SystemFault(EIO);
        bytes += wrote;
        size -= wrote;
    }
    return std::nullopt;
}

Status OutputFile::Reserve(std::int64_t bytes) {
    const HANDLE handle = AsHandle(handle_);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size)) return win32::LastFault();
    if (bytes > size.QuadPart && (!MoveTo(handle, bytes) || !SetEndOfFile(handle)))
        return win32::LastFault();
    return MoveTo(handle, 0) ? std::nullopt : Status(win32::LastFault());
}

Status OutputFile::Truncate(std::int64_t bytes) {
    if (!MoveTo(AsHandle(handle_), bytes) || !SetEndOfFile(AsHandle(handle_)))
        return win32::LastFault();
    return std::nullopt;
}

Status OutputFile::Sync() {
    return FlushFileBuffers(AsHandle(handle_)) ? std::nullopt : Status(win32::LastFault());
}

// A line break is never a trail byte: text cut after one is whole characters.
Status OutputFile::WriteConsoleText(std::string_view bytes, bool last) {
    consoleHeld_.append(bytes);
    const std::size_t whole = last ? consoleHeld_.size() : consoleHeld_.rfind('\n') + 1;
    if (whole == 0) return std::nullopt;
    const int size = int(std::min<std::size_t>(whole, INT_MAX / 2));
    std::wstring text(std::size_t(size), L'\0');
    text.resize(std::size_t(
        MultiByteToWideChar(consolePage_, 0, consoleHeld_.data(), size, text.data(), size)));
    consoleHeld_.erase(0, std::size_t(size));
    for (std::size_t at = 0; at < text.size();) {
        DWORD wrote = 0;
        const auto part = DWORD(std::min<std::size_t>(text.size() - at, 8192));
        if (!WriteConsoleW(AsHandle(handle_), text.data() + at, part, &wrote, nullptr))
            return win32::LastFault();
        if (wrote == 0) return SystemFault(EIO);
        at += wrote;
    }
    return size < int(whole) ? WriteConsoleText({}, last) : std::nullopt;
}

Status OutputFile::Close() {
    if (consolePage_ != 0 && !consoleHeld_.empty()) {
        if (Status fault = WriteConsoleText({}, true)) return fault;
    }
    if (!owned_ || handle_ == -1) return std::nullopt;
    if (!CloseHandle(AsHandle(std::exchange(handle_, -1)))) return win32::LastFault();
    return std::nullopt;
}

// The file beside the target, marked for deletion while it is written, so that the
// system removes it whatever ends the process; where the file system cannot mark
// it, the ending console events remove it by its name.
struct NewFile::Parts {
    std::wstring target, temporary;
    int slot = -1;  // its entry for removal by a console event
};

NewFile::NewFile() : parts_(std::make_unique<Parts>()) {}
NewFile::NewFile(NewFile&& other) noexcept = default;
NewFile::~NewFile() {
    Discard();
}

Result<NewFile> NewFile::CreateBeside(const SavePlace& place) {
    NewFile created;
    created.parts_->target = win32::SystemPath(place.path);
    if (Status fault = created.CreateNamed()) return *fault;
    return created;
}

Status NewFile::CreateNamed() {
    Parts& parts = *parts_;
    const std::size_t slash = parts.target.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? L"" : parts.target.substr(0, slash + 1);
    const std::wstring name = parts.target.substr(slash == std::wstring::npos ? 0 : slash + 1);
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        parts.temporary = folder + L"." + name.substr(0, 200) + L".kestrin-" + RandomSuffix();
        // Shared for deletion alone, so that the ending console events can remove it
        // while it is open.
        handle = CreateFileW(parts.temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                             nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            const Fault fault = win32::LastFault();
            parts.temporary.clear();
            return fault;
        }
    }
    if (handle == INVALID_HANDLE_VALUE) {
        parts.temporary.clear();
        return SystemFault(EEXIST);
    }
    file_ = OutputFile(Owned(handle), true);
    if (!SetDeletePending(handle, true)) parts.slot = RememberName(parts.temporary);
    return std::nullopt;
}

Status NewFile::CopyPermissions(const SavePlace&) {
    return std::nullopt;  // a new file takes its folder's, as any file saved there
}

Status NewFile::Replace() {
    Status fault = TakePlace();
    if (fault) Discard();
    return fault;
}

Status NewFile::TakePlace() {
    Parts& parts = *parts_;
    const HANDLE handle = AsHandle(file_.handle_);
    // Hidden while it was no report yet; the report is an ordinary file.
    FILE_BASIC_INFO ordinary{};
    ordinary.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(handle, FileBasicInfo, &ordinary, sizeof ordinary) ||
        !FlushFileBuffers(handle))
        return win32::LastFault();
    if (parts.slot < 0) {
        // No longer removed by the system: a console event from here to the move
        // removes it by its name.
        parts.slot = RememberName(parts.temporary);
        if (!SetDeletePending(handle, false)) return win32::LastFault();
    }
    if (Status fault = file_.Close()) return fault;
    // One step, written through: the previous report, or the new one.
    if (!MoveFileExW(parts.temporary.c_str(), parts.target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return win32::LastFault();
    temporary_names::Forget(std::exchange(parts.slot, -1));
    parts.temporary.clear();
    return std::nullopt;
}

Status NewFile::SyncFolder() {
    return std::nullopt;  // the move was written through
}

void NewFile::Discard() {
    if (!parts_) return;  // moved away
    if (file_.handle_ != -1) SetDeletePending(AsHandle(file_.handle_), true);
    file_ = OutputFile();
    if (!parts_->temporary.empty()) DeleteFileW(parts_->temporary.c_str());
    parts_->temporary.clear();
    temporary_names::Forget(std::exchange(parts_->slot, -1));
}

}  // namespace kestrin::os
