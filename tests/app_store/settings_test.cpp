// The settings store in the private Wine prefix's registry: key creation,
// integer and text rules, "WindowPos" and the capture of real windows.
#include "tests/app_store/store_fixture.h"

#include "base/window_pos.h"
#include "framework/wnd.h"

#include <cstring>
#include <map>

namespace storetest {

fw::CWinApp& TestApp() {
    static fw::CWinApp app;
    return app;
}

bool DeleteKeyTree(HKEY parent, const std::string& path) {
    HKEY key;
    if (::RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return true;
    char name[256];
    DWORD length = sizeof(name);
    while (::RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        if (!DeleteKeyTree(key, name))
            break;
        length = sizeof(name);
    }
    ::RegCloseKey(key);
    return ::RegDeleteKeyA(parent, path.c_str()) == ERROR_SUCCESS;
}

std::string AppKeyPath() {
    return TestApp().GetSectionKeyPath("");
}

std::string SectionKeyPath(const std::string& section) {
    return TestApp().GetSectionKeyPath(section);
}

bool KeyExists(const std::string& path) {
    HKEY key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

DWORD ValueCount(const std::string& path) {
    HKEY key;
    DWORD values = 0;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0xFFFFFFFFu;
    ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                       nullptr, nullptr, nullptr);
    ::RegCloseKey(key);
    return values;
}

bool SetRawValue(const std::string& section, const std::string& name, DWORD type, const void* data,
                 DWORD size) {
    HKEY key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, nullptr, 0,
                          KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG status =
        ::RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool GetRawValue(const std::string& section, const std::string& name, DWORD& type,
                 std::vector<unsigned char>& data) {
    HKEY key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        data.assign(size, 0);
        status = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
    }
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool DeleteValue(const std::string& section, const std::string& name) {
    HKEY key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, KEY_WRITE, &key) !=
        ERROR_SUCCESS)
        return false;
    LONG status = ::RegDeleteValueA(key, name.c_str());
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void StoreTest::SetUp() {
    fw::CWinApp& app = TestApp();
    app.InitApplication(::GetModuleHandleA(nullptr));
    InitSettingsStore();
    ASSERT_EQ(app.GetAppName(), "ostrabel_app_store_tests");
    ASSERT_EQ(AppKeyPath(), "software\\Tarvolk Technologies\\ostrabel_app_store_tests");
    ASSERT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, AppKeyPath()));
    ASSERT_FALSE(KeyExists(AppKeyPath()));
}

