#include "app/lookup_dlg.h"

#include "app/history.h"
#include "app/settings.h"
#include "engine/lookup_worker.h"
#include "base/text.h"
#include "app/window_target.h"
#include "framework/app.h"
#include "platform/sockets.h"
#include "res/resource.h"
#include "servers/configure_dlg.h"
#include "ui/result_display.h"
#include "ui/about_dlg.h"
#include "ui/branding.h"
#include "ui/weblinks.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

constexpr char kLookupCaption[] = "&Lookup";
constexpr char kAbortCaption[] = "Abort";
constexpr char kAbortedText[] = "Aborted.";

// The dialog manager of the ANSI calls makes ANSI controls, and a wide text
// sent to an ANSI window is narrowed to the system code page on its way in.
// Setting the box's own procedure again through the wide call makes it a
// wide-character window; texts of the code page still reach it unchanged.
// Done before the box is bound, whose binding chains onto that procedure.
void MakeWideCharacterWindow(HWND box) {
    if (box != nullptr)
        ::SetWindowLongPtrW(box, GWLP_WNDPROC, ::GetWindowLongPtrW(box, GWLP_WNDPROC));
}

// Puts a result into the result box: UTF-8 through the wide-character call.
// Anything else is bytes of the system code page, except where that code
// page is UTF-8 (the manifest's choice on current systems): there the bytes
// of an older server are read as Windows-1252, the code page of the Latin-1
// answers such servers send, rather than shown as replacement characters.
void ShowResult(HWND box, const ResultDisplay& shown) {
    // utf8 was checked strictly when the result was made ready for display.
    const UINT codePage = shown.utf8 ? CP_UTF8 : fw::LegacyCodePage();
    ::SetWindowTextW(box, fw::BytesToWide(shown.text, codePage).c_str());
}

// The pixel layout of LayoutControls for a client area of W x H.
struct ControlPlace {
    int id;
    int x, y, width, height;
};

} // namespace

// clang-format off
FW_BEGIN_MESSAGE_MAP(CLookupDlg, fw::CDialog)
    fw::OnMessage(WM_CREATE, &CLookupDlg::OnCreate),
    fw::OnCommand(IDC_LOOKUP, &CLookupDlg::OnLookup),
    fw::OnCommand(IDC_CONFIGURE, &CLookupDlg::OnConfigure),
    fw::OnCommand(IDC_TRAY, &CLookupDlg::OnTray),
    fw::OnCommand(ID_TRAY_RESTORE, &CLookupDlg::OnTrayRestore),
    fw::OnCommand(ID_TRAY_EXIT, &CLookupDlg::OnTrayExit),
    fw::OnCommand(IDC_MORE_SOFTWARE, &CLookupDlg::OnMoreSoftware),
    fw::OnMessage(WM_SYSCOMMAND, &CLookupDlg::OnSysCommand),
    fw::OnMessage(WM_PAINT, &CLookupDlg::OnPaint),
    fw::OnMessage(WM_QUERYDRAGICON, &CLookupDlg::OnQueryDragIcon),
    fw::OnMessage(WM_SIZE, &CLookupDlg::OnSize),
    fw::OnMessage(WM_GETMINMAXINFO, &CLookupDlg::OnGetMinMaxInfo),
    fw::OnMessage(kDpiChangedMessage, &CLookupDlg::OnDpiChanged),
FW_END_MESSAGE_MAP()
// clang-format on

