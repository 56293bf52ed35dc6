// What the result box shows of a lookup's text.
//
// A multi-line edit control takes time in proportion to its text when the
// text is set (under Wine about 0.8 ms per KiB), and an answer can be as long
// as the transport's 16 MiB bound: shown whole, that would freeze the window
// for many seconds. Real WHOIS answers are a few KiB, so the box shows at most
// kMaxShownResultBytes, cut at the last line end within them, followed by a
// line saying that the rest is not shown. The command-line client prints
// every byte.
//
// Many registries answer in UTF-8 today. A text that is well-formed UTF-8 and
// not plain ASCII is shown decoded as UTF-8; any other text is shown as bytes
// of the system code page, as it always was, or where that code page is
// UTF-8, as Windows-1252 (older servers send Latin-1). The result text itself is never
// changed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kMaxShownResultBytes = 256 * 1024;

// The line put after a cut text (preceded by CR LF).
inline constexpr const char kResultCutNotice[] =
    "[The answer is longer than 256 KiB; the rest of it is not shown here.]";

// True when text is well-formed UTF-8 (shortest forms only, no surrogate
// halves, nothing above U+10FFFF) and holds at least one byte >= 0x80.
bool IsNonAsciiUtf8(std::string_view text);

struct ResultDisplay {
    std::string text; // the bytes to show
    bool utf8;        // show them decoded as UTF-8, else as the system code page
};

// The text unchanged when it fits; otherwise its first part up to and
// including the last CR LF (or LF) within the limit, or the limit itself when
// there is no line end in it (moved back to the start of a character for
// UTF-8), then CR LF and kResultCutNotice. utf8 is IsNonAsciiUtf8(result).
ResultDisplay ResultForDisplay(std::string_view result);
