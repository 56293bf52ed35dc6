// Modal dialog base and the data exchange between controls and members.
//
// CDialog is created from a dialog resource of the executable. DoModal
// creates the window with CreateDialogParamA (the window is subclassed at
// creation, so even WM_CREATE reaches the message table), disables the owner
// and runs its own message loop, in which PreTranslateMessage sees every
// queued message before it is dispatched (the default hands it to
// IsDialogMessageW: Tab, Return for the default button, Escape for Cancel).
// The loop takes and dispatches messages through the wide calls, so typed
// characters of any script reach the controls intact (with the UTF-8 code
// page of the manifest, the 8-bit texts of the controls are UTF-8).
// EndDialog ends that loop; DoModal then hides and destroys the window,
// enables the owner again and returns the result.
//
// Base table: IDOK -> OnOK, IDCANCEL -> OnCancel. The dialog manager turns
// Escape and the close box into WM_COMMAND IDCANCEL and Return into the
// default button's command.
//
// While the wait-cursor count (framework/thread.h) is above zero every
// framework dialog shows the hourglass over itself.
#pragma once

#include "framework/wnd.h"

#include <string>

namespace fw {

class CDialog;

// One run of a dialog's data exchange: towards the members (save) or towards
// the controls (load). A control that does not exist marks the run failed.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    // The control's window, or nullptr (and the run is marked failed).
    HWND PrepareCtrl(int id);
    void Fail() { m_bFailed = true; }
    bool Failed() const { return m_bFailed; }

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate; // true: controls -> members
private:
    bool m_bFailed = false;
};

// Window text of an edit control or of a drop-down combo box's field.
void DDX_Text(CDataExchange& dx, int id, std::string& value);

// The same for text that is bytes of a file rather than of the system code
// page, written back byte for byte. Valid UTF-8 is shown as such; other bytes
// as the system code page, or, where that is UTF-8 (and would show them as
// replacement characters, which the edit control may not even survive), as
// Windows-1252. CODEPAGE keeps the choice made on the way in, so that the way
// out gives the same bytes back for an unchanged text.
void DDX_TextBytes(CDataExchange& dx, int id, std::string& value, UINT& codePage);

// The code page DDX_TextBytes shows BYTES in, the one it falls back to for
// bytes that are not UTF-8, and the conversions both ways (empty when the
// text does not convert).
UINT DisplayCodePage(const std::string& bytes);
UINT LegacyCodePage();
std::wstring BytesToWide(const std::string& bytes, UINT codePage);
std::string WideToBytes(const std::wstring& wide, UINT codePage);

// Check box state: 0 cleared, 1 set, 2 indeterminate. Into the box the value
// first passes through NormalizeCheckValue (member included).
void DDX_Check(CDataExchange& dx, int id, int& value);

// A check-box value outside 0..2 is replaced by 0 before it is shown.
constexpr int NormalizeCheckValue(int value) {
    return value < 0 || value > 2 ? 0 : value;
}

// Binds a wrapper to the dialog's control by id on the first run and
// subclasses it, so the wrapper's own message table applies. Later runs
// leave an already bound wrapper alone.
void DDX_Control(CDataExchange& dx, int id, CWnd& control);

class CDialog : public CWnd {
public:
    // templateId: the dialog resource in the executable. parent: the owner
    // (nullptr: the application's main window, if any and not this dialog).
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog; returns the value given to EndDialog, or -1 when the
    // window could not be created. A WM_QUIT met in the loop ends the run
    // (result -1 unless EndDialog was called) and is posted again.
    INT_PTR DoModal();
    // Ends the modal loop after the current message; DoModal returns result.
    void EndDialog(INT_PTR result);
    bool IsEnded() const { return m_bEnded; }

    // Runs DoDataExchange; false if it failed (a control missing).
    bool UpdateData(bool saveAndValidate = true);

    // WM_INITDIALOG. The default runs UpdateData(false) and returns TRUE
    // (let the dialog manager set the focus). The answer is passed through
    // to the dialog manager unchanged: return FALSE after setting the focus.
    virtual BOOL OnInitDialog();
    // IDOK. Default: UpdateData(true), then EndDialog(IDOK) if it succeeded.
    virtual void OnOK();
    // IDCANCEL. Default: EndDialog(IDCANCEL).
    virtual void OnCancel();
    // Every queued message of the modal loop, before dispatch. True: handled,
    // not dispatched. Default: IsDialogMessageW for this dialog.
    virtual bool PreTranslateMessage(MSG* msg);
    // Binds controls and members (DDX_*). Default: nothing.
    virtual void DoDataExchange(CDataExchange& dx);

    FW_DECLARE_MESSAGE_MAP()

protected:
    // Shows the wait cursor while the count is above zero, then the base.
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnCommandOK(WPARAM, LPARAM);
    LRESULT OnCommandCancel(WPARAM, LPARAM);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    INT_PTR m_nModalResult = -1;
    bool m_bEnded = false;
    bool m_bCursorWindow = false; // this dialog is the wait-cursor window
    HWND m_hPreviousCursorWindow = nullptr;
};

} // namespace fw
