#include "win32/FormLayout.h"

namespace kestrin::win32 {

RECT PixelRect(const form::Twips& place, int dotsPerInch) {
    const int left = form::Pixels(place.left, dotsPerInch);
    const int top = form::Pixels(place.top, dotsPerInch);
    return {left, top, left + form::Pixels(place.width, dotsPerInch),
            top + form::Pixels(place.height, dotsPerInch)};
}

void Place(HWND control, const form::Twips& place, int dotsPerInch) {
    const RECT pixels = PixelRect(place, dotsPerInch);
    SetWindowPos(control, nullptr, pixels.left, pixels.top, pixels.right - pixels.left,
                 pixels.bottom - pixels.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void FitToForm(HWND window, int dotsPerInch) {
    const RECT client = PixelRect(form::kClientArea, dotsPerInch);
    RECT frame = client;
    AdjustWindowRectExForDpi(&frame, DWORD(GetWindowLongPtrW(window, GWL_STYLE)),
                             GetMenu(window) != nullptr,
                             DWORD(GetWindowLongPtrW(window, GWL_EXSTYLE)), dotsPerInch);
    const auto resize = [window](int width, int height) {
        SetWindowPos(window, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    resize(frame.right - frame.left, frame.bottom - frame.top);
    // The reckoning takes the menu bar for one line of the system's metrics; the bar
    // itself decides. What the client area lacks, the frame gets.
    RECT got{};
    if (IsIconic(window) || !GetClientRect(window, &got)) return;
    const int wider = client.right - got.right, higher = client.bottom - got.bottom;
    if (wider != 0 || higher != 0) {
        RECT now{};
        GetWindowRect(window, &now);
        resize(now.right - now.left + wider, now.bottom - now.top + higher);
    }
}

}  // namespace kestrin::win32
