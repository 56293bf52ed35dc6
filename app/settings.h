// The settings store: every persistent setting but the server list, in the
// current user's registry under
// HKEY_CURRENT_USER\software\Tarvolk Technologies\<application name>\<section>.
// Reads fall back to their defaults and writes are not checked (see the
// framework's profile calls for the value rules). Window thread only.
#pragma once

#include <windows.h>

#include <map>
#include <string>

inline constexpr char kCompanyName[] = "Tarvolk Technologies";
inline constexpr char kSettingsSection[] = "Settings";
inline constexpr char kHistorySection[] = "IP List";
inline constexpr char kConvertToIpValue[] = "Convert To IP"; // integer, default 1
inline constexpr char kMinimizeValue[] = "Minimize";         // integer, default 0
inline constexpr char kWindowPosValue[] = "WindowPos";       // text, see window_pos.h
// Integer, default 0; non-zero: lookups follow the classic chain only. Read
// at start-up, never written by the program.
inline constexpr char kClassicLookupValue[] = "Classic Lookup";

// Length field of every placement record filled here: sizeof(WINDOWPLACEMENT).
inline constexpr UINT kPlacementLength = 44;

// Fixes the store's location (the company key) on the application object.
// Called once at start-up, before any value is read.
void InitSettingsStore();

// The framework's profile calls on the application object; without one,
// reads give the default and writes do nothing.
int ReadSettingInt(const std::string& section, const std::string& value, int defaultValue);
std::string ReadSettingText(const std::string& section, const std::string& value,
                            const std::string& defaultValue = std::string());
// Every text value of a section by name, in one pass (see GetProfileSection).
std::map<std::string, std::string> ReadSettingTexts(const std::string& section);
void WriteSettingInt(const std::string& section, const std::string& value, int number);
void WriteSettingText(const std::string& section, const std::string& value,
                      const std::string& text);

// "WindowPos" in "Settings" into placement. True only when the stored text is
// not empty and all ten numbers were read; then the length field is 44 and
// the ten fields are set. Otherwise placement is left as it was.
bool ReadWindowPlacement(WINDOWPLACEMENT& placement);

// Writes the ten fields of placement as "WindowPos" in "Settings".
void WriteWindowPlacement(const WINDOWPLACEMENT& placement);

// The placement of window at close: GetWindowPlacement, flags 2 when the
// window is maximised (else 0), show state without the value 2 when it is
// minimised, then WriteWindowPlacement. False (nothing written) when the
// system cannot report the placement.
bool CaptureWindowPlacement(HWND window);

// Moves a placement's normal rectangle onto the nearest monitor's work area
// when it lies wholly off every screen (size kept, clipped to the work area
// if larger). With wholly, a rectangle that only reaches beyond the work area
// is moved (and clipped) into it as well. True if it was changed.
bool BringPlacementOnScreen(WINDOWPLACEMENT& placement, bool wholly = false);
