#pragma once

#include <windows.h>

#include "common/Form.h"

namespace kestrin::win32 {

/// The form's rectangle in pixels on a screen of `dotsPerInch`.
RECT PixelRect(const form::Twips& place, int dotsPerInch);

/// Puts `control` where the form has it.
void Place(HWND control, const form::Twips& place, int dotsPerInch);

/// Sizes `window` so that its client area, below the menu bar, is the form's.
void FitToForm(HWND window, int dotsPerInch);

}  // namespace kestrin::win32