namespace {

using SettingsStore = StoreTest;

TEST_F(SettingsStore, FirstRunReadsDefaultsAndCreatesTheEmptySectionKeys) {
    EXPECT_EQ(ReadSettingInt(kSettingsSection, kConvertToIpValue, 1), 1);
    EXPECT_EQ(ReadSettingInt(kSettingsSection, kMinimizeValue, 0), 0);
    WINDOWPLACEMENT placement{};
    placement.showCmd = 77;
    EXPECT_FALSE(ReadWindowPlacement(placement));
    EXPECT_EQ(placement.showCmd, 77u); // untouched
    EXPECT_EQ(ReadSettingInt(kHistorySection, "Count", 0), 0);

    EXPECT_TRUE(KeyExists("software\\Tarvolk Technologies"));
    EXPECT_TRUE(KeyExists(SectionKeyPath(kSettingsSection)));
    EXPECT_TRUE(KeyExists(SectionKeyPath(kHistorySection)));
    EXPECT_EQ(ValueCount(SectionKeyPath(kSettingsSection)), 0u);
    EXPECT_EQ(ValueCount(SectionKeyPath(kHistorySection)), 0u);
}

TEST_F(SettingsStore, WithoutALocationNothingIsReadOrWritten) {
    fw::CWinApp& app = TestApp();
    app.SetRegistryKey("");
    WriteSettingInt(kSettingsSection, kMinimizeValue, 1);
    EXPECT_EQ(ReadSettingInt(kSettingsSection, kMinimizeValue, 9), 9);
    EXPECT_FALSE(app.WriteProfileString(kSettingsSection, "x", "y"));
    InitSettingsStore();
    EXPECT_FALSE(KeyExists(AppKeyPath()));
}

TEST_F(SettingsStore, IntegersAreDoubleWordsAndAnythingElseReadsAsTheDefault) {
    WriteSettingInt(kSettingsSection, kConvertToIpValue, 0);
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(GetRawValue(kSettingsSection, kConvertToIpValue, type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data.size(), 4u);
    EXPECT_EQ(ReadSettingInt(kSettingsSection, kConvertToIpValue, 1), 0);

    // The full 32-bit range comes back, negative numbers included.
    WriteSettingInt(kSettingsSection, "n", -1);
    EXPECT_EQ(ReadSettingInt(kSettingsSection, "n", 5), -1);
    WriteSettingInt(kSettingsSection, "n", 2147483647);
    EXPECT_EQ(ReadSettingInt(kSettingsSection, "n", 5), 2147483647);

    // A double word written by other means.
    DWORD seven = 7;
    ASSERT_TRUE(SetRawValue(kSettingsSection, kConvertToIpValue, REG_DWORD, &seven, 4));
    EXPECT_EQ(ReadSettingInt(kSettingsSection, kConvertToIpValue, 1), 7);

    // Data that is not exactly four bytes of REG_DWORD reads as the default.
    unsigned long long eight = 1;
    ASSERT_TRUE(SetRawValue(kSettingsSection, "qword", REG_QWORD, &eight, 8));
    EXPECT_EQ(ReadSettingInt(kSettingsSection, "qword", 42), 42);
    ASSERT_TRUE(SetRawValue(kSettingsSection, "long dword", REG_DWORD, &eight, 8));
    EXPECT_EQ(ReadSettingInt(kSettingsSection, "long dword", 42), 42);
    ASSERT_TRUE(SetRawValue(kSettingsSection, "short dword", REG_DWORD, &seven, 2));
    EXPECT_EQ(ReadSettingInt(kSettingsSection, "short dword", 42), 42);
    ASSERT_TRUE(SetRawValue(kSettingsSection, "binary", REG_BINARY, &seven, 4));
    EXPECT_EQ(ReadSettingInt(kSettingsSection, "binary", 42), 42);
    ASSERT_TRUE(SetRawValue(kSettingsSection, "text", REG_SZ, "5", 2));
    EXPECT_EQ(ReadSettingInt(kSettingsSection, "text", 42), 42);
}

TEST_F(SettingsStore, TextsAreStringsReadWholeAndOtherKindsReadAsTheDefault) {
    WriteSettingText(kHistorySection, "1", "example.com");
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(GetRawValue(kHistorySection, "1", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string("example.com", 12)); // with NUL
    EXPECT_EQ(ReadSettingText(kHistorySection, "1"), "example.com");

    EXPECT_EQ(ReadSettingText(kHistorySection, "missing", "fallback"), "fallback");
    WriteSettingText(kHistorySection, "empty", "");
    EXPECT_EQ(ReadSettingText(kHistorySection, "empty", "fallback"), "");

    std::string longText(5000, 'x');
    longText[4999] = 'y';
    WriteSettingText(kHistorySection, "long", longText);
    EXPECT_EQ(ReadSettingText(kHistorySection, "long"), longText);

    // Stored without its terminating NUL, or with text after a NUL.
    ASSERT_TRUE(SetRawValue(kHistorySection, "bare", REG_SZ, "abc", 3));
    EXPECT_EQ(ReadSettingText(kHistorySection, "bare"), "abc");
    ASSERT_TRUE(SetRawValue(kHistorySection, "inner", REG_SZ, "ab\0cd", 6));
    EXPECT_EQ(ReadSettingText(kHistorySection, "inner"), "ab");

    DWORD number = 3;
    ASSERT_TRUE(SetRawValue(kHistorySection, "number", REG_DWORD, &number, 4));
    EXPECT_EQ(ReadSettingText(kHistorySection, "number", "fallback"), "fallback");

    // The whole section in one pass: the same texts, other kinds left out.
    std::map<std::string, std::string> all = ReadSettingTexts(kHistorySection);
    std::map<std::string, std::string> expected{
        {"1", "example.com"}, {"empty", ""}, {"long", longText}, {"bare", "abc"}, {"inner", "ab"}};
    EXPECT_EQ(all, expected);
    EXPECT_TRUE(ReadSettingTexts("no such section").empty());
}

void StoreWindowPos(const std::string& text) {
    WriteSettingText(kSettingsSection, kWindowPosValue, text);
}

TEST_F(SettingsStore, WindowPosNeedsAllTenNumbers) {
    WINDOWPLACEMENT placement{};
    StoreWindowPos("2,3,-1,-1,-8,-8,10,20,500,400,99");
    ASSERT_TRUE(ReadWindowPlacement(placement));
    EXPECT_EQ(placement.length, 44u);
    EXPECT_EQ(placement.flags, 2u);
    EXPECT_EQ(placement.showCmd, 3u);
    EXPECT_EQ(placement.ptMinPosition.x, -1);
    EXPECT_EQ(placement.ptMinPosition.y, -1);
    EXPECT_EQ(placement.ptMaxPosition.x, -8);
    EXPECT_EQ(placement.ptMaxPosition.y, -8);
    EXPECT_EQ(placement.rcNormalPosition.left, 10);
    EXPECT_EQ(placement.rcNormalPosition.top, 20);
    EXPECT_EQ(placement.rcNormalPosition.right, 500);
    EXPECT_EQ(placement.rcNormalPosition.bottom, 400);

    WINDOWPLACEMENT ten{};
    StoreWindowPos("0,1,-1,-1,-1,-1,30,40,530,440");
    ASSERT_TRUE(ReadWindowPlacement(ten));
    EXPECT_EQ(ten.showCmd, 1u);
    EXPECT_EQ(ten.rcNormalPosition.right, 530);

    for (const char* bad : {"0,1,-1,-1,-1,-1,30,40,530", "0,1,-1,-1,x,-1,30,40,530,440", ""}) {
        WINDOWPLACEMENT untouched{};
        untouched.showCmd = 77;
        StoreWindowPos(bad);
        EXPECT_FALSE(ReadWindowPlacement(untouched)) << bad;
        EXPECT_EQ(untouched.length, 0u) << bad;
        EXPECT_EQ(untouched.showCmd, 77u) << bad;
    }
}

TEST_F(SettingsStore, WrittenPlacementIsTheTenFieldsInOrder) {
    WINDOWPLACEMENT placement{};
    placement.length = 44;
    placement.flags = 2;
    placement.showCmd = 3;
    placement.ptMinPosition = {-32000, -32000};
    placement.ptMaxPosition = {-4, -4};
    placement.rcNormalPosition = {10, 20, 510, 420};
    WriteWindowPlacement(placement);
    EXPECT_EQ(ReadSettingText(kSettingsSection, kWindowPosValue),
              "2,3,-32000,-32000,-4,-4,10,20,510,420");
    WINDOWPLACEMENT back{};
    ASSERT_TRUE(ReadWindowPlacement(back));
    EXPECT_EQ(std::memcmp(&back, &placement, sizeof(back)), 0);
}

// A real top-level window to capture.
class TopLevelWindow {
public:
    TopLevelWindow() {
        m_window.CreateEx(0, nullptr, "placement", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr);
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        placement.showCmd = SW_SHOWNORMAL;
        placement.rcNormalPosition = {60, 70, 460, 420};
        ::SetWindowPlacement(m_window, &placement);
    }
    HWND hwnd() const { return m_window; }

private:
    fw::CWnd m_window;
};

struct Captured {
    bool ok;
    WindowPosFields fields;
};

Captured CaptureAndParse(HWND hwnd) {
    Captured c{};
    c.ok = CaptureWindowPlacement(hwnd) &&
           ParseWindowPos(ReadSettingText(kSettingsSection, kWindowPosValue), c.fields);
    return c;
}

TEST_F(SettingsStore, CaptureOfMaximisedMinimisedNormalAndHiddenWindows) {
    TopLevelWindow window;
    ASSERT_NE(window.hwnd(), nullptr);

    ::ShowWindow(window.hwnd(), SW_SHOWNORMAL);
    Captured normal = CaptureAndParse(window.hwnd());
    ASSERT_TRUE(normal.ok);
    EXPECT_EQ(normal.fields.flags, 0u);
    EXPECT_EQ(normal.fields.showCmd, 1u);
    EXPECT_EQ(normal.fields.left, 60);
    EXPECT_EQ(normal.fields.top, 70);
    EXPECT_EQ(normal.fields.right, 460);
    EXPECT_EQ(normal.fields.bottom, 420);

    ::ShowWindow(window.hwnd(), SW_MAXIMIZE);
    ASSERT_TRUE(::IsZoomed(window.hwnd()));
    Captured maximised = CaptureAndParse(window.hwnd());
    ASSERT_TRUE(maximised.ok);
    EXPECT_EQ(maximised.fields.flags, 2u);
    EXPECT_EQ(maximised.fields.showCmd, 3u);
    EXPECT_EQ(maximised.fields.left, 60); // the normal rectangle is kept
    EXPECT_EQ(maximised.fields.bottom, 420);

    // The next start applies the stored record and opens maximised.
    {
        TopLevelWindow next;
        WINDOWPLACEMENT stored{};
        ASSERT_TRUE(ReadWindowPlacement(stored));
        ::SetWindowPlacement(next.hwnd(), &stored);
        EXPECT_TRUE(::IsZoomed(next.hwnd()));
    }

    ::ShowWindow(window.hwnd(), SW_RESTORE);
    ::ShowWindow(window.hwnd(), SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(window.hwnd()));
    Captured minimised = CaptureAndParse(window.hwnd());
    ASSERT_TRUE(minimised.ok);
    EXPECT_EQ(minimised.fields.flags, 0u);
    EXPECT_EQ(minimised.fields.showCmd, 0u); // 2 (shown minimised) without the 2
    EXPECT_EQ(minimised.fields.left, 60);
    EXPECT_EQ(minimised.fields.right, 460);

    ::ShowWindow(window.hwnd(), SW_RESTORE);
    ::ShowWindow(window.hwnd(), SW_HIDE); // as in the notification area
    Captured hidden = CaptureAndParse(window.hwnd());
    ASSERT_TRUE(hidden.ok);
    EXPECT_EQ(hidden.fields.flags, 0u);
    EXPECT_EQ(hidden.fields.showCmd, 1u);
}

TEST_F(SettingsStore, NoPlacementToCaptureLeavesTheStoredOne) {
    StoreWindowPos("0,1,0,0,0,0,1,2,3,4");
    HWND gone;
    {
        TopLevelWindow window;
        gone = window.hwnd();
    }
    EXPECT_FALSE(CaptureWindowPlacement(gone));
    EXPECT_EQ(ReadSettingText(kSettingsSection, kWindowPosValue), "0,1,0,0,0,0,1,2,3,4");
}

TEST_F(SettingsStore, OffScreenPlacementIsBroughtOntoTheNearestScreen) {
    RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    WINDOWPLACEMENT placement{};
    placement.rcNormalPosition = {50000, 40000, 50400, 40300};
    ASSERT_TRUE(BringPlacementOnScreen(placement));
    RECT& r = placement.rcNormalPosition;
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
    RECT overlap;
    EXPECT_TRUE(::IntersectRect(&overlap, &r, &screen));
    EXPECT_LE(r.right, screen.right);
    EXPECT_LE(r.bottom, screen.bottom);

    WINDOWPLACEMENT visible{};
    visible.rcNormalPosition = {10, 20, 300, 200};
    EXPECT_FALSE(BringPlacementOnScreen(visible));
    EXPECT_EQ(visible.rcNormalPosition.left, 10);

    // Extreme stored numbers do not overflow.
    WINDOWPLACEMENT wild{};
    wild.rcNormalPosition = {-2147483647 - 1, -2147483647 - 1, 2147483647, -2147483647 - 1};
    BringPlacementOnScreen(wild);
    EXPECT_GE(wild.rcNormalPosition.right, wild.rcNormalPosition.left);
}

// Asked to fit wholly, a rectangle that only sticks out of the work area is
// moved in (and clipped when larger); one already inside is left alone.
TEST_F(SettingsStore, PlacementIsFittedWhollyWhenAsked) {
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    const LONG dx = work.left, dy = work.top; // placements are in work-area coordinates
    WINDOWPLACEMENT below{};
    below.rcNormalPosition = {10, work.bottom - dy - 100, 410, work.bottom - dy + 250};
    EXPECT_FALSE(BringPlacementOnScreen(below)) << "partly shown: left alone by default";
    ASSERT_TRUE(BringPlacementOnScreen(below, true));
    const RECT& r = below.rcNormalPosition;
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 350);
    EXPECT_EQ(r.bottom + dy, work.bottom);

    WINDOWPLACEMENT huge{};
    huge.rcNormalPosition = {-9000, -9000, 9000, 9000};
    ASSERT_TRUE(BringPlacementOnScreen(huge, true));
    EXPECT_EQ(huge.rcNormalPosition.left + dx, work.left);
    EXPECT_EQ(huge.rcNormalPosition.right - huge.rcNormalPosition.left, work.right - work.left);

    WINDOWPLACEMENT inside{};
    inside.rcNormalPosition = {10, 20, 300, 200};
    EXPECT_FALSE(BringPlacementOnScreen(inside, true));
    EXPECT_EQ(inside.rcNormalPosition.left, 10);
}

} // namespace
} // namespace storetest
