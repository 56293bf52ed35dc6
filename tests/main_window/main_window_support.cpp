#include "tests/main_window/main_window_support.h"

#include "app/settings.h"
#include "framework/app.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace mwtest {

// ---- GatedNetwork ----------------------------------------------------------

GatedNetwork::GatedNetwork() : m_ownerThread(::GetCurrentThreadId()) {}

GatedNetwork::~GatedNetwork() {
    ReleaseAll();
    WaitForWorkersToEnd(std::chrono::seconds(20));
    for (HANDLE thread : m_threads)
        ::CloseHandle(thread);
}

void GatedNetwork::Hold() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holding = true;
}

void GatedNetwork::ReleaseTicket(std::size_t ticket) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_released.insert(ticket);
    m_changed.notify_all();
}

void GatedNetwork::ReleaseAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holding = false;
    m_changed.notify_all();
}

bool GatedNetwork::WaitForArrivals(std::size_t count, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, bound, [&] { return m_arrivals >= count; });
}

bool GatedNetwork::WaitForFinished(std::size_t count, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, bound, [&] { return m_finished >= count; });
}

bool GatedNetwork::WaitForWorkersToEnd(std::chrono::milliseconds bound) {
    std::vector<HANDLE> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        threads = m_threads;
    }
    if (threads.empty())
        return true;
    DWORD waited = ::WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(),
                                            TRUE, static_cast<DWORD>(bound.count()));
    return waited < WAIT_OBJECT_0 + threads.size();
}

void GatedNetwork::Resolves(const std::string& name, const std::string& address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_addresses.emplace_back(name, address);
}

std::vector<std::string> GatedNetwork::Queries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queries;
}

std::vector<std::string> GatedNetwork::Resolved() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_resolved;
}

std::size_t GatedNetwork::Finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

std::string GatedNetwork::AnswerFor(std::size_t ticket, const std::string& query) {
    return "answer-" + std::to_string(ticket) + " for " + query;
}

bool GatedNetwork::Exchange(const std::string& query, const std::string&, std::string& result,
                            int) {
    std::unique_lock<std::mutex> lock(m_mutex);
    // A handle that stays valid after the thread has gone, for waiting.
    const DWORD id = ::GetCurrentThreadId();
    if (id != m_ownerThread && m_threadIds.insert(id).second) {
        HANDLE self = nullptr;
        ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &self,
                          SYNCHRONIZE, FALSE, 0);
        if (self != nullptr)
            m_threads.push_back(self);
    }
    const std::size_t ticket = m_arrivals++;
    m_queries.push_back(query);
    m_changed.notify_all();
    if (m_holding) {
        // Bounded, so a test that forgets to release still ends.
        m_changed.wait_for(lock, std::chrono::seconds(20),
                           [&] { return !m_holding || m_released.count(ticket) != 0; });
    }
    result = m_fixedAnswer.empty() ? AnswerFor(ticket, query) + "\n" : m_fixedAnswer;
    ++m_finished;
    m_changed.notify_all();
    return true;
}

void GatedNetwork::AnswerAlways(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fixedAnswer = text;
}

bool GatedNetwork::Resolve(const std::string& name, std::string& address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_resolved.push_back(name);
    for (const auto& entry : m_addresses) {
        if (entry.first == name) {
            address = entry.second;
            return true;
        }
    }
    return false;
}

// ---- Script ----------------------------------------------------------------

namespace {
Script* g_running = nullptr;
} // namespace

Script& Script::Until(Step step) {
    m_steps.push_back(std::move(step));
    return *this;
}

Script& Script::Do(std::function<void()> action) {
    return Until([action = std::move(action)] {
        action();
        return true;
    });
}

Script& Script::Pause(DWORD ms) {
    auto start = std::make_shared<DWORD>(0);
    return Until([start, ms] {
        if (*start == 0)
            *start = ::GetTickCount() | 1;
        return ::GetTickCount() - *start >= ms;
    });
}

void Script::Begin(DWORD boundMs) {
    m_next = 0;
    m_bound = boundMs;
    m_started = ::GetTickCount();
    m_timedOut = false;
    m_previous = g_running;
    g_running = this;
    m_timer = ::SetTimer(nullptr, 0, 10, &Script::OnTick);
}

