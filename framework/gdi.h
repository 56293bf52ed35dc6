// Owners of GDI objects: each deletes its object when it is destroyed or
// when a new one is created in its place. A window given the handle (for
// example with WM_SETFONT) does not own it, so the owner must outlive the use.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

class CFont {
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    // CreateFontA with the same arguments. False if GDI refused.
    bool CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                    BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision,
                    BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily, const std::string& face);
    void DeleteObject();

    HFONT GetSafeHandle() const { return m_hFont; }
    operator HFONT() const { return m_hFont; }

private:
    HFONT m_hFont = nullptr;
};

class CBrush {
public:
    CBrush() = default;
    ~CBrush() { DeleteObject(); }
    CBrush(const CBrush&) = delete;
    CBrush& operator=(const CBrush&) = delete;

    bool CreateSolidBrush(COLORREF colour);
    void DeleteObject();

    HBRUSH GetSafeHandle() const { return m_hBrush; }
    operator HBRUSH() const { return m_hBrush; }

private:
    HBRUSH m_hBrush = nullptr;
};

// The dots per inch of the monitor a window is on: GetDpiForWindow where the
// system has it (Windows 10 1607 on, looked up at run time), the screen's
// LOGPIXELSY otherwise. 96 is the size the program's pixel figures are for.
int WindowDpi(HWND hwnd);

// Whether a DPI the system reports is one to use (48 to 960); anything else
// is taken for a fault.
inline bool PlausibleDpi(int dpi) {
    return dpi >= 48 && dpi <= 960;
}

// A length in pixels at 96 DPI, scaled to dpi (rounded to the nearest pixel).
inline int ScaleForDpi(int pixels, int dpi) {
    return ::MulDiv(pixels, dpi, 96);
}

} // namespace fw
