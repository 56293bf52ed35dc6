#include "base/window_pos.h"

#include <cstdint>
#include <cstdio>

namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One scanf integer conversion at pos: white space, an optional sign, at
// least one digit. The value wraps modulo 2^32.
bool ReadNumber(std::string_view text, std::size_t& pos, std::uint32_t& value) {
    while (pos < text.size() && IsWhiteSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::size_t start = pos;
    std::uint32_t number = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        number = number * 10u + static_cast<std::uint32_t>(text[pos] - '0');
        ++pos;
    }
    if (pos == start)
        return false;
    value = negative ? 0u - number : number;
    return true;
}

} // namespace

bool ParseWindowPos(std::string_view text, WindowPosFields& out) {
    std::uint32_t numbers[10];
    std::size_t pos = 0;
    for (int i = 0; i < 10; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != ',')
                return false;
            ++pos;
        }
        if (!ReadNumber(text, pos, numbers[i]))
            return false;
    }
    auto s = [&](int i) { return static_cast<int>(numbers[i]); };
    out.flags = numbers[0];
    out.showCmd = numbers[1];
    out.minX = s(2);
    out.minY = s(3);
    out.maxX = s(4);
    out.maxY = s(5);
    out.left = s(6);
    out.top = s(7);
    out.right = s(8);
    out.bottom = s(9);
    return true;
}

std::string FormatWindowPos(const WindowPosFields& f) {
    char buffer[160];
    int length =
        std::snprintf(buffer, sizeof(buffer), "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d", f.flags, f.showCmd,
                      f.minX, f.minY, f.maxX, f.maxY, f.left, f.top, f.right, f.bottom);
    return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}