CLookupDlg::CLookupDlg(CSystemTray& tray, fw::CWnd* parent)
    : CDialog(IDD_LOOKUP_DIALOG, parent),
      m_bConvertToIp(ReadSettingInt(kSettingsSection, kConvertToIpValue, 1)), m_tray(tray),
      m_hIcon(::LoadIconA(fw::GetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_pfnCleanupSockets(&platform::CleanupSockets) {
    CreateCourierListFont(m_fontResult);
}

// The font is deleted by its owner; the icons are shared resources.
CLookupDlg::~CLookupDlg() = default;

void CLookupDlg::DoDataExchange(fw::CDataExchange& dx) {
    fw::DDX_Control(dx, IDC_HEADING, m_heading);
    fw::DDX_Control(dx, IDC_INPUT_GROUP, m_groupInput);
    fw::DDX_Control(dx, IDC_QUERY, m_comboQuery);
    fw::DDX_Control(dx, IDC_LOOKUP, m_btnLookup);
    fw::DDX_Control(dx, IDC_CONVERT_TO_IP, m_checkConvert);
    if (m_editResult.GetSafeHwnd() == nullptr)
        MakeWideCharacterWindow(GetDlgItem(IDC_RESULT));
    fw::DDX_Control(dx, IDC_RESULT, m_editResult);
    fw::DDX_Control(dx, IDC_CONFIGURE, m_btnConfigure);
    fw::DDX_Control(dx, IDC_TRAY, m_btnTray);
    fw::DDX_Control(dx, IDOK, m_btnClose);
    fw::DDX_Control(dx, IDC_MORE_SOFTWARE, m_btnMoreSoftware);
    fw::DDX_Text(dx, IDC_QUERY, m_strQuery);
    // Into the box, a stored value outside 0..2 becomes 0 (member included).
    fw::DDX_Check(dx, IDC_CONVERT_TO_IP, m_bConvertToIp);
}

bool CLookupDlg::PreTranslateMessage(MSG* msg) {
    // Escape would close the dialog through Cancel; here it only closes the
    // history's open drop-down list, and otherwise does nothing.
    // Return still reaches the dialog manager and presses "&Lookup".
    if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == VK_ESCAPE) {
        HWND query = GetDlgItem(IDC_QUERY);
        if (msg->message == WM_KEYDOWN && query != nullptr &&
            ::SendMessageA(query, CB_GETDROPPEDSTATE, 0, 0) != FALSE)
            ::SendMessageA(query, CB_SHOWDROPDOWN, FALSE, 0);
        return true;
    }
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CLookupDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_LOOKUP_DONE) {
        OnLookupDone();
        return 0; // consumed: never DM_REPOSITION
    }
    if (msg == WM_LOOKUP_PROGRESS) {
        OnLookupProgress();
        return 0;
    }
    return CDialog::WindowProc(msg, wp, lp);
}

// Window creation: the saved placement is applied before the controls and
// the first layout exist. A placement that would put the window off every
// screen is brought onto the nearest one first.
LRESULT CLookupDlg::OnCreate(WPARAM, LPARAM) {
    if (Default() == -1)
        return -1;
    m_bPlacementRestored = ReadWindowPlacement(m_placement);
    if (m_bPlacementRestored) {
        const bool moved = BringPlacementOnScreen(m_placement);
        SetWindowPlacement(&m_placement);
        // The system keeps the window between its smallest and largest
        // tracking size, so the rectangle it really got can lie off every
        // screen although the stored one did not (one larger than the screen
        // far to the left, one whose right edge lies left of its left edge),
        // or reach beyond the work area after the move above. The rectangle
        // the window really has is checked once more (a maximised window is
        // on its screen whatever its normal rectangle).
        WINDOWPLACEMENT actual{};
        actual.length = sizeof(actual);
        if (!IsZoomed() && ::GetWindowPlacement(m_hWnd, &actual)) {
            WINDOWPLACEMENT check = m_placement;
            check.rcNormalPosition = actual.rcNormalPosition;
            if (BringPlacementOnScreen(check, moved)) {
                m_placement = check;
                SetWindowPlacement(&m_placement);
            }
        }
    }
    return 0;
}

