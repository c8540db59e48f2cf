#pragma once

namespace kestrin::os::win32 {

/// The console's output code page belongs to the console, not to the program: what
/// the program set for its messages would stay for every program after it there.

/// Makes the console show UTF-8, to be put back at the program's end.
void ShowUtf8OnConsole();
/// Puts back the code page the console had; once, from any thread.
void RestoreConsoleCodePage();

}  // namespace kestrin::os::win32
