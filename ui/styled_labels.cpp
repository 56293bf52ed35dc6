#include "ui/styled_labels.h"

bool CreateCourierListFont(fw::CFont& font, int dpi) {
    return font.CreateFont(fw::ScaleForDpi(14, dpi), 0, 0, 0, 500, FALSE, FALSE, FALSE,
                           ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_ROMAN, "Courier");
}

// ---- CHeadingLabel --------------------------------------------------------

// clang-format off
FW_BEGIN_MESSAGE_MAP(CHeadingLabel, fw::CStatic)
    fw::OnMessage(WM_PAINT, &CHeadingLabel::OnPaint),
FW_END_MESSAGE_MAP()
// clang-format on

CHeadingLabel::CHeadingLabel() {
    SetDpi(96);
}

void CHeadingLabel::SetDpi(int dpi) {
    m_font.CreateFont(fw::ScaleForDpi(m_nHeight, dpi), 0, 0, 0, m_nWeight, FALSE,
                      m_bUnderline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 0, m_strFaceName);
}

LRESULT CHeadingLabel::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    RECT client = GetClientRect();
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    // Everything goes into a bitmap of the label's size first, so nothing
    // flickers and text that does not fit is cut off at the label's edge.
    HDC memory = ::CreateCompatibleDC(dc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ previousBitmap = ::SelectObject(memory, bitmap);

    HBRUSH face = ::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
    RECT fill{0, 0, client.right, client.bottom};
    ::FillRect(memory, &fill, face);
    ::DeleteObject(face);

    ::SetBkMode(memory, TRANSPARENT);
    HGDIOBJ previousFont =
        m_font.GetSafeHandle() != nullptr ? ::SelectObject(memory, m_font) : nullptr;
    ::SetTextColor(memory, m_crText);
    RECT textRect = client;
    ::DrawTextA(memory, m_strText.c_str(), static_cast<int>(m_strText.size()), &textRect,
                m_nFormat | DT_NOCLIP | DT_SINGLELINE | DT_VCENTER);
    if (previousFont != nullptr)
        ::SelectObject(memory, previousFont);

    ::BitBlt(dc, client.left, client.top, width, height, memory, 0, 0, SRCCOPY);

    ::SelectObject(memory, previousBitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::EndPaint(m_hWnd, &paint);
    return 0;
}

// ---- CResultEdit ----------------------------------------------------------

// clang-format off
FW_BEGIN_MESSAGE_MAP(CResultEdit, fw::CEdit)
    fw::OnMessage(fw::ReflectedMessage(WM_CTLCOLOREDIT), &CResultEdit::OnCtlColor),
    fw::OnMessage(fw::ReflectedMessage(WM_CTLCOLORSTATIC), &CResultEdit::OnCtlColor),
FW_END_MESSAGE_MAP()
// clang-format on

CResultEdit::CResultEdit() {
    if (HDC display = ::CreateDCA("DISPLAY", nullptr, nullptr, nullptr)) {
        COLORREF nearest = ::GetNearestColor(display, RGB(255, 255, 255));
        if (nearest != CLR_INVALID)
            m_crBackground = nearest;
        ::DeleteDC(display);
    }
    m_brBackground.CreateSolidBrush(m_crBackground);
}

LRESULT CResultEdit::OnCtlColor(WPARAM wp, LPARAM) {
    HDC dc = reinterpret_cast<HDC>(wp);
    ::SetTextColor(dc, m_crText);
    ::SetBkColor(dc, m_crBackground);
    return reinterpret_cast<LRESULT>(m_brBackground.GetSafeHandle());
}