BOOL CLookupDlg::OnInitDialog() {
    // The first data exchange: field and result box empty, the check box
    // showing the option.
    CDialog::OnInitDialog();

    // A window maximised during its creation is maximised once more when the
    // creation ends, and the system then takes the maximised rectangle as
    // its normal one. The saved normal rectangle is given back here, so that
    // restoring the window returns it to where it was.
    if (m_bPlacementRestored && IsZoomed())
        SetWindowPlacement(&m_placement);

    if (HMENU systemMenu = GetSystemMenu(false)) {
        std::string about = fw::LoadString(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    SetIcon(m_hIcon, true);
    SetIcon(m_hIcon, false);

    ApplyDpi(fw::WindowDpi(m_hWnd));

    const int minimize = ReadSettingInt(kSettingsSection, kMinimizeValue, 0);
    m_classicLookup = ReadSettingInt(kSettingsSection, kClassicLookupValue, 0) != 0;

    // The icon is created, given "Restore" as its default item and taken out
    // of the notification area again at once: it shows only while the
    // window is hidden. Where it cannot be created the dialog goes on
    // without it.
    std::string tip;
    GetProductName(tip);
    const int iconSize = ::GetSystemMetrics(SM_CXSMICON);
    HICON trayIcon =
        static_cast<HICON>(::LoadImageA(fw::GetResourceHandle(), MAKEINTRESOURCEA(IDI_TRAY),
                                        IMAGE_ICON, iconSize, iconSize, LR_SHARED));
    m_bTrayIcon = m_tray.Create(nullptr, kTrayCallbackMessage, tip, trayIcon, kTrayIconId);
    if (m_bTrayIcon) {
        m_tray.SetDefaultMenuItem(0, true);
        m_tray.HideIcon();
    }

    // Handled once the modal loop runs: the program starts in the tray.
    if (minimize != 0)
        PostMessage(WM_COMMAND, IDC_TRAY, 0);

    std::string heading;
    GetHeadingText(heading);
    m_heading.SetText(heading);

    LoadHistory(kHistorySection, m_comboQuery);

    std::string title;
    GetWindowTitle(title);
    SetWindowText(title);

    return TRUE; // the focus goes to the first tab stop, the query
}

// The fonts, the result box's margins and the layout for the window's dots
// per inch.
void CLookupDlg::ApplyDpi(int dpi) {
    m_dpi = dpi;
    CreateCourierListFont(m_fontResult, dpi);
    m_heading.SetDpi(dpi);
    m_editResult.SetFont(m_fontResult, true);
    const int margin = fw::ScaleForDpi(8, dpi);
    m_editResult.SetMargins(margin, margin);
    LayoutControls();
    ::InvalidateRect(m_heading.GetSafeHwnd(), nullptr, TRUE);
}

// The window moved to a monitor of another DPI (or the setting changed): it
// takes the rectangle the system proposes, then fonts and layout follow.
LRESULT CLookupDlg::OnDpiChanged(WPARAM wp, LPARAM lp) {
    const int dpi = LOWORD(wp);
    if (const RECT* proposed = reinterpret_cast<const RECT*>(lp))
        ::SetWindowPos(m_hWnd, nullptr, proposed->left, proposed->top,
                       proposed->right - proposed->left, proposed->bottom - proposed->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDpi(fw::PlausibleDpi(dpi) ? dpi : fw::WindowDpi(m_hWnd));
    return 0;
}

// Places every control but the heading for the client size W x H, in pixels
// at 96 DPI (each figure below is scaled to the window's DPI):
//
//   control              x        y        width    height
//   result box           14       158      W - 28   H - 208
//   group box            14       64       W - 28   85
//   query (with list)    30       85       250      250
//   "&Lookup"            290      85       70       25
//   "Convert To IP"      30       115      250      25
//   "Close"              W - 84   H - 38   70       24
//   "&Tray"              W - 162  H - 38   70       24
//   "&More Software..."  14       H - 38   120      24
//   "&Configure..."      142      H - 38   70       24
//
// Only the group box and the result box grow with the width, only the result
// box with the height; the bottom row keeps 14 pixels below it. A client area
// smaller than the fixed offsets gives sizes of 0, not negative ones.
void CLookupDlg::LayoutControls() {
    HWND result = GetDlgItem(IDC_RESULT);
    if (result == nullptr || !::IsWindow(result))
        return;
    const RECT client = GetClientRect();
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    const auto s = [this](int pixels) { return fw::ScaleForDpi(pixels, m_dpi); };

    const ControlPlace places[] = {
        {IDC_RESULT, s(14), s(158), w - s(28), h - s(208)},
        {IDC_INPUT_GROUP, s(14), s(64), w - s(28), s(85)},
        {IDC_QUERY, s(30), s(85), s(250), s(250)},
        {IDC_LOOKUP, s(290), s(85), s(70), s(25)},
        {IDC_CONVERT_TO_IP, s(30), s(115), s(250), s(25)},
        {IDOK, w - s(84), h - s(38), s(70), s(24)},
        {IDC_TRAY, w - s(162), h - s(38), s(70), s(24)},
        {IDC_MORE_SOFTWARE, s(14), h - s(38), s(120), s(24)},
        {IDC_CONFIGURE, s(142), h - s(38), s(70), s(24)},
    };
    for (const ControlPlace& place : places) {
        HWND control = GetDlgItem(place.id);
        if (control == nullptr)
            continue;
        // The combo box is hidden while it moves, so its list and field are
        // not painted at the old place in between.
        const bool isQuery = place.id == IDC_QUERY;
        if (isQuery)
            ::ShowWindow(control, SW_HIDE);
        ::MoveWindow(control, place.x, place.y, std::max(place.width, 0), std::max(place.height, 0),
                     TRUE);
        if (isQuery)
            ::ShowWindow(control, SW_SHOW);
    }
    ::InvalidateRect(GetDlgItem(IDC_TRAY), nullptr, TRUE);
    ::InvalidateRect(GetDlgItem(IDC_CONFIGURE), nullptr, TRUE);
}

// "&Lookup", Return, or "Abort" while a lookup runs.
LRESULT CLookupDlg::OnLookup(WPARAM, LPARAM) {
    UpdateData(true);

    if (IsLookupRunning()) {
        // Abort: the worker runs on and, its query no longer the active
        // one, delivers nothing. A result it delivered just before is still
        // queued; it is dropped too.
        ClearActiveQuery();
        DiscardQueuedResults();
        m_btnLookup.SetWindowText(kLookupCaption);
        // The default mode says so at once; the classic one keeps what the
        // box shows.
        if (!m_classicLookup)
            m_editResult.SetWindowText(kAbortedText);
        return 0;
    }

    m_strQuery = text::Trim(m_strQuery);
    if (m_strQuery.empty())
        return 0;

    m_btnLookup.SetWindowText(kAbortCaption);
    // No worker delivers while no lookup runs, so whatever is queued now
    // belongs to a lookup that was abandoned.
    DiscardQueuedResults();
    ClearLookupResult();
    ClearLookupProgress();
    SetActiveQuery(m_strQuery);
    if (!StartLookupWorker(m_bConvertToIp, m_classicLookup,
                           WindowLookupTarget(reinterpret_cast<std::uintptr_t>(m_hWnd)),
                           m_pNetwork)) {
        // No thread: nothing would ever end this lookup.
        ClearActiveQuery();
        m_btnLookup.SetWindowText(kLookupCaption);
    }
    // The trimmed query goes to the top of the list and shows in the field.
    AddToHistory(m_strQuery, m_comboQuery, HISTORY_LIMIT);
    // Classic mode: the result box keeps the previous result until the new
    // one arrives. The default mode shows the worker's steps meanwhile.
    return 0;
}

void CLookupDlg::OnLookupDone() {
    // A message for a lookup that is no longer running (abandoned, or sent
    // by someone else) shows nothing.
    if (!IsLookupRunning())
        return;
    // A huge answer is shown cut, so the box takes it in without freezing.
    ShowResult(m_editResult, ResultForDisplay(LookupResult()));
    m_btnLookup.SetWindowText(kLookupCaption);
    ClearActiveQuery();
}

// The steps of the running lookup so far (default mode), in place of what
// the box showed.
void CLookupDlg::OnLookupProgress() {
    if (!IsLookupRunning() || m_classicLookup)
        return;
    ShowResult(m_editResult, ResultForDisplay(LookupProgress()));
}

void CLookupDlg::DiscardQueuedResults() {
    MSG msg;
    while (::PeekMessageA(&msg, m_hWnd, WM_LOOKUP_DONE, WM_LOOKUP_PROGRESS, PM_REMOVE)) {
    }
}

LRESULT CLookupDlg::OnConfigure(WPARAM, LPARAM) {
    CConfigureDlg configure(this);
    configure.DoModal();
    return 0;
}

LRESULT CLookupDlg::OnTray(WPARAM, LPARAM) {
    if (m_bTrayIcon) {
        m_tray.ShowIcon();
        ShowWindow(SW_HIDE); // a hidden window has no taskbar button
    } else {
        ShowWindow(SW_MINIMIZE);
    }
    return 0;
}

LRESULT CLookupDlg::OnTrayRestore(WPARAM, LPARAM) {
    ShowWindow(SW_SHOW);
    m_tray.HideIcon();
    return 0;
}

LRESULT CLookupDlg::OnTrayExit(WPARAM, LPARAM) {
    PostMessage(WM_COMMAND, IDOK, 0);
    return 0;
}

LRESULT CLookupDlg::OnMoreSoftware(WPARAM, LPARAM) {
    OpenMoreSoftwarePage();
    return 0;
}

LRESULT CLookupDlg::OnSysCommand(WPARAM wp, LPARAM) {
    if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
        return 0;
    }
    return Default();
}

// While minimised the window draws its icon centred in the client area.
LRESULT CLookupDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic())
        return Default();
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const RECT client = GetClientRect();
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CLookupDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_hIcon);
}

