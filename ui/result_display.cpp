#include "ui/result_display.h"

#include <utility>

bool IsNonAsciiUtf8(std::string_view text) {
    bool nonAscii = false;
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        // The sequence's length and the range of its second byte (which rules
        // out overlong forms, surrogate halves and code points past U+10FFFF).
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (size - i < length)
            return false;
        const unsigned char second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high)
            return false;
        for (std::size_t k = 2; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if (next < 0x80 || next > 0xBF)
                return false;
        }
        i += length;
    }
    return nonAscii;
}

ResultDisplay ResultForDisplay(std::string_view result) {
    const bool utf8 = IsNonAsciiUtf8(result);
    if (result.size() <= kMaxShownResultBytes)
        return {std::string(result), utf8};
    std::string_view head = result.substr(0, kMaxShownResultBytes);
    const std::size_t lineEnd = head.rfind('\n');
    if (lineEnd != std::string_view::npos) {
        head = head.substr(0, lineEnd + 1);
    } else if (utf8) {
        // Never half a character: back to the start of the one the limit cuts.
        std::size_t end = head.size();
        while (end > 0 && (static_cast<unsigned char>(result[end]) & 0xC0) == 0x80)
            --end;
        head = head.substr(0, end);
    }
    std::string shown(head);
    if (shown.empty() || shown.back() != '\n')
        shown += "\r\n";
    shown += kResultCutNotice;
    return {std::move(shown), utf8};
}
