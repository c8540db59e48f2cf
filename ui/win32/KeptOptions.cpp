#include "win32/KeptOptions.h"

#include <windows.h>

#include <string>

#include "win32/WideText.h"

namespace kestrin::win32 {
namespace {

constexpr const wchar_t* kSettings = L"Software\\Kestrin\\Kestrin";
// By the name kestrin-cut's --group takes, as the Qt window keeps it.
constexpr const wchar_t* kEntries = L"Entries";

}  // namespace

Grouping KeptGrouping() {
    wchar_t name[16] = {};
    DWORD size = sizeof name;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettings, kEntries, RRF_RT_REG_SZ, nullptr, name, &size) ==
        ERROR_SUCCESS) {
        for (const Grouping grouping : {Grouping::Host, Grouping::Site})
            if (Wide(EntryName(grouping)) == name) return grouping;
    }
    return Grouping::Url;
}

void KeepGrouping(Grouping grouping) {
    const std::wstring name = Wide(EntryName(grouping));
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettings, kEntries, REG_SZ, name.c_str(),
                    DWORD((name.size() + 1) * sizeof(wchar_t)));
}

}  // namespace kestrin::win32
