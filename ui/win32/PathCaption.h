#pragma once

#include <windows.h>

#include <string>

namespace kestrin::win32 {

// A path box is an owner-drawn static: a sunken panel that shows its path on one
// line, indented, shortened in the middle when it is wider than the box (see
// ElideMiddle), and then whole in its tooltip. Its window text is what it shows.

/// Shows `path` in `box`, its tooltip in `tooltips` (a tool of the box's own).
void ShowPath(HWND box, HWND tooltips, const std::wstring& path);

/// Draws a path box for WM_DRAWITEM.
void DrawPathBox(const DRAWITEMSTRUCT& item);

}  // namespace kestrin::win32
