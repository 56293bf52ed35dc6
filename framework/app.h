// The application object, message boxes and the per-user profile.
//
// A program derives one class from CWinApp, defines exactly one global object
// of it and calls fw::AppMain from WinMain:
//
//     CLookupApp theApp;
//     int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
//         return fw::AppMain(instance);
//     }
//
// AppMain fixes the application name, then runs InitInstance; when that
// returns true it runs the message loop (Run) until WM_QUIT. ExitInstance
// gives the exit code either way.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace fw {

class CWnd;

class CWinApp {
public:
    // Becomes the process's application object (GetApp). A program has one;
    // a second one (in a test) stands in until it is destroyed.
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The program's start-up. False: no message loop, the program ends.
    // Default: false.
    virtual bool InitInstance();
    // The thread's message loop; returns the WM_QUIT code.
    virtual int Run();
    // The exit code. Default: the WM_QUIT code Run met, else 0.
    virtual int ExitInstance();

    // Fixes the instance and the application name: string resource 57344
    // when the executable has it, otherwise the executable's file name
    // without directory and extension. AppMain calls it; tests may too.
    void InitApplication(HINSTANCE instance);
    HINSTANCE GetInstanceHandle() const { return m_hInstance; }
    const std::string& GetAppName() const { return m_strAppName; }

    CWnd* GetMainWnd() const { return m_pMainWnd; }
    void SetMainWnd(CWnd* wnd) { m_pMainWnd = wnd; }

    // The profile lives under HKEY_CURRENT_USER\software\<company>\<app name>.
    // Until this is called the profile calls read defaults and write nothing.
    void SetRegistryKey(const std::string& company) { m_strRegistryKey = company; }
    // "software\<company>\<app name>" and, for a non-empty section, "\<section>".
    std::string GetSectionKeyPath(const std::string& section) const;

    // Profile reads create the section's key (and the keys above it) and
    // fall back to the default on any failure. Integers are REG_DWORD; a
    // value of another type or of another size than 4 bytes reads as the
    // default. Texts are REG_SZ (REG_EXPAND_SZ is read unexpanded); another
    // type reads as the default. Writes return false on failure.
    int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue);
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue = std::string());
    // Every text value of a section (REG_SZ, REG_EXPAND_SZ unexpanded) by its
    // name, read in one pass over the key. Other kinds are left out.
    std::map<std::string, std::string> GetProfileSection(const std::string& section);
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value);
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value);

private:
    HKEY OpenSectionKey(const std::string& section);

    HINSTANCE m_hInstance = nullptr;
    std::string m_strAppName;
    std::string m_strRegistryKey;
    CWnd* m_pMainWnd = nullptr;
    CWinApp* m_pPreviousApp;

protected:
    int m_nExitCode = 0;
};

// The application object, or nullptr when there is none.
CWinApp* GetApp();

// The module whose resources (dialogs, strings, icons) the framework loads.
HINSTANCE GetResourceHandle();

// WinMain's body: InitApplication, InitInstance, Run when it returned true,
// ExitInstance. Returns the exit code; 1 if there is no application object
// or an exception escaped.
int AppMain(HINSTANCE instance);

// MessageBoxA owned by the active window of this thread (or the main window),
// with the application name as caption. Returns the button pressed.
int MessageBox(const std::string& text, UINT flags = MB_OK);

// The text of a string resource of the executable; empty when missing.
std::string LoadString(UINT id);

} // namespace fw
