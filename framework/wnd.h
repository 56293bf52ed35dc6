// Window wrapper and per-class message tables.
//
// CWnd wraps one HWND. It never owns a window it was merely attached to; it
// owns (and destroys in its destructor) a window it created itself with
// CreateEx. A CWnd that subclasses its window (SubclassWindow, or every window
// the framework creates) receives the window's messages in WindowProc, which
// looks them up in the class's message table and falls back to the window's
// previous procedure (Default).
//
// Message table of a class, for example:
//
//     class CMyDlg : public fw::CDialog {
//         ...
//         LRESULT OnLookup(WPARAM, LPARAM);
//         LRESULT OnSize(WPARAM, LPARAM);
//         FW_DECLARE_MESSAGE_MAP();
//     };
//     FW_BEGIN_MESSAGE_MAP(CMyDlg, fw::CDialog)
//         fw::OnCommand(IDC_LOOKUP, &CMyDlg::OnLookup),
//         fw::OnMessage(WM_SIZE, &CMyDlg::OnSize),
//     FW_END_MESSAGE_MAP()
//
// A handler's return value is the message's LRESULT (a colour message returns
// its brush). A handler that wants the default processing as well calls
// Default() itself, before or after its own work. Tables chain to the base
// class's table; the most derived entry wins.
//
// Note: windows.h maps names such as SetWindowText, GetWindowText, SendMessage
// and PostMessage to their "A" forms as macros. The members below carry those
// names and are therefore really called SetWindowTextA etc.; that is harmless
// as long as windows.h comes first, which this header ensures.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace fw {

class CWnd;

// A member handler: receives the message's wParam and lParam, returns its LRESULT.
using MessageHandler = LRESULT (CWnd::*)(WPARAM, LPARAM);

// One row of a message table.
struct MessageEntry {
    UINT message; // window message
    UINT id;      // WM_COMMAND: the command id (a menu item, accelerator or button click)
    MessageHandler handler;
};

// A class's table: its own rows and the table of its base class.
struct MessageMap {
    const MessageMap* base;
    const MessageEntry* entries; // ends with a row whose handler is nullptr
};

// Finds the row for a message in a table chain, or nullptr.
const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wp, LPARAM lp);

// Row builders. T is the class that declares the handler.
template <class T> constexpr MessageEntry OnMessage(UINT message, LRESULT (T::*h)(WPARAM, LPARAM)) {
    return {message, 0, static_cast<MessageHandler>(h)};
}
// A menu item, accelerator, button click or a posted WM_COMMAND with lParam 0;
// other notifications of the control do not match.
template <class T> constexpr MessageEntry OnCommand(UINT id, LRESULT (T::*h)(WPARAM, LPARAM)) {
    return {WM_COMMAND, id, static_cast<MessageHandler>(h)};
}

// The message a parent reflects to a child wrapper: WM_CTLCOLOR* arrive at the
// child as ReflectedMessage(WM_CTLCOLOR...). A child answers with a brush, or 0
// to leave the colours to the parent's default handling.
inline constexpr UINT kReflectedMessageBase = WM_USER + 0x1C00;
constexpr UINT ReflectedMessage(UINT message) {
    return kReflectedMessageBase + message;
}

// Declares a class's table inside its class body; define it in the .cpp file
// with FW_BEGIN_MESSAGE_MAP(Class, Base) rows... FW_END_MESSAGE_MAP().
#define FW_DECLARE_MESSAGE_MAP()                                                                   \
protected:                                                                                         \
    static const ::fw::MessageEntry kMessageEntries[];                                             \
                                                                                                   \
public:                                                                                            \
    static const ::fw::MessageMap kMessageMap;                                                     \
    const ::fw::MessageMap* GetMessageMap() const override {                                       \
        return &kMessageMap;                                                                       \
    }

