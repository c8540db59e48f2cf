#include "win32/FormLayout.h"

#include <algorithm>
#include <string>

#include "run/RunRequest.h"
#include "win32/WideText.h"

namespace kestrin::win32 {
SIZE TextSize(HWND control, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(control);
    const HGDIOBJ before = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    SelectObject(dc, before);
    ReleaseDC(control, dc);
    return size;
}

namespace {

int TextWidth(HWND control, HFONT font, const std::wstring& text) {
    return int(TextSize(control, font, text).cx);
}

}  // namespace

void Place(HWND control, const form::PixelPlace& place) {
    SetWindowPos(control, nullptr, place.left, place.top, place.width, place.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int CaptionWidth(HWND control, HFONT font) {
    const auto dpi = UINT(GetDpiForWindow(control));
    const int edges = 2 * GetSystemMetricsForDpi(SM_CXEDGE, dpi) + MulDiv(6, int(dpi), 96);
    wchar_t kind[16] = {};
    GetClassNameW(control, kind, 16);
    if (lstrcmpiW(kind, L"ComboBox") == 0) {
        int widest = 0;
        for (const char16_t* entry : kBackKeywordEntries)
            widest = std::max(widest, TextWidth(control, font, Wide(entry)));
        return widest + edges + GetSystemMetricsForDpi(SM_CXVSCROLL, dpi);
    }
    const auto style = GetWindowLongPtrW(control, GWL_STYLE);
    const bool button = lstrcmpiW(kind, L"Button") == 0;
    if (!button && (style & SS_TYPEMASK) == SS_OWNERDRAW) return 0;
    std::wstring text(std::size_t(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(control, text.data(), int(text.size()))));
    return TextWidth(control, font, text) + (button ? edges : 0);
}

void FitToForm(HWND window, int width, int height, int dotsPerInch) {
    const RECT client = {0, 0, width, height};
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