void Script::End() {
    ::KillTimer(nullptr, m_timer);
    g_running = m_previous;
    m_target = nullptr;
    EXPECT_FALSE(m_timedOut) << "the script did not finish in time (stopped before step " << m_next
                             << ")";
}

INT_PTR Script::Run(fw::CDialog& dialog, DWORD boundMs) {
    m_target = [&dialog] { return &dialog; };
    fw::CWinApp* app = fw::GetApp();
    fw::CWnd* previousMain = app ? app->GetMainWnd() : nullptr;
    if (app)
        app->SetMainWnd(&dialog);
    Begin(boundMs);
    INT_PTR result = dialog.DoModal();
    End();
    if (app)
        app->SetMainWnd(previousMain);
    return result;
}

bool Script::RunInitInstance(fw::CWinApp& app, DWORD boundMs) {
    m_target = [&app] { return dynamic_cast<fw::CDialog*>(app.GetMainWnd()); };
    Begin(boundMs);
    bool result = app.InitInstance();
    End();
    return result;
}

void CALLBACK Script::OnTick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_running != nullptr)
        g_running->Tick();
}

void Script::Tick() {
    fw::CDialog* dialog = m_target ? m_target() : nullptr;
    if (m_inStep || dialog == nullptr || dialog->GetSafeHwnd() == nullptr || dialog->IsEnded())
        return;
    if (::GetTickCount() - m_started > m_bound) {
        if (!m_timedOut) {
            m_timedOut = true;
            dialog->PostMessage(WM_COMMAND, IDOK, 0);
        }
        return;
    }
    if (m_next >= m_steps.size())
        return;
    m_inStep = true;
    bool done = m_steps[m_next]();
    m_inStep = false;
    if (done)
        ++m_next;
}

// ---- dialog templates ------------------------------------------------------

namespace {

class TemplateReader {
public:
    TemplateReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}
    bool ok() const { return m_ok; }
    template <class T> T Read() {
        T value{};
        if (m_pos + sizeof(T) > m_size) {
            m_ok = false;
            return value;
        }
        std::memcpy(&value, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return value;
    }
    std::string ReadString() {
        std::wstring wide;
        for (WCHAR c = Read<WCHAR>(); m_ok && c != 0; c = Read<WCHAR>())
            wide += c;
        return Narrow(wide);
    }
    // A name, or an ordinal (0xFFFF and a number; the name is then empty).
    std::string ReadNameOrOrdinal(WORD& ordinal) {
        ordinal = 0;
        WORD first = Read<WORD>();
        if (first == 0)
            return std::string();
        if (first == 0xFFFF) {
            ordinal = Read<WORD>();
            return std::string();
        }
        m_pos -= sizeof(WORD);
        return ReadString();
    }
    void AlignTo(std::size_t n) { m_pos = (m_pos + n - 1) / n * n; }
    void Skip(std::size_t n) { m_pos += n; }

private:
    static std::string Narrow(const std::wstring& wide) {
        if (wide.empty())
            return std::string();
        int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(size), '\0');
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                              size, nullptr, nullptr);
        return text;
    }
    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

// The predefined classes by ordinal: 0x80 Button ... 0x85 ComboBox.
std::string ClassName(const std::string& name, WORD ordinal) {
    static const char* const names[] = {"Button",  "Edit",      "Static",
                                        "ListBox", "ScrollBar", "ComboBox"};
    if (name.empty() && ordinal >= 0x80 && ordinal <= 0x85)
        return names[ordinal - 0x80];
    return name;
}

} // namespace

