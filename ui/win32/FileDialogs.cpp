#include "win32/FileDialogs.h"

#include <commdlg.h>

#include <vector>

#include "common/FileDialogRule.h"
#include "win32/WideText.h"

namespace kestrin::win32 {
namespace {

// Where the folder last chosen from is kept, as the other window keeps it in its
// settings.
constexpr const wchar_t* kSettings = L"Software\\Kestrin\\Kestrin";
constexpr const wchar_t* kLastFolder = L"LastFolder";

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

std::wstring LastFolder() {
    wchar_t folder[MAX_PATH * 4] = {};
    DWORD size = sizeof folder;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettings, kLastFolder, RRF_RT_REG_SZ, nullptr, folder,
                     &size) != ERROR_SUCCESS)
        return {};
    return folder;
}

void KeepLastFolder(const std::wstring& folder) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettings, kLastFolder, REG_SZ, folder.c_str(),
                    DWORD((folder.size() + 1) * sizeof(wchar_t)));
}

// "ALL", "*" as the dialog takes a filter: each string ended by a NUL, and one more.
std::wstring Filter(const FileDialogRule& rule) {
    std::wstring filter = Wide(rule.filterName) + L'\0' + Wide(rule.filterPattern) + L'\0';
    return filter + L'\0';
}

// Windows' save dialog refuses a read-only file itself; wine's does not, so the
// refusal is made here too, and the dialog shown again.
bool SaveDialog(OPENFILENAMEW& dialog) {
    while (GetSaveFileNameW(&dialog)) {
        if (!IsReadOnly(dialog.lpstrFile)) return true;
        const std::wstring refusal =
            Wide(ReadOnlyRefusal(Utf16(dialog.lpstrFile + dialog.nFileOffset)));
        MessageBoxW(dialog.hwndOwner, refusal.c_str(), dialog.lpstrTitle, MB_OK | MB_ICONWARNING);
    }
    return false;
}

}  // namespace

std::optional<std::wstring> ChooseFile(HWND owner, PathBox box, const std::wstring& chosenBefore) {
    const FileDialogRule rule = FileDialogRuleFor(box);
    const std::wstring title = Wide(rule.title), filter = Filter(rule);
    const std::wstring extension = Wide(rule.defaultExtension);
    std::vector<wchar_t> file(32768, L'\0');  // a path of the system's longest
    // The file chosen before, named in full, is what makes the dialog open in its
    // folder: a folder alone may give way to the one the system remembers.
    std::wstring folder = FolderOf(chosenBefore);
    if (IsFolder(folder) && chosenBefore.size() < file.size()) {
        chosenBefore.copy(file.data(), chosenBefore.size());
    } else {
        folder = LastFolder();
    }

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = DWORD(file.size());
    dialog.lpstrInitialDir = IsFolder(folder) ? folder.c_str() : nullptr;
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   OFN_DONTADDTORECENT | OFN_ENABLESIZING;
    const bool open = rule.mode == FileDialogRule::Mode::Open;
    dialog.Flags |= open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT | OFN_NOREADONLYRETURN;
    if (!(open ? GetOpenFileNameW(&dialog) : SaveDialog(dialog))) return std::nullopt;
    const std::wstring chosen = file.data();
    KeepLastFolder(FolderOf(chosen));
    return chosen;
}

}  // namespace kestrin::win32
