#include "servers/configure_dlg.h"

#include "framework/app.h"
#include "res/resource.h"
#include "servers/server_table.h"
#include "ui/styled_labels.h"

#include <algorithm>

namespace {

// The system's text for an error code, without the trailing line end.
std::string SystemErrorText(DWORD error) {
    char* buffer = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr)
        text.assign(buffer, length);
    if (buffer != nullptr)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    std::string code = "error " + std::to_string(error);
    return text.empty() ? code : text + " (" + code + ")";
}

// Writes all of text to an open handle, then flushes and closes it. Returns
// 0, or the first error met (the handle is closed either way).
DWORD WriteAllAndClose(HANDLE file, const std::string& text) {
    DWORD error = 0;
    std::size_t done = 0;
    while (error == 0 && done < text.size()) {
        const std::size_t chunk = std::min<std::size_t>(text.size() - done, 1u << 20);
        DWORD written = 0;
        if (!::WriteFile(file, text.data() + done, static_cast<DWORD>(chunk), &written, nullptr))
            error = ::GetLastError();
        else if (written == 0)
            error = ERROR_WRITE_FAULT; // no progress: give up rather than spin
        done += written;
    }
    if (error == 0 && !::SetEndOfFile(file))
        error = ::GetLastError();
    if (error == 0 && !::FlushFileBuffers(file))
        error = ::GetLastError();
    if (!::CloseHandle(file) && error == 0)
        error = ::GetLastError();
    return error;
}

std::string DirectoryOf(const std::string& path) {
    std::size_t last = path.find_last_of("\\/");
    return last == std::string::npos ? std::string(".") : path.substr(0, last + 1);
}

} // namespace

bool WriteServerListFile(const std::string& path, const std::string& text, std::string& reason) {
    // A read-only list stays as it is. Windows refuses to replace it anyway;
    // saying so here keeps every system alike (Wine would replace it).
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        reason = SystemErrorText(ERROR_ACCESS_DENIED);
        return false;
    }

    char temporary[MAX_PATH] = {};
    if (::GetTempFileNameA(DirectoryOf(path).c_str(), "wls", 0, temporary) != 0) {
        HANDLE file = ::CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD error =
            file == INVALID_HANDLE_VALUE ? ::GetLastError() : WriteAllAndClose(file, text);
        if (error == 0 && !::MoveFileExA(temporary, path.c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            error = ::GetLastError();
        if (error != 0) {
            ::DeleteFileA(temporary);
            reason = SystemErrorText(error);
            return false;
        }
        return true;
    }

    // No temporary file can be made in the folder (it may still let us
    // write the file itself): write in place, checking every step.
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : WriteAllAndClose(file, text);
    if (error != 0) {
        reason = SystemErrorText(error);
        return false;
    }
    return true;
}

std::string ServerListSaveFailureText(const std::string& path, const std::string& reason) {
    return "The server list could not be saved to\r\n" + path + "\r\n\r\n" + reason +
           "\r\n\r\nYour changes have not been saved.";
}

CConfigureDlg::CConfigureDlg(fw::CWnd* parent) : fw::CDialog(IDD_CONFIGURE_DIALOG, parent) {
    CreateCourierListFont(m_listFont);
}

void CConfigureDlg::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_SERVER_LIST, m_listEdit);
    fw::DDX_Text(dx, IDC_SERVER_LIST, m_listText);
}

BOOL CConfigureDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
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
