// Small text operations shared by the engine, the server table and the
// dialogs. Texts are 8-bit strings; letter case is folded in the ASCII range.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace text {

// Space, tab, line feed, vertical tab, form feed and carriage return.
inline constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string Trim(std::string_view s);

// A to Z become a to z; every other byte stays.
std::string ToLower(std::string_view s);

bool EqualsNoCase(std::string_view a, std::string_view b);

// Whether s begins with prefix, letter case aside.
bool StartsWithNoCase(std::string_view s, std::string_view prefix);

// Replaces every occurrence of from, left to right, without scanning the
// inserted text again. An empty from changes nothing. Linear in the size.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// A host or domain name as names compare: lower case, without final dots.
std::string HostNameKey(std::string_view name);

// The items with separator between each two.
std::string Join(const std::vector<std::string>& items, std::string_view separator);

// Removes every occurrence of the character c.
std::string RemoveAll(std::string_view s, char c);

// Text from a server made safe to show: each control character becomes one
// `with`. Controls are C0 and DEL, and in UTF-8 the C1 range U+0080..U+009F
// (which terminals may act on), the bidirectional marks, embeddings,
// overrides and isolates (U+200E, U+200F, U+202A..U+202E, U+2066..U+2069:
// a right-to-left override shows a name reversed) and the line and
// paragraph separators U+2028, U+2029.
std::string ReplaceControls(std::string_view s, char with);

// The length in bytes of the control (as ReplaceControls reads them) that
// starts at s[i], or 0 when none does.
std::size_t ControlLengthAt(std::string_view s, std::size_t i);

} // namespace text
