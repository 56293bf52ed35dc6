#include "framework/gdi.h"

namespace fw {

bool CFont::CreateFont(int height, int width, int escapement, int orientation, int weight,
                       BYTE italic, BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision,
                       BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily,
                       const std::string& face) {
    DeleteObject();
    m_hFont =
        ::CreateFontA(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                      charSet, outPrecision, clipPrecision, quality, pitchAndFamily, face.c_str());
    return m_hFont != nullptr;
}

void CFont::DeleteObject() {
    if (m_hFont != nullptr)
        ::DeleteObject(m_hFont);
    m_hFont = nullptr;
}

bool CBrush::CreateSolidBrush(COLORREF colour) {
    DeleteObject();
    m_hBrush = ::CreateSolidBrush(colour);
    return m_hBrush != nullptr;
}

void CBrush::DeleteObject() {
    if (m_hBrush != nullptr)
        ::DeleteObject(m_hBrush);
    m_hBrush = nullptr;
}

int WindowDpi(HWND hwnd) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const GetDpiForWindowFunction getDpiForWindow = [] {
        HMODULE user = ::GetModuleHandleA("user32.dll");
        return user == nullptr ? nullptr
                               : reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
                                     ::GetProcAddress(user, "GetDpiForWindow")));
    }();
    if (getDpiForWindow != nullptr && hwnd != nullptr) {
        const int dpi = static_cast<int>(getDpiForWindow(hwnd));
        if (PlausibleDpi(dpi))
            return dpi;
    }
    int dpi = 96;
    if (HDC screen = ::GetDC(nullptr)) {
        dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
    }
    return PlausibleDpi(dpi) ? dpi : 96;
}

} // namespace fw
