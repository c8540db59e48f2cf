#pragma once

#include <windows.h>

namespace kestrin::win32 {

// The keyword box: a combo box to type into, with the entries of
// kBackKeywordEntries in a list that its parent draws, larger and named (see
// KeywordListText), on WM_MEASUREITEM and WM_DRAWITEM.

/// Creates the box with its entries, the first one chosen.
HWND CreateKeywordBox(HWND parent, int id);

/// Fits the box to `height` pixels in the box's font and its list to the list's font,
/// wide enough for the names. The box's font must be set first.
void FitKeywordBox(HWND box, HFONT listFont, int height);

/// For WM_MEASUREITEM: the height of a list item, or of the box for item -1.
void MeasureKeywordItem(MEASUREITEMSTRUCT& item, HWND parent, HFONT boxFont, HFONT listFont);

/// For WM_DRAWITEM: one entry of the open list.
void DrawKeywordItem(const DRAWITEMSTRUCT& item, HFONT listFont);

}  // namespace kestrin::win32
