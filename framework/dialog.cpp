#include "framework/dialog.h"

#include "framework/app.h"
#include "framework/thread.h"

namespace fw {

HWND CDataExchange::PrepareCtrl(int id) {
    HWND control = m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), id) : nullptr;
    if (control == nullptr)
        Fail();
    return control;
}

void DDX_Text(CDataExchange& dx, int id, std::string& value) {
    HWND control = dx.PrepareCtrl(id);
    if (control == nullptr)
        return;
    CWnd wrapper(control);
    if (dx.m_bSaveAndValidate)
        value = wrapper.GetWindowText();
    else
        wrapper.SetWindowText(value);
}

UINT DisplayCodePage(const std::string& bytes) {
    const int length = static_cast<int>(bytes.size());
    if (length == 0 ||
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0) > 0)
        return CP_UTF8;
    return LegacyCodePage();
}

UINT LegacyCodePage() {
    const UINT system = ::GetACP();
    return system == CP_UTF8 ? 1252 : system;
}

std::wstring BytesToWide(const std::string& bytes, UINT codePage) {
    const int length = static_cast<int>(bytes.size());
    const int wideLength =
        length == 0 ? 0 : ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength > 0 ? wideLength : 0), L'\0');
    if (wideLength > 0)
        ::MultiByteToWideChar(codePage, 0, bytes.data(), length, wide.data(), wideLength);
    return wide;
}

std::string WideToBytes(const std::wstring& wide, UINT codePage) {
    const int length = static_cast<int>(wide.size());
    const int byteLength = length == 0 ? 0
                                       : ::WideCharToMultiByte(codePage, 0, wide.data(), length,
                                                               nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(byteLength > 0 ? byteLength : 0), '\0');
    if (byteLength > 0)
        ::WideCharToMultiByte(codePage, 0, wide.data(), length, bytes.data(), byteLength, nullptr,
                              nullptr);
    return bytes;
}

void DDX_TextBytes(CDataExchange& dx, int id, std::string& value, UINT& codePage) {
    HWND control = dx.PrepareCtrl(id);
    if (control == nullptr)
        return;
    if (dx.m_bSaveAndValidate) {
        // Through the wide call: the text as the box holds it, whatever the
        // window's kind, then back into the bytes it was shown from.
        const int length = ::GetWindowTextLengthW(control);
        std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        const int got = ::GetWindowTextW(control, wide.data(), length + 1);
        wide.resize(static_cast<std::size_t>(got > 0 ? got : 0));
        // What the user typed that the code page has no byte for is kept
        // as UTF-8 rather than lost to a substitute character.
        BOOL lossy = FALSE;
        if (codePage != 0 && codePage != CP_UTF8 && !wide.empty())
            ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                                  static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
        value = WideToBytes(wide, codePage != 0 && !lossy ? codePage : CP_UTF8);
    } else {
        codePage = DisplayCodePage(value);
        ::SetWindowTextW(control, BytesToWide(value, codePage).c_str());
    }
}

