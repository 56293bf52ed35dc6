// The command line that starts the registered browser on an address: the
// browser's registered open command with its "%1" placeholder (and whatever
// follows it) replaced by one blank and the address.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Room for the assembled command line, terminator included.
inline constexpr std::size_t kBrowserCommandBufferSize = 520;
// Room for one registry value read, terminator included.
inline constexpr std::size_t kRegistryValueBufferSize = 260;

// Where the address goes: before a quoted "%1" (double quote, percent, one,
// double quote) if there is one, else before a bare %1, else at the end.
// The text from the placeholder on is dropped, then one blank and the
// address follow:
//   "C:\b.exe" "%1"      ->  "C:\b.exe"  ADDRESS   (two blanks)
//   C:\b.exe %1 -new     ->  C:\b.exe  ADDRESS     (-new is lost)
//   C:\b.exe -nohome     ->  C:\b.exe -nohome ADDRESS
// The result never exceeds kBrowserCommandBufferSize - 1 characters: what
// does not fit is cut off.
std::string ComposeBrowserCommand(std::string_view registeredCommand, std::string_view address);
