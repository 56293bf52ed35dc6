// The two controls that depart from the standard look, and the program's
// monospaced list font.
//
// CHeadingLabel paints its own text member (never the window text, so the
// caption from the dialog template is not shown) in a semi-bold dark-red
// "Arial" on the button face, on one line, vertically centred and cut off at
// the label's edge. CResultEdit shows its text black on white, also while it
// is read-only (a read-only edit is otherwise grey). Both are attached to
// existing dialog controls with DDX_Control; each owns its font or brush.
#pragma once

#include "framework/controls.h"
#include "framework/gdi.h"

#include <string>

// The "Courier" 14/500 font (ANSI character set, roman family) that the
// result box and the server-list box use, 14 pixels high at 96 DPI and in
// proportion at dpi. False if GDI refused.
bool CreateCourierListFont(fw::CFont& font, int dpi = 96);

class CHeadingLabel : public fw::CStatic {
public:
    // Sets the members below and creates the font (for 96 DPI).
    CHeadingLabel();

    // Creates the font again for the window's dots per inch (18 pixels high
    // at 96).
    void SetDpi(int dpi);

    // Stores the text that the label paints. Does not invalidate the window:
    // the owner sets it before the first paint (or invalidates itself).
    void SetText(const std::string& text) { m_strText = text; }
    const std::string& GetText() const { return m_strText; }
    HFONT GetFont() const { return m_font; }
    COLORREF GetTextColour() const { return m_crText; }

protected:
    // Draws into a memory bitmap of the client size, then copies it.
    LRESULT OnPaint(WPARAM, LPARAM);

private:
    COLORREF m_crText = RGB(128, 0, 0); // dark red
    std::string m_strFaceName = "Arial";
    int m_nHeight = 18; // cell height in pixels at 96 DPI
    fw::CFont m_font;
    std::string m_strText;
    int m_nWeight = 600; // semi-bold
    bool m_bUnderline = false;
    UINT m_nFormat = 0; // extra DrawText flags: 0 = left, top (then centred)

    FW_DECLARE_MESSAGE_MAP()
};

class CResultEdit : public fw::CEdit {
public:
    // The background is the display's nearest colour to white (pure white
    // when "DISPLAY" cannot be opened); the brush is made from it.
    CResultEdit();

    COLORREF GetTextColour() const { return m_crText; }
    COLORREF GetBackgroundColour() const { return m_crBackground; }
    HBRUSH GetBackgroundBrush() const { return m_brBackground; }

protected:
    // The parent's WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC (read-only or
    // disabled), reflected to the control: sets the colours, returns the brush.
    LRESULT OnCtlColor(WPARAM dc, LPARAM);

private:
    COLORREF m_crText = RGB(0, 0, 0);
    COLORREF m_crBackground = RGB(255, 255, 255);
    fw::CBrush m_brBackground;

    FW_DECLARE_MESSAGE_MAP()
};
