#include "servers/configure_dlg.h"

#include "framework/app.h"
#include "res/resource.h"
#include "servers/server_table.h"
#include "ui/styled_labels.h"

std::string ServerListSaveFailureText(const std::string& path, const std::string& reason) {
    return "The server list could not be saved to\r\n" + path + "\r\n\r\n" + reason +
           "\r\n\r\nYour changes have not been saved.";
}

CConfigureDlg::CConfigureDlg(fw::CWnd* parent) : fw::CDialog(IDD_CONFIGURE_DIALOG, parent) {
    CreateCourierListFont(m_listFont);
}

void CConfigureDlg::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_SERVER_LIST, m_listEdit);
    // The file's bytes, whatever they are: a list of garbage opens (shown as
    // undecodable text is shown elsewhere) and comes back unchanged.
    fw::DDX_TextBytes(dx, IDC_SERVER_LIST, m_listText, m_codePage);
}

BOOL CConfigureDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    // The list's characters at the size the dialog has on its screen.
    CreateCourierListFont(m_listFont, fw::WindowDpi(m_hWnd));
    m_listEdit.SetFont(m_listFont, true);

    // Always the file as it is now, not the cached table.
    std::string fileText;
    if (ReadWholeFile(GetServerListPath(), fileText) != 0)
        m_listText = fileText;
    else
        m_listText = DefaultServerList;
    UpdateData(false);
    return TRUE; // the first tab stop, OK, takes the focus
}

void CConfigureDlg::OnOK() {
    if (!UpdateData(true))
        return;
    const std::string path = GetServerListPath();
    std::string reason;
    if (!WriteServerListFile(path, m_listText, reason)) {
        // Nothing was saved: say so, keep the text in the box and the table
        // as it is, and let the user try again or cancel.
        fw::MessageBox(ServerListSaveFailureText(path, reason), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    DiscardServerTable();
    EndDialog(IDOK);
}
