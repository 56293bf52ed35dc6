#include "framework/app.h"

#include "framework/app_name.h"
#include "framework/wnd.h"

#include <algorithm>
#include <vector>

namespace fw {

namespace {

CWinApp* g_pApp = nullptr;

// String resource 57344 names the application when the executable has it.
constexpr UINT kAppTitleStringId = 57344;

} // namespace

CWinApp::CWinApp() : m_pPreviousApp(g_pApp) {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = m_pPreviousApp;
}

bool CWinApp::InitInstance() {
    return false;
}

int CWinApp::Run() {
    MSG msg;
    BOOL got;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (got == 0)
        m_nExitCode = static_cast<int>(msg.wParam);
    return m_nExitCode;
}

int CWinApp::ExitInstance() {
    return m_nExitCode;
}

void CWinApp::InitApplication(HINSTANCE instance) {
    m_hInstance = instance;
    std::string title = fw::LoadString(kAppTitleStringId);
    if (!title.empty()) {
        m_strAppName = title;
        return;
    }
    char path[MAX_PATH + 1] = {};
    DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
    m_strAppName = ApplicationNameFromPath(std::string(path, length));
}

std::string CWinApp::GetSectionKeyPath(const std::string& section) const {
    std::string path = "software\\" + m_strRegistryKey + "\\" + m_strAppName;
    if (!section.empty())
        path += "\\" + section;
    return path;
}

HKEY CWinApp::OpenSectionKey(const std::string& section) {
    if (m_strRegistryKey.empty() || m_strAppName.empty())
        return nullptr;
    HKEY key = nullptr;
    // RegCreateKeyExA makes every missing key on the way.
    LONG status =
        ::RegCreateKeyExA(HKEY_CURRENT_USER, GetSectionKeyPath(section).c_str(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    return status == ERROR_SUCCESS ? key : nullptr;
}

int CWinApp::GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) {
    HKEY key = OpenSectionKey(section);
    if (key == nullptr)
        return defaultValue;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    // Data longer than four bytes gives ERROR_MORE_DATA; shorter data or
    // another type is not a stored integer either.
    LONG status = ::RegQueryValueExA(key, entry.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value))
        return defaultValue;
    return static_cast<int>(value);
}

std::string CWinApp::GetProfileString(const std::string& section, const std::string& entry,
                                      const std::string& defaultValue) {
    HKEY key = OpenSectionKey(section);
    if (key == nullptr)
        return defaultValue;
    std::string result = defaultValue;
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size() - 1);
        LONG status = ::RegQueryValueExA(key, entry.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_MORE_DATA) {
            // The value grew or the buffer was small: size is the need now.
            buffer.assign(static_cast<std::size_t>(size) + 2, '\0');
            continue;
        }
        if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            // Stored data need not end with a NUL; stop at the first one.
            buffer[size] = '\0';
            result.assign(buffer.data());
        }
        break;
    }
    ::RegCloseKey(key);
    return result;
}

std::map<std::string, std::string> CWinApp::GetProfileSection(const std::string& section) {
    std::map<std::string, std::string> values;
    HKEY key = OpenSectionKey(section);
    if (key == nullptr)
        return values;
    DWORD maxName = 0;
    DWORD maxData = 0;
    ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                       &maxData, nullptr, nullptr);
    std::vector<char> name(static_cast<std::size_t>(maxName) + 2);
    std::vector<char> data(static_cast<std::size_t>(maxData) + 2);
    for (DWORD index = 0, retries = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size() - 1);
        DWORD type = 0;
        LONG status = ::RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (status == ERROR_MORE_DATA) {
            // A value grew since the key was measured: make room, try again
            // (a few times, then leave that value out).
            if (++retries < 8) {
                name.resize(name.size() * 2 + 256);
                data.resize(std::max<std::size_t>(data.size() * 2, dataSize + 2u));
            } else {
                ++index;
                retries = 0;
            }
            continue;
        }
        if (status != ERROR_SUCCESS)
            break;
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            data[dataSize] = '\0';
            values[std::string(name.data(), nameSize)] = data.data();
        }
        ++index;
        retries = 0;
    }
    ::RegCloseKey(key);
    return values;
}

bool CWinApp::WriteProfileInt(const std::string& section, const std::string& entry, int value) {
    HKEY key = OpenSectionKey(section);
    if (key == nullptr)
        return false;
    DWORD data = static_cast<DWORD>(value);
    LONG status = ::RegSetValueExA(key, entry.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&data), sizeof(data));
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool CWinApp::WriteProfileString(const std::string& section, const std::string& entry,
                                 const std::string& value) {
    HKEY key = OpenSectionKey(section);
    if (key == nullptr)
        return false;
    LONG status = ::RegSetValueExA(key, entry.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

CWinApp* GetApp() {
    return g_pApp;
}

HINSTANCE GetResourceHandle() {
    if (g_pApp != nullptr && g_pApp->GetInstanceHandle() != nullptr)
        return g_pApp->GetInstanceHandle();
    return ::GetModuleHandleA(nullptr);
}

int AppMain(HINSTANCE instance) {
    CWinApp* app = GetApp();
    if (app == nullptr)
        return 1;
    try {
        app->InitApplication(instance);
        if (app->InitInstance())
            app->Run();
        return app->ExitInstance();
    } catch (...) {
        return 1;
    }
}

int MessageBox(const std::string& text, UINT flags) {
    HWND owner = ::GetActiveWindow();
    CWinApp* app = GetApp();
    if (owner == nullptr && app != nullptr && app->GetMainWnd() != nullptr)
        owner = app->GetMainWnd()->GetSafeHwnd();
    std::string caption = app != nullptr ? app->GetAppName() : std::string();
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

std::string LoadString(UINT id) {
    // A string resource is at most 4097 characters long with its NUL.
    char buffer[4097];
    int length = ::LoadStringA(GetResourceHandle(), id, buffer, sizeof(buffer));
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

} // namespace fw
