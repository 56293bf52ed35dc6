#include "framework/wnd.h"

#include <commctrl.h>

#include <vector>

namespace fw {

namespace {

// Our subclass's id among the window's subclasses.
constexpr UINT_PTR kSubclassId = 0x4657;

constexpr char kWindowClassName[] = "OstrabelFwWindow";

// The framework's plain window class: DefWindowProcA behind the subclass.
bool RegisterFrameworkClass() {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClassName;
        return ::RegisterClassA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// GetWindowSubclass, looked up in comctl32 at run time: the 64-bit MinGW-w64
// import library of Debian 12 lacks it (the 32-bit one has it). Exported by
// name from comctl32 6 and by ordinal 411 in every version.
BOOL WindowSubclassData(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR* ref) {
    using Function = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*);
    static const Function function = [] {
        HMODULE comctl = ::GetModuleHandleA("comctl32.dll");
        if (comctl == nullptr)
            comctl = ::LoadLibraryA("comctl32.dll");
        if (comctl == nullptr)
            return Function{};
        FARPROC found = ::GetProcAddress(comctl, "GetWindowSubclass");
        if (found == nullptr)
            found = ::GetProcAddress(comctl, MAKEINTRESOURCEA(411));
        return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
    }();
    return function != nullptr ? function(hwnd, proc, id, ref) : FALSE;
}

// The window that CreationHook attaches next, and the hook in place for it.
thread_local CWnd* t_pendingWindow = nullptr;
thread_local HHOOK t_hook = nullptr;

std::string ReadWindowText(HWND hwnd) {
    int length = ::GetWindowTextLengthA(hwnd);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    int got = ::GetWindowTextA(hwnd, buffer.data(), length + 1);
    return std::string(buffer.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

} // namespace

const MessageMap CWnd::kMessageMap = {nullptr, nullptr};

const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wp, LPARAM lp) {
    UINT id = 0;
    if (message == WM_COMMAND) {
        // Menus and accelerators carry no control (lParam 0): both are plain
        // commands, whatever their code, as a button click (code 0) is. Other
        // notifications of a control match no row.
        if (lp != 0 && HIWORD(wp) != BN_CLICKED)
            return nullptr;
        id = LOWORD(wp);
    }
    for (; map != nullptr; map = map->base) {
        if (map->entries == nullptr)
            continue;
        for (const MessageEntry* e = map->entries; e->handler != nullptr; ++e) {
            if (e->message == message && e->id == id)
                return e;
        }
    }
    return nullptr;
}

CWnd::~CWnd() {
    if (m_hWnd == nullptr)
        return;
    HWND hwnd = m_hWnd;
    UnsubclassWindow();
    if (m_bOwnsWindow && ::IsWindow(hwnd))
        ::DestroyWindow(hwnd);
    m_hWnd = nullptr;
}

bool CWnd::SubclassWindow(HWND hwnd) {
    if (hwnd == nullptr || !::IsWindow(hwnd) || m_bSubclassed)
        return false;
    if (FromHandlePermanent(hwnd) != nullptr)
        return false;
    if (!::SetWindowSubclass(hwnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hWnd = hwnd;
    m_bSubclassed = true;
    return true;
}

void CWnd::UnsubclassWindow() {
    if (m_bSubclassed && m_hWnd != nullptr)
        ::RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
    m_bSubclassed = false;
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    DWORD_PTR ref = 0;
    if (hwnd == nullptr || !WindowSubclassData(hwnd, SubclassProc, kSubclassId, &ref))
        return nullptr;
    return reinterpret_cast<CWnd*>(ref);
}

bool CWnd::CreateEx(DWORD exStyle, const char* className, const std::string& title, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menuOrId) {
    if (m_hWnd != nullptr)
        return false;
    if (className == nullptr) {
        if (!RegisterFrameworkClass())
            return false;
        className = kWindowClassName;
    }
    HWND hwnd;
    {
        CreationHook hook(this);
        hwnd = ::CreateWindowExA(exStyle, className, title.c_str(), style, x, y, width, height,
                                 parent, menuOrId, ::GetModuleHandleA(nullptr), nullptr);
    }
    if (hwnd == nullptr) {
        m_hWnd = nullptr;
        return false;
    }
    if (!m_bSubclassed && !SubclassWindow(hwnd)) {
        ::DestroyWindow(hwnd);
        return false;
    }
    m_bOwnsWindow = true;
    return true;
}

bool CWnd::DestroyWindow() {
    if (m_hWnd == nullptr)
        return false;
    // WM_NCDESTROY detaches a subclassed object; a plain one is cleared here.
    HWND hwnd = m_hWnd;
    bool destroyed = ::DestroyWindow(hwnd) != FALSE;
    if (destroyed && m_hWnd == hwnd && !m_bSubclassed) {
        m_hWnd = nullptr;
        m_bOwnsWindow = false;
    }
    return destroyed;
}

std::string CWnd::GetWindowText() const {
    return ReadWindowText(m_hWnd);
}

RECT CWnd::GetClientRect() const {
    RECT rect{};
    ::GetClientRect(m_hWnd, &rect);
    return rect;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
        HWND child = reinterpret_cast<HWND>(lp);
        CWnd* wrapper = FromHandlePermanent(child);
        if (wrapper != nullptr && wrapper != this) {
            LRESULT brush = ::SendMessageA(child, ReflectedMessage(msg), wp, lp);
            if (brush != 0)
                return brush;
        }
    }
    if (const MessageEntry* entry = FindMessageEntry(GetMessageMap(), msg, wp, lp))
        return (this->*(entry->handler))(wp, lp);
    return Default();
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.msg, m_current.wp, m_current.lp);
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (m_bSubclassed)
        return ::DefSubclassProc(m_hWnd, msg, wp, lp);
    return ::DefWindowProcA(m_hWnd, msg, wp, lp);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                    DWORD_PTR ref) {
    CWnd* self = reinterpret_cast<CWnd*>(ref);
    if (msg == WM_NCDESTROY) {
        // The window's last message: detach first, so nothing reaches the
        // object once the window is gone.
        ::RemoveWindowSubclass(hwnd, SubclassProc, id);
        LRESULT result = ::DefSubclassProc(hwnd, msg, wp, lp);
        self->m_bSubclassed = false;
        self->m_bOwnsWindow = false;
        self->m_hWnd = nullptr;
        return result;
    }
    CurrentMessage saved = self->m_current;
    self->m_current = {msg, wp, lp};
    LRESULT result;
    try {
        result = self->WindowProc(msg, wp, lp);
    } catch (...) {
        // No exception may cross the window manager: a failed handler is
        // treated as not handled.
        try {
            result = ::DefSubclassProc(hwnd, msg, wp, lp);
        } catch (...) {
            result = 0;
        }
    }
    self->m_current = saved;
    return result;
}

CreationHook::CreationHook(CWnd* wnd) : m_previousPending(t_pendingWindow), m_previousHook(t_hook) {
    t_pendingWindow = wnd;
    t_hook = ::SetWindowsHookExA(WH_CBT, CbtProc, nullptr, ::GetCurrentThreadId());
}

CreationHook::~CreationHook() {
    if (t_hook != nullptr)
        ::UnhookWindowsHookEx(t_hook);
    t_hook = m_previousHook;
    t_pendingWindow = m_previousPending;
}

LRESULT CALLBACK CreationHook::CbtProc(int code, WPARAM wp, LPARAM lp) {
    // HCBT_CREATEWND comes before WM_NCCREATE: the first window created after
    // the hook went in is the one being created for the pending object.
    if (code == HCBT_CREATEWND && t_pendingWindow != nullptr) {
        CWnd* wnd = t_pendingWindow;
        t_pendingWindow = nullptr;
        wnd->SubclassWindow(reinterpret_cast<HWND>(wp));
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

} // namespace fw
