#include "ui/about_dlg.h"

#include "base/text.h"
#include "ui/branding.h"

#include <cstdio>
#include <string>

// The bold font: 20 pixels high at 96 DPI, in proportion at others.
void CAboutDlg::CreateBoldFont(int dpi) {
    m_fontBold.CreateFont(fw::ScaleForDpi(20, dpi), 0, 0, 0, 700, FALSE, FALSE, FALSE, ANSI_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_ROMAN,
                          "Arial");
}

CAboutDlg::CAboutDlg(fw::CWnd* parent, UINT templateId) : fw::CDialog(templateId, parent) {
    CreateBoldFont(96);
}

BOOL CAboutDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    CreateBoldFont(fw::WindowDpi(m_hWnd));
    // The visit goes through every child; the callback never stops it.
    ::EnumChildWindows(m_hWnd, &CAboutDlg::FillPlaceholder, reinterpret_cast<LPARAM>(this));
    return TRUE;
}

BOOL CALLBACK CAboutDlg::FillPlaceholder(HWND child, LPARAM self) {
    const CAboutDlg* dialog = reinterpret_cast<const CAboutDlg*>(self);

    // The system registers the class as "Static"; templates may spell it
    // in any case.
    char className[64] = {};
    if (::GetClassNameA(child, className, sizeof className) == 0 ||
        !text::EqualsNoCase(className, "STATIC"))
        return TRUE;

    char windowText[128] = {};
    ::GetWindowTextA(child, windowText, sizeof windowText);
    const std::string current = windowText;

    std::string value;
    if (current == "<Product Name>") {
        GetProductName(value);
        ::SetWindowTextA(child, value.c_str());
        ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(dialog->GetBoldFont()), FALSE);
    } else if (current == "<Copyright>") {
        GetCopyrightText(value);
        ::SetWindowTextA(child, value.c_str());
    } else if (current == "<Co-brand Name>") {
        GetCoBrandName(value);
        ::SetWindowTextA(child, value.c_str());
        ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(dialog->GetBoldFont()), FALSE);
    } else if (current == "<Version Date>") {
        GetBuildDateText(value);
        char line[128];
        std::snprintf(line, sizeof line, kVersionDateFormat, value.c_str());
        ::SetWindowTextA(child, line);
    }
    return TRUE;
}
