#include "app/settings.h"

#include "base/window_pos.h"
#include "framework/app.h"

#include <algorithm>
#include <climits>

void InitSettingsStore() {
    if (fw::CWinApp* app = fw::GetApp())
        app->SetRegistryKey(kCompanyName);
}

int ReadSettingInt(const std::string& section, const std::string& value, int defaultValue) {
    fw::CWinApp* app = fw::GetApp();
    return app ? app->GetProfileInt(section, value, defaultValue) : defaultValue;
}

std::string ReadSettingText(const std::string& section, const std::string& value,
                            const std::string& defaultValue) {
    fw::CWinApp* app = fw::GetApp();
    return app ? app->GetProfileString(section, value, defaultValue) : defaultValue;
}

std::map<std::string, std::string> ReadSettingTexts(const std::string& section) {
    fw::CWinApp* app = fw::GetApp();
    return app ? app->GetProfileSection(section) : std::map<std::string, std::string>();
}

void WriteSettingInt(const std::string& section, const std::string& value, int number) {
    if (fw::CWinApp* app = fw::GetApp())
        app->WriteProfileInt(section, value, number);
}

void WriteSettingText(const std::string& section, const std::string& value,
                      const std::string& text) {
    if (fw::CWinApp* app = fw::GetApp())
        app->WriteProfileString(section, value, text);
}

bool ReadWindowPlacement(WINDOWPLACEMENT& placement) {
    std::string text = ReadSettingText(kSettingsSection, kWindowPosValue);
    WindowPosFields f;
    if (text.empty() || !ParseWindowPos(text, f))
        return false;
    placement.length = kPlacementLength;
    placement.flags = f.flags;
    placement.showCmd = f.showCmd;
    placement.ptMinPosition = {f.minX, f.minY};
    placement.ptMaxPosition = {f.maxX, f.maxY};
    placement.rcNormalPosition = {f.left, f.top, f.right, f.bottom};
    return true;
}

void WriteWindowPlacement(const WINDOWPLACEMENT& placement) {
    WindowPosFields f;
    f.flags = placement.flags;
    f.showCmd = placement.showCmd;
    f.minX = placement.ptMinPosition.x;
    f.minY = placement.ptMinPosition.y;
    f.maxX = placement.ptMaxPosition.x;
    f.maxY = placement.ptMaxPosition.y;
    f.left = placement.rcNormalPosition.left;
    f.top = placement.rcNormalPosition.top;
    f.right = placement.rcNormalPosition.right;
    f.bottom = placement.rcNormalPosition.bottom;
    WriteSettingText(kSettingsSection, kWindowPosValue, FormatWindowPos(f));
}

bool CaptureWindowPlacement(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = kPlacementLength;
    if (!::GetWindowPlacement(window, &placement))
        return false;
    placement.flags = ::IsZoomed(window) ? WPF_RESTORETOMAXIMIZED : 0;
    // A minimised window reports show state 2 (shown minimised): store 0.
    if (::IsIconic(window))
        placement.showCmd &= ~2u;
    WriteWindowPlacement(placement);
    return true;
}

bool BringPlacementOnScreen(WINDOWPLACEMENT& placement, bool wholly) {
    // Placement rectangles are in workspace coordinates: screen coordinates
    // less the offset of the primary monitor's work area (a taskbar at the
    // top or left moves the origin).
    MONITORINFO primary{};
    primary.cbSize = sizeof(primary);
    if (!::GetMonitorInfoA(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary))
        return false;
    LONG dx = primary.rcWork.left - primary.rcMonitor.left;
    LONG dy = primary.rcWork.top - primary.rcMonitor.top;
    // 64-bit arithmetic: stored numbers can be anything a 32-bit int holds.
    auto shift = [](LONG v, LONG d) {
        return static_cast<LONG>(
            std::clamp<long long>(static_cast<long long>(v) + d, INT_MIN, INT_MAX));
    };
    RECT r = placement.rcNormalPosition;
    r = {shift(r.left, dx), shift(r.top, dy), shift(r.right, dx), shift(r.bottom, dy)};
    if (!wholly && ::MonitorFromRect(&r, MONITOR_DEFAULTTONULL) != nullptr)
        return false;
    MONITORINFO nearest{};
    nearest.cbSize = sizeof(nearest);
    if (!::GetMonitorInfoA(::MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &nearest))
        return false;
    const RECT& work = nearest.rcWork;
    LONG width = static_cast<LONG>(
        std::clamp<long long>(static_cast<long long>(r.right) - r.left, 0, work.right - work.left));
    LONG height = static_cast<LONG>(
        std::clamp<long long>(static_cast<long long>(r.bottom) - r.top, 0, work.bottom - work.top));
    LONG x = std::clamp<LONG>(r.left, work.left, work.right - width);
    LONG y = std::clamp<LONG>(r.top, work.top, work.bottom - height);
    const RECT fitted{x - dx, y - dy, x - dx + width, y - dy + height};
    if (::EqualRect(&fitted, &placement.rcNormalPosition))
        return false;
    placement.rcNormalPosition = fitted;
    return true;
}
