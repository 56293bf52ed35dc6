// The Configure dialog (dialog 132): the server list as free text.
//
// On opening it reads whoislist.txt afresh (or shows DefaultServerList when
// the file is missing, unreadable or empty). OK writes the box's text back
// byte for byte and discards the cached server table, so the next lookup
// reads the new list. Cancel and Escape write nothing and keep the table.
//
// A list that cannot be saved is reported in a message box that names the
// file and the reason; the dialog then stays open with the user's text and
// the cached table is kept, so no edit is lost silently.
#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/gdi.h"

#include <string>

// The message shown when the list could not be saved.
std::string ServerListSaveFailureText(const std::string& path, const std::string& reason);

class CConfigureDlg : public fw::CDialog {
public:
    // The owner is the application's main window. Creates the list font.
    explicit CConfigureDlg(fw::CWnd* parent = nullptr);

    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(fw::CDataExchange& dx) override;

    HFONT GetListFont() const { return m_listFont; }
    const std::string& GetListText() const { return m_listText; }

protected:
    fw::CFont m_listFont;   // "Courier" 14/500 at 96 DPI for the box, scaled to the screen
    fw::CEdit m_listEdit;   // control 1009
    std::string m_listText; // the box's content
    UINT m_codePage = 0;    // the code page the content is shown in
};
