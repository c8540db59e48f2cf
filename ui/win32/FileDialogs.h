#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/PathBox.h"

namespace kestrin::win32 {

/// The system's file dialog for `box`, modal to `owner`, with the rules of
/// FileDialogRuleFor. It opens in the folder of `chosenBefore`, the file this dialog
/// chose before, else in the folder a file was last chosen from, which is kept across
/// starts. Returns the chosen path, or nothing when the user cancelled.
std::optional<std::wstring> ChooseFile(HWND owner, PathBox box, const std::wstring& chosenBefore);

}  // namespace kestrin::win32
