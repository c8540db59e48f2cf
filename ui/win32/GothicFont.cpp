#include "win32/GothicFont.h"

#include <string>

namespace kestrin::win32 {
namespace {

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// The first face of the list installed here, by its English or its Japanese name;
// the system's face for messages when none is.
std::wstring ChosenFace() {
    static const wchar_t* const kFaces[] = {L"MS Gothic", L"Yu Gothic UI", L"Meiryo UI"};
    HDC screen = GetDC(nullptr);
    std::wstring chosen;
    for (const wchar_t* face : kFaces) {
        LOGFONTW wanted{};
        wanted.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
        bool found = false;
        EnumFontFamiliesExW(screen, &wanted, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
        if (found) {
            chosen = face;
            break;
        }
    }
    ReleaseDC(nullptr, screen);
    if (chosen.empty()) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        chosen = metrics.lfMessageFont.lfFaceName;
    }
    return chosen;
}

}  // namespace

Font GothicFont(double points, int dotsPerInch) {
    static const std::wstring face = ChosenFace();
    LOGFONTW font{};
    font.lfHeight = -int(points * dotsPerInch / 72 + 0.5);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(font.lfFaceName, face.c_str(), LF_FACESIZE);
    return Font(CreateFontIndirectW(&font));
}

}  // namespace kestrin::win32