#define FW_BEGIN_MESSAGE_MAP(Class, Base)                                                          \
    const ::fw::MessageMap Class::kMessageMap = {&Base::kMessageMap, Class::kMessageEntries};      \
    const ::fw::MessageEntry Class::kMessageEntries[] = {
// The root .clang-format knows the two as the start and end of a block.
#define FW_END_MESSAGE_MAP()                                                                       \
    ::fw::MessageEntry {                                                                           \
        0, 0, nullptr                                                                              \
    }                                                                                              \
    }                                                                                              \
    ;

class CWnd {
public:
    CWnd() = default;
    explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
    // Removes the subclass first (so no handler runs on a half-destroyed
    // object), then destroys the window if this object created it.
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Plain wrapping: no messages reach this object.
    void Attach(HWND hwnd) { m_hWnd = hwnd; }

    // Wraps an existing window and routes its messages through WindowProc
    // (SetWindowSubclass). False if already subclassed by another object.
    bool SubclassWindow(HWND hwnd);
    void UnsubclassWindow();

    // The CWnd that subclasses hwnd, or nullptr.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Creates a window owned by this object, with its messages routed through
    // WindowProc from the very first (WM_NCCREATE, WM_CREATE). className
    // nullptr uses the framework's own plain class (DefWindowProcA behind it).
    bool CreateEx(DWORD exStyle, const char* className, const std::string& title, DWORD style,
                  int x, int y, int width, int height, HWND parent, HMENU menuOrId = nullptr);
    bool DestroyWindow();

    // One-message helpers.
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    void SetWindowText(const std::string& text) { ::SetWindowTextA(m_hWnd, text.c_str()); }
    std::string GetWindowText() const;
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendMessageA(m_hWnd, msg, wp, lp);
    }
    bool PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::PostMessageA(m_hWnd, msg, wp, lp) != FALSE;
    }
    // Returns whether the window was visible before (as ShowWindow does).
    bool ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd) != FALSE; }
    bool IsIconic() const { return ::IsIconic(m_hWnd) != FALSE; }
    bool IsZoomed() const { return ::IsZoomed(m_hWnd) != FALSE; }
    RECT GetClientRect() const;
    // WM_SETFONT; the window does not own the font: keep it alive (see CFont).
    void SetFont(HFONT font, bool redraw = true) {
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }
    HICON SetIcon(HICON icon, bool big) {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    HMENU GetSystemMenu(bool revert = false) const { return ::GetSystemMenu(m_hWnd, revert); }
    bool SetWindowPlacement(const WINDOWPLACEMENT* wp) {
        return ::SetWindowPlacement(m_hWnd, wp) != FALSE;
    }

    // The message table of this class (chained to its bases).
    virtual const MessageMap* GetMessageMap() const { return &kMessageMap; }
    static const MessageMap kMessageMap; // empty, the end of every chain

protected:
    // Every message of a subclassed or framework-created window arrives here.
    // The default: WM_CTLCOLOR* are first offered to the child's wrapper
    // (ReflectedMessage), then the message table, then Default().
    // Overrides handle what they want and call the base for the rest.
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);

    // Default processing of the message now being handled: the window's
    // previous procedure.
    LRESULT Default();
    LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                         DWORD_PTR ref);
    friend class CreationHook;

    struct CurrentMessage {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
    };
    CurrentMessage m_current{WM_NULL, 0, 0};
    bool m_bSubclassed = false;
    bool m_bOwnsWindow = false;
};

// While alive, the next window created on this thread is subclassed by wnd
// at HCBT_CREATEWND, before it sees its first message. Used by CreateEx and
// by CDialog; nests.
class CreationHook {
public:
    explicit CreationHook(CWnd* wnd);
    ~CreationHook();
    CreationHook(const CreationHook&) = delete;
    CreationHook& operator=(const CreationHook&) = delete;

private:
    static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp);
    CWnd* m_previousPending;
    HHOOK m_previousHook;
};

} // namespace fw
