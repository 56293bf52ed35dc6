// The About box (dialog 280). Its template carries placeholder texts, which
// the initialisation replaces with the deciphered branding texts: every
// child window whose class is "STATIC" (in any letter case) and whose text
// is exactly one of
//   "<Product Name>"   -> GetProductName, in the box's bold font
//   "<Copyright>"      -> GetCopyrightText
//   "<Co-brand Name>"  -> GetCoBrandName, in the box's bold font
//   "<Version Date>"   -> "Build Date: " and GetBuildDateText
// Other texts and other classes stay as they are. The texts are deciphered
// afresh every time the box opens. It closes with OK, Escape or the close
// box.
#pragma once

#include "framework/dialog.h"
#include "framework/gdi.h"
#include "res/resource.h"

class CAboutDlg : public fw::CDialog {
public:
    // templateId: the About box's template; tests pass templates of their own.
    explicit CAboutDlg(fw::CWnd* parent = nullptr, UINT templateId = IDD_ABOUTBOX);

    BOOL OnInitDialog() override;

    // The bold "Arial" 20/700 font given to the product and co-brand names.
    HFONT GetBoldFont() const { return m_fontBold; }

    static constexpr char kVersionDateFormat[] = "Build Date: %s";

private:
    static BOOL CALLBACK FillPlaceholder(HWND child, LPARAM self);

    void CreateBoldFont(int dpi);

    fw::CFont m_fontBold;
};