bool ReadDialogTemplate(UINT id, DialogTemplate& out) {
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    if (resource == nullptr)
        return false;
    const BYTE* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, resource)));
    TemplateReader r(data, ::SizeofResource(module, resource));
    if (r.Read<WORD>() != 1 || r.Read<WORD>() != 0xFFFF)
        return false; // not a DIALOGEX
    r.Read<DWORD>();  // help id
    out.exStyle = r.Read<DWORD>();
    out.style = r.Read<DWORD>();
    WORD count = r.Read<WORD>();
    out.x = r.Read<short>();
    out.y = r.Read<short>();
    out.cx = r.Read<short>();
    out.cy = r.Read<short>();
    WORD ordinal = 0;
    r.ReadNameOrOrdinal(ordinal); // menu
    r.ReadNameOrOrdinal(ordinal); // class
    out.caption = r.ReadString();
    if (out.style & (DS_SETFONT | DS_FIXEDSYS)) {
        out.pointSize = r.Read<WORD>();
        r.Read<WORD>(); // weight
        r.Read<BYTE>(); // italic
        r.Read<BYTE>(); // character set
        out.face = r.ReadString();
    }
    for (WORD i = 0; i < count && r.ok(); ++i) {
        r.AlignTo(4);
        TemplateItem item;
        r.Read<DWORD>(); // help id
        item.exStyle = r.Read<DWORD>();
        item.style = r.Read<DWORD>();
        item.x = r.Read<short>();
        item.y = r.Read<short>();
        item.cx = r.Read<short>();
        item.cy = r.Read<short>();
        item.id = r.Read<DWORD>();
        std::string className = r.ReadNameOrOrdinal(ordinal);
        item.className = ClassName(className, ordinal);
        item.text = r.ReadNameOrOrdinal(ordinal);
        WORD extra = r.Read<WORD>();
        r.Skip(extra);
        out.items.push_back(item);
    }
    return r.ok();
}

// ---- windows ---------------------------------------------------------------

std::string WindowText(HWND hwnd) {
    int length = ::GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int got = ::GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

std::string ItemText(HWND dialog, int id) {
    return WindowText(::GetDlgItem(dialog, id));
}

RECT ChildRect(HWND dialog, int id) {
    RECT rect{};
    HWND child = ::GetDlgItem(dialog, id);
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<std::string> ComboEntries(HWND combo) {
    std::vector<std::string> entries;
    LRESULT count = ::SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = ::SendMessageA(combo, CB_GETLBTEXTLEN, i, 0);
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        ::SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        entries.push_back(text);
    }
    return entries;
}

HWND ComboField(HWND dialog) {
    return ::GetWindow(::GetDlgItem(dialog, 1007), GW_CHILD);
}

void PostKey(HWND target, WPARAM key) {
    UINT scan = ::MapVirtualKeyA(static_cast<UINT>(key), 0);
    ::PostMessageA(target, WM_KEYDOWN, key, 1 | (scan << 16));
    ::PostMessageA(target, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

namespace {

struct OwnedSearch {
    HWND owner;
    const std::string* caption;
    HWND found;
};

BOOL CALLBACK MatchOwnedWindow(HWND hwnd, LPARAM lp) {
    OwnedSearch* s = reinterpret_cast<OwnedSearch*>(lp);
    if (::GetWindow(hwnd, GW_OWNER) == s->owner && ::IsWindowVisible(hwnd) &&
        WindowText(hwnd) == *s->caption) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindOwnedWindow(HWND owner, const std::string& caption) {
    OwnedSearch search{owner, &caption, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &MatchOwnedWindow,
                        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// ---- registry --------------------------------------------------------------

std::string AppKeyPath() {
    return fw::GetApp()->GetSectionKeyPath("");
}

void DeleteRegistryTree(HKEY root, const std::string& path) {
    HKEY key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> children;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        children.emplace_back(name, size);
    }
    ::RegCloseKey(key);
    for (const std::string& child : children)
        DeleteRegistryTree(root, path + "\\" + child);
    ::RegDeleteKeyA(root, path.c_str());
}

bool RegistryKeyExists(const std::string& path) {
    HKEY key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

namespace {

bool QueryValue(const std::string& section, const std::string& value, DWORD& type,
                std::vector<BYTE>& data) {
    HKEY key;
    std::string path = AppKeyPath() + "\\" + section;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key, value.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        data.assign(size + 1, 0);
        status = ::RegQueryValueExA(key, value.c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

} // namespace

bool ReadRegistryInt(const std::string& section, const std::string& value, DWORD& out) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(section, value, type, data) || type != REG_DWORD || data.size() != 4)
        return false;
    out = *reinterpret_cast<const DWORD*>(data.data());
    return true;
}

bool ReadRegistryText(const std::string& section, const std::string& value, std::string& out) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(section, value, type, data) || type != REG_SZ)
        return false;
    out.assign(reinterpret_cast<const char*>(data.data()), data.size());
    while (!out.empty() && out.back() == '\0')
        out.pop_back();
    return true;
}

} // namespace mwtest