void DDX_Check(CDataExchange& dx, int id, int& value) {
    HWND control = dx.PrepareCtrl(id);
    if (control == nullptr)
        return;
    if (dx.m_bSaveAndValidate) {
        LRESULT state = ::SendMessageA(control, BM_GETCHECK, 0, 0);
        value = state == BST_CHECKED ? 1 : state == BST_INDETERMINATE ? 2 : 0;
    } else {
        value = NormalizeCheckValue(value);
        ::SendMessageA(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

void DDX_Control(CDataExchange& dx, int id, CWnd& control) {
    if (control.GetSafeHwnd() != nullptr)
        return;
    HWND hwnd = dx.PrepareCtrl(id);
    if (hwnd == nullptr)
        return;
    if (!control.SubclassWindow(hwnd))
        dx.Fail();
}

const MessageMap CDialog::kMessageMap = {&CWnd::kMessageMap, CDialog::kMessageEntries};
const MessageEntry CDialog::kMessageEntries[] = {
    OnCommand(IDOK, &CDialog::OnCommandOK),
    OnCommand(IDCANCEL, &CDialog::OnCommandCancel),
    MessageEntry{0, 0, nullptr},
};

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    if (m_hWnd != nullptr) {
        HWND hwnd = m_hWnd;
        UnsubclassWindow();
        m_hWnd = nullptr;
        if (::IsWindow(hwnd))
            ::DestroyWindow(hwnd);
    }
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr)
        return -1;
    HWND owner = nullptr;
    if (m_pParentWnd != nullptr) {
        owner = m_pParentWnd->GetSafeHwnd();
    } else if (CWinApp* app = GetApp();
               app != nullptr && app->GetMainWnd() != nullptr && app->GetMainWnd() != this) {
        owner = app->GetMainWnd()->GetSafeHwnd();
    }
    if (owner != nullptr)
        owner = ::GetAncestor(owner, GA_ROOT);

    m_bEnded = false;
    m_nModalResult = -1;

    // As DialogBox does: the owner is disabled while the dialog runs.
    bool ownerDisabled = false;
    if (owner != nullptr && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        ownerDisabled = true;
    }

    HWND hwnd;
    {
        CreationHook hook(this);
        hwnd = ::CreateDialogParamA(GetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                                    DialogProc, reinterpret_cast<LPARAM>(this));
    }
    if (hwnd == nullptr) {
        if (m_bCursorWindow) {
            SetWaitCursorWindow(m_hPreviousCursorWindow);
            m_bCursorWindow = false;
        }
        if (ownerDisabled)
            ::EnableWindow(owner, TRUE);
        return -1;
    }

    // A template without WS_VISIBLE is shown once initialisation is over.
    if (!m_bEnded && ::IsWindow(hwnd) && !::IsWindowVisible(hwnd))
        ::ShowWindow(hwnd, SW_SHOWNORMAL);

    MSG msg;
    while (!m_bEnded && ::IsWindow(hwnd)) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            // Leave WM_QUIT for the loop outside.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        bool handled = false;
        try {
            handled = PreTranslateMessage(&msg);
        } catch (...) {
            handled = false;
        }
        if (!handled) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    // Hide first, then give the owner back its input and activation, then
    // destroy, so that activation does not wander to another program.
    if (::IsWindow(hwnd))
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    if (ownerDisabled)
        ::EnableWindow(owner, TRUE);
    if (owner != nullptr && ::GetActiveWindow() == hwnd)
        ::SetActiveWindow(owner);
    if (m_bCursorWindow) {
        SetWaitCursorWindow(m_hPreviousCursorWindow);
        m_bCursorWindow = false;
    }
    if (::IsWindow(hwnd))
        ::DestroyWindow(hwnd);
    return m_nModalResult;
}

void CDialog::EndDialog(INT_PTR result) {
    m_nModalResult = result;
    m_bEnded = true;
    // Wakes the modal loop in case the call came from outside a dispatch.
    if (m_hWnd != nullptr)
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

bool CDialog::UpdateData(bool saveAndValidate) {
    if (m_hWnd == nullptr)
        return false;
    CDataExchange dx(this, saveAndValidate);
    try {
        DoDataExchange(dx);
    } catch (...) {
        return false;
    }
    return !dx.Failed();
}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::PreTranslateMessage(MSG* msg) {
    return m_hWnd != nullptr && ::IsDialogMessageW(m_hWnd, msg) != FALSE;
}

void CDialog::DoDataExchange(CDataExchange&) {}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETCURSOR && GetWaitCursorCount() > 0) {
        ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
        return TRUE;
    }
    if (msg == WaitCursorMessage()) {
        RefreshCursor();
        return 0;
    }
    return CWnd::WindowProc(msg, wp, lp);
}

LRESULT CDialog::OnCommandOK(WPARAM, LPARAM) {
    OnOK();
    return 0;
}

LRESULT CDialog::OnCommandCancel(WPARAM, LPARAM) {
    OnCancel();
    return 0;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lp) {
    // Everything else reaches the object through its subclass, attached when
    // the window was created; the dialog procedure only answers WM_INITDIALOG,
    // whose answer goes to the dialog manager as it is.
    if (msg != WM_INITDIALOG)
        return FALSE;
    CDialog* self = reinterpret_cast<CDialog*>(lp);
    if (self == nullptr)
        return TRUE;
    if (self->m_hWnd == nullptr)
        self->SubclassWindow(hwnd);
    // The main window hears of wait-cursor changes made on other threads from
    // now on, so that a count raised during initialisation is not missed.
    if (GetApp() != nullptr && GetApp()->GetMainWnd() == self) {
        self->m_hPreviousCursorWindow = GetWaitCursorWindow();
        self->m_bCursorWindow = true;
        SetWaitCursorWindow(hwnd);
    }
    try {
        return self->OnInitDialog();
    } catch (...) {
        return TRUE;
    }
}

} // namespace fw
