#pragma once

#include <windows.h>

#include <string>

#include "common/FittedForm.h"

namespace kestrin::win32 {

/// The size `text` takes in `font`, as `control`'s screen draws it.
SIZE TextSize(HWND control, HFONT font, const std::wstring& text);

/// Puts `control` at `place`.
void Place(HWND control, const form::PixelPlace& place);

/// The width `control` needs to show its caption whole in `font`: a label's text, a
/// button's with its edges, the keyword box's widest entry with its arrow. The path
/// boxes, owner drawn, cut their paths to fit: none.
int CaptionWidth(HWND control, HFONT font);

/// Sizes `window` so that its client area, below the menu bar, is `width` by
/// `height` pixels.
void FitToForm(HWND window, int width, int height, int dotsPerInch);

}  // namespace kestrin::win32
