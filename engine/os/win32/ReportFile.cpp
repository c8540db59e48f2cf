#include "os/ReportFile.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "os/win32/TemporaryNames.h"
#include "os/win32/WideText.h"

namespace kestrin::os {
namespace {

constexpr const char* kWrittenInPlace =
    "the report's folder may not be written, so the report was written over the "
    "previous one in place, not replaced in one step";
constexpr const char* kOtherNamesKept =
    "the report's other names (hard links) keep the previous report";
constexpr std::size_t kMostAtOnce = std::size_t(1) << 30;

bool IsLog(const BY_HANDLE_FILE_INFORMATION& file, std::span<const FileIdentity> logs) {
    const FileIdentity identity{file.dwVolumeSerialNumber,
                                std::uint64_t(file.nFileIndexHigh) << 32 | file.nFileIndexLow};
    return std::find(logs.begin(), logs.end(), identity) != logs.end();
}

Status WriteAll(HANDLE handle, const char* bytes, std::size_t size) {
    while (size > 0) {
        DWORD wrote = 0;
        if (!WriteFile(handle, bytes, DWORD(std::min(size, kMostAtOnce)), &wrote, nullptr))
            return win32::LastFault();
        if (wrote == 0) return SystemFault(EIO);
        bytes += wrote;
        size -= wrote;
    }
    return std::nullopt;
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

// Anything that is no disk file (a device, a pipe, the console, standard output)
// is written as it is, and closed at the end unless it is standard output.
class ThroughReport : public ReportFile {
  public:
    ThroughReport(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
    ~ThroughReport() override {
        if (owned_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Status Reserve(std::int64_t) override { return std::nullopt; }
    Status Write(const char* bytes, std::size_t size) override {
        return WriteAll(handle_, bytes, size);
    }
    Status Commit() override {
        if (!owned_) return std::nullopt;
        const BOOL closed = CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
        return closed ? std::nullopt : Status(win32::LastFault());
    }

  private:
    HANDLE handle_;
    bool owned_;
};

// A new file beside the target, marked for deletion while it is written, so that
// the system removes it whatever ends the process; the mark is taken off and the
// file renamed over the target in the commit. Where the file system cannot mark
// it, the ending console events remove it.
class ReplacingReport : public ReportFile {
  public:
    ~ReplacingReport() override { Discard(); }

    Status Create(const std::wstring& target, bool otherNames) {
        target_ = target;
        if (otherNames) warnings_.push_back(kOtherNamesKept);
        const std::size_t slash = target.find_last_of(L"\\/");
        const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
        const std::wstring name = target.substr(slash == std::wstring::npos ? 0 : slash + 1);
        for (int attempt = 0; attempt < 100; ++attempt) {
            temporary_ = folder + L"." + name.substr(0, 200) + L".kestrin-" + RandomSuffix();
            // Shared for deletion alone, so that the ending console events can
            // remove it while it is open.
            handle_ = CreateFileW(temporary_.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
            if (handle_ != INVALID_HANDLE_VALUE) break;
            if (GetLastError() != ERROR_FILE_EXISTS) return win32::LastFault();
        }
        if (handle_ == INVALID_HANDLE_VALUE) return SystemFault(EEXIST);
        if (!SetDeletePending(handle_, true)) slot_ = win32::RememberTemporaryName(temporary_);
        return std::nullopt;
    }

    Status Reserve(std::int64_t) override { return std::nullopt; }
    Status Write(const char* bytes, std::size_t size) override {
        return WriteAll(handle_, bytes, size);
    }

    Status Commit() override {
        // Hidden while it was no report yet; the report is an ordinary file.
        FILE_BASIC_INFO ordinary{};
        ordinary.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(handle_, FileBasicInfo, &ordinary, sizeof ordinary))
            return Failed();
        if (!FlushFileBuffers(handle_)) return Failed();
        if (slot_ < 0) {
            // No longer removed by the system: a console event from here to the
            // move removes it by its name.
            slot_ = win32::RememberTemporaryName(temporary_);
            if (!SetDeletePending(handle_, false)) return Failed();
        }
        CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
        // One step, written through: the previous report, or the new one.
        if (!MoveFileExW(temporary_.c_str(), target_.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return Failed();
        win32::ForgetTemporaryName(std::exchange(slot_, -1));
        temporary_.clear();
        return std::nullopt;
    }

  private:
    Fault Failed() {
        const Fault fault = win32::LastFault();
        Discard();
        return fault;
    }
    void Discard() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            SetDeletePending(handle_, true);
            CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
        }
        if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
        temporary_.clear();
        win32::ForgetTemporaryName(std::exchange(slot_, -1));
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::wstring target_, temporary_;
    int slot_ = -1;
};

// The target itself, overwritten from its start once room for the whole report is
// made, and cut to the report's length at commit.
class InPlaceReport : public ReportFile {
  public:
    explicit InPlaceReport(HANDLE handle) : handle_(handle) {
        warnings_.push_back(kWrittenInPlace);
    }
    ~InPlaceReport() override {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool WritesInPlace() const override { return true; }
    Status Reserve(std::int64_t bytes) override {
        reserved_ = true;
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle_, &size)) return win32::LastFault();
        if (bytes > size.QuadPart && (!MoveTo(bytes) || !SetEndOfFile(handle_)))
            return win32::LastFault();
        return MoveTo(0) ? std::nullopt : Status(win32::LastFault());
    }
    Status Write(const char* bytes, std::size_t size) override {
        if (!reserved_) return Fault{0, "the report was written before room was made for it"};
        written_ += std::int64_t(size);
        return WriteAll(handle_, bytes, size);
    }
    Status Commit() override {
        Status fault;
        if (!MoveTo(written_) || !SetEndOfFile(handle_) || !FlushFileBuffers(handle_))
            fault = win32::LastFault();
        if (!CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) && !fault)
            fault = win32::LastFault();
        return fault;
    }

  private:
    bool MoveTo(std::int64_t offset) {
        LARGE_INTEGER at;
        at.QuadPart = offset;
        return SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN);
    }

    HANDLE handle_;
    bool reserved_ = false;
    std::int64_t written_ = 0;
};

Result<std::unique_ptr<ReportFile>> OpenStandardOutput(std::span<const FileIdentity> logs) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == INVALID_HANDLE_VALUE || output == nullptr) return SystemFault(EBADF);
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(output) == FILE_TYPE_DISK && GetFileInformationByHandle(output, &info) &&
        IsLog(info, logs))
        return Fault{0, kReportWouldReplaceLog};
    return std::unique_ptr<ReportFile>(new ThroughReport(output, false));
}

// What is there at the save path, looked at without keeping it open.
struct Existing {
    bool there = false;
    bool disk = false;
    BY_HANDLE_FILE_INFORMATION info{};
};

Result<Existing> LookAt(const std::wstring& path) {
    Existing existing;
    const HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return existing;
        return win32::WindowsFault(error);
    }
    existing.there = true;
    // A file on disk that cannot tell what it is is no device to write through:
    // it might be a log.
    existing.disk = GetFileType(handle) == FILE_TYPE_DISK;
    const bool told = !existing.disk || GetFileInformationByHandle(handle, &existing.info);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!told) return win32::WindowsFault(error);
    return existing;
}

}  // namespace

