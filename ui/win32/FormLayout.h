#pragma once

#include <windows.h>

#include "common/FittedForm.h"

namespace kestrin::win32 {

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
