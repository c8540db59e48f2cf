#include "win32/KeywordBox.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "common/KeywordList.h"
#include "run/RunRequest.h"
#include "win32/FormLayout.h"
#include "win32/WideText.h"

namespace kestrin::win32 {
namespace {

// Room beside an item's text, as the list of the other window leaves.
int Margin(HWND window) {
    return MulDiv(4, int(GetDpiForWindow(window)), 96);
}

std::wstring ListText(HWND box, UINT index) {
    std::wstring entry(std::size_t(SendMessageW(box, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
    entry.resize(std::size_t(
        SendMessageW(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(entry.data()))));
    return Wide(KeywordListText(Utf16(entry)));
}

// The box's edit field fills its height with the text at the top; one line high and
// in the middle, the text sits where the list's and the buttons' do.
void CentreEditField(HWND box) {
    COMBOBOXINFO parts{};
    parts.cbSize = sizeof parts;
    if (!GetComboBoxInfo(box, &parts) || parts.hwndItem == nullptr) return;
    const auto font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
    const int line = int(TextSize(box, font, L"Xg").cy);
    const int field = parts.rcItem.bottom - parts.rcItem.top;
    if (line >= field) return;
    SetWindowPos(parts.hwndItem, nullptr, parts.rcItem.left, parts.rcItem.top + (field - line) / 2,
                 parts.rcItem.right - parts.rcItem.left, line, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

HWND CreateKeywordBox(HWND parent, int id) {
    HWND box =
        CreateWindowExW(0, WC_COMBOBOXW, L"",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN |
                            CBS_AUTOHSCROLL | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                        0, 0, 0, 0, parent, reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr);
    for (const char16_t* entry : kBackKeywordEntries)
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
    SendMessageW(box, CB_SETCURSEL, 0, 0);
    return box;
}

void FitKeywordBox(HWND box, HFONT listFont, int height) {
    // The box's height follows its edit field's: set it by what the whole lacks.
    for (int round = 0; round < 2; ++round) {
        RECT now{};
        GetWindowRect(box, &now);
        const auto field = int(SendMessageW(box, CB_GETITEMHEIGHT, WPARAM(-1), 0));
        if (now.bottom - now.top == height) break;
        SendMessageW(box, CB_SETITEMHEIGHT, WPARAM(-1), field + height - (now.bottom - now.top));
    }
    CentreEditField(box);
    int width = 0, itemHeight = 0;
    const auto entries = UINT(SendMessageW(box, CB_GETCOUNT, 0, 0));
    for (UINT i = 0; i < entries; ++i) {
        const SIZE size = TextSize(box, listFont, ListText(box, i));
        width = std::max(width, int(size.cx));
        itemHeight = std::max(itemHeight, int(size.cy));
    }
    SendMessageW(box, CB_SETITEMHEIGHT, 0, itemHeight + Margin(box) / 2);
    SendMessageW(
        box, CB_SETDROPPEDWIDTH,
        width + 2 * Margin(box) + GetSystemMetricsForDpi(SM_CXVSCROLL, GetDpiForWindow(box)), 0);
}

void MeasureKeywordItem(MEASUREITEMSTRUCT& item, HWND parent, HFONT boxFont, HFONT listFont) {
    const bool field = item.itemID == UINT(-1);
    item.itemHeight = UINT(TextSize(parent, field ? boxFont : listFont, L"Xg").cy +
                           (field ? 0 : Margin(parent) / 2));
}

void DrawKeywordItem(const DRAWITEMSTRUCT& item, HFONT listFont) {
    if (item.itemID == UINT(-1)) return;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const HGDIOBJ before = SelectObject(item.hDC, listFont);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT area = item.rcItem;
    area.left += Margin(item.hwndItem);
    const std::wstring text = ListText(item.hwndItem, item.itemID);
    DrawTextW(item.hDC, text.c_str(), int(text.size()), &area,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    SelectObject(item.hDC, before);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

}  // namespace kestrin::win32
