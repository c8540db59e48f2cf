#include "win32/PathCaption.h"

#include <commctrl.h>

#include "common/PathElision.h"
#include "win32/WideText.h"

namespace kestrin::win32 {
namespace {

// Qt's QLabel of the other window: a frame of one pixel, and the text indented by
// two on either side.
int Inset(HWND box) {
    return MulDiv(3, int(GetDpiForWindow(box)), 96);
}

HFONT Font(HWND box) {
    return reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
}

}  // namespace

void ShowPath(HWND box, HWND tooltips, const std::wstring& path) {
    RECT area{};
    GetClientRect(box, &area);
    const int room = area.right - 2 * Inset(box);
    HDC dc = GetDC(box);
    const HGDIOBJ before = SelectObject(dc, Font(box));
    const std::wstring shown = Wide(ElideMiddle(Utf16(path), room, [dc](std::u16string_view text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()),
                              &size);
        return int(size.cx);
    }));
    SelectObject(dc, before);
    ReleaseDC(box, dc);
    SetWindowTextW(box, shown.c_str());
    InvalidateRect(box, nullptr, TRUE);

    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetParent(box);
    tool.uId = reinterpret_cast<UINT_PTR>(box);
    tool.lpszText = const_cast<wchar_t*>(shown == path ? L"" : path.c_str());
    SendMessageW(tooltips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void DrawPathBox(const DRAWITEMSTRUCT& item) {
    RECT area = item.rcItem;
    FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(item.hDC, &area, BDR_SUNKENOUTER, BF_RECT);
    area.left += Inset(item.hwndItem);
    area.right -= Inset(item.hwndItem);
    std::wstring shown(std::size_t(GetWindowTextLengthW(item.hwndItem)) + 1, L'\0');
    shown.resize(std::size_t(GetWindowTextW(item.hwndItem, shown.data(), int(shown.size()))));
    const HGDIOBJ before = SelectObject(item.hDC, Font(item.hwndItem));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC,
                 GetSysColor(IsWindowEnabled(item.hwndItem) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawTextW(item.hDC, shown.c_str(), int(shown.size()), &area,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    SelectObject(item.hDC, before);
}

}  // namespace kestrin::win32