// Minimising leaves the controls where they are; restoring lays them out
// again.
LRESULT CLookupDlg::OnSize(WPARAM wp, LPARAM) {
    LRESULT result = Default();
    if (wp != SIZE_MINIMIZED)
        LayoutControls();
    return result;
}

LRESULT CLookupDlg::OnGetMinMaxInfo(WPARAM, LPARAM lp) {
    MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lp);
    info->ptMinTrackSize.x = fw::ScaleForDpi(kMinTrackWidth, m_dpi);
    info->ptMinTrackSize.y = fw::ScaleForDpi(kMinTrackHeight, m_dpi);
    return Default();
}

// The close sequence, run by every way of closing.
void CLookupDlg::OnOK() {
    if (IsEnded())
        return;
    UpdateData(true);
    if (IsLookupRunning()) {
        // The worker will deliver nothing; it gets a second to see that.
        ClearActiveQuery();
        ::Sleep(kCloseWaitMs);
    }
    if (m_pfnCleanupSockets != nullptr)
        m_pfnCleanupSockets();
    WriteSettingInt(kSettingsSection, kConvertToIpValue, m_bConvertToIp);
    SaveHistory(kHistorySection, m_comboQuery, HISTORY_LIMIT);
    CaptureWindowPlacement(m_hWnd);
    CDialog::OnOK();
}

void CLookupDlg::OnCancel() {
    OnOK();
}
