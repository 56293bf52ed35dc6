// The main window (dialog 102): the query, the Lookup / Abort button, the
// "Convert To IP" option, the result box, Configure, the notification area,
// the maker's software page and the About box.
//
// A lookup runs on a worker thread of its own (engine/lookup_worker.h). The
// dialog sets the active query and starts the worker; the worker posts
// WM_LOOKUP_DONE when its query is still the active one, and the dialog then
// shows the result. Abort only empties the active query: the worker runs to
// its end and delivers nothing. Workers hold the window handle by value and
// never touch the dialog object, so a worker that outlives the dialog (or
// the program's objects) touches nothing released.
//
// Every way of closing (Close, Cancel, the title-bar close box, Alt+F4, the
// tray menu's Exit) ends in the close sequence of OnOK: a running lookup is
// abandoned and given a second, the sockets layer is shut down, and the
// option, the history and the window placement are written.
#pragma once

#include "app/system_tray.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/gdi.h"
#include "ui/styled_labels.h"

#include <string>

class WhoisNetwork;

class CLookupDlg : public fw::CDialog {
public:
    // tray: the program's one notification-area icon, which outlives the
    // dialog. Reads "Convert To IP", loads the icon and creates the font.
    explicit CLookupDlg(CSystemTray& tray, fw::CWnd* parent = nullptr);
    ~CLookupDlg() override;

    // The callback message and icon id given to the notification-area icon.
    static constexpr UINT kTrayCallbackMessage = WM_USER + 10; // 1034
    static constexpr UINT kTrayIconId = 140;                   // also the tray menu's id
    // How long the close sequence gives a running lookup.
    static constexpr DWORD kCloseWaitMs = 1000;
    // The least size the window can be dragged to, frame included (at 96
    // DPI; in proportion at others).
    static constexpr int kMinTrackWidth = 400;
    static constexpr int kMinTrackHeight = 350;

    // Seams for tests. The network every lookup goes through (null, the
    // default: the real transport); it must outlive every worker started
    // while it is set. The sockets clean-up of the close sequence.
    void SetNetwork(WhoisNetwork* network) { m_pNetwork = network; }
    void SetSocketsCleanup(void (*cleanup)()) { m_pfnCleanupSockets = cleanup; }

    // Whether the notification-area icon could be created. Without it
    // "&Tray" and the "Minimize" start option minimise the window instead,
    // since a hidden window without an icon could never be brought back.
    bool HasTrayIcon() const { return m_bTrayIcon; }

    // Places the controls for the current client size and DPI (see the .cpp
    // file). Does nothing while the result box does not exist yet.
    void LayoutControls();
    // The DPI the fonts and the layout are made for (96 until initialised).
    int Dpi() const { return m_dpi; }
    // WM_DPICHANGED (the headers of older systems lack it).
    static constexpr UINT kDpiChangedMessage = 0x02E0;

    void DoDataExchange(fw::CDataExchange& dx) override;
    // Escape (key down or up) goes no further; everything else gets the
    // dialog's own keyboard handling.
    bool PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    // The close sequence.
    void OnOK() override;
    // Runs the close sequence too.
    void OnCancel() override;

    // Members bound by the data exchange.
    std::string m_strQuery;
    int m_bConvertToIp;

protected:
    // Handles WM_LOOKUP_DONE and WM_LOOKUP_PROGRESS and consumes them: passed on to the dialog
    // manager, message 1026 would be DM_REPOSITION and move a window that is
    // partly off the screen after every lookup.
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void OnLookupDone();
    void OnLookupProgress();
    // Removes WM_LOOKUP_DONE and WM_LOOKUP_PROGRESS messages already queued
    // for a lookup that is no longer the active one.
    void DiscardQueuedResults();

    LRESULT OnCreate(WPARAM, LPARAM);
    LRESULT OnLookup(WPARAM, LPARAM);
    LRESULT OnConfigure(WPARAM, LPARAM);
    LRESULT OnTray(WPARAM, LPARAM);
    LRESULT OnTrayRestore(WPARAM, LPARAM);
    LRESULT OnTrayExit(WPARAM, LPARAM);
    LRESULT OnMoreSoftware(WPARAM, LPARAM);
    LRESULT OnSysCommand(WPARAM, LPARAM);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);
    LRESULT OnSize(WPARAM, LPARAM);
    LRESULT OnGetMinMaxInfo(WPARAM, LPARAM);
    LRESULT OnDpiChanged(WPARAM, LPARAM);
    void ApplyDpi(int dpi);

    CSystemTray& m_tray;
    HICON m_hIcon;
    fw::CFont m_fontResult;
    bool m_bTrayIcon = false;
    WINDOWPLACEMENT m_placement{}; // the saved placement applied at creation
    bool m_bPlacementRestored = false;
    WhoisNetwork* m_pNetwork = nullptr;
    bool m_classicLookup = false; // "Classic Lookup", read at start-up
    int m_dpi = 96;
    void (*m_pfnCleanupSockets)();

    CHeadingLabel m_heading;       // 1008
    fw::CButton m_groupInput;      // 1005
    fw::CComboBox m_comboQuery;    // 1007
    fw::CButton m_btnLookup;       // 1001
    fw::CButton m_checkConvert;    // 1004
    CResultEdit m_editResult;      // 1002
    fw::CButton m_btnConfigure;    // 3
    fw::CButton m_btnTray;         // 1006
    fw::CButton m_btnClose;        // 1 (IDOK)
    fw::CButton m_btnMoreSoftware; // 4

    FW_DECLARE_MESSAGE_MAP()
};