Result<std::unique_ptr<ReportFile>> ReportFile::Open(const std::string& savePath,
                                                     std::span<const FileIdentity> logs) {
    if (savePath.empty()) return SystemFault(ENOENT);
    if (savePath == "-") return OpenStandardOutput(logs);
    const std::wstring path = win32::SystemPath(savePath);
    Result<Existing> existing = LookAt(path);
    if (!existing) return existing.Failure();
    if (existing->there && !existing->disk) {
        const HANDLE handle =
            CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return win32::LastFault();
        return std::unique_ptr<ReportFile>(new ThroughReport(handle, true));
    }
    const DWORD attributes = existing->info.dwFileAttributes;
    if (existing->there && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return SystemFault(EISDIR);
    if (existing->there && IsLog(existing->info, logs)) return Fault{0, kReportWouldReplaceLog};
    // Replacing a file takes what writing into it would: a read-only one stays.
    if (existing->there && (attributes & FILE_ATTRIBUTE_READONLY)) return SystemFault(EACCES);

    auto replacing = std::make_unique<ReplacingReport>();
    Status fault = replacing->Create(path, existing->there && existing->info.nNumberOfLinks > 1);
    if (!fault) return std::unique_ptr<ReportFile>(std::move(replacing));
    // A report this user may write in a folder that refuses a new file: in place.
    if (!existing->there || fault->systemError != EACCES) return *fault;
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return *fault;
    return std::unique_ptr<ReportFile>(new InPlaceReport(handle));
}

}  // namespace kestrin::os
