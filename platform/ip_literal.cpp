// Address literals, for every layer: RDAP's registries and URLs, the lookup
// chain's referrals and the HTTPS redirect rule.
#include "platform/ip_literal.h"

#include <string>
#include <vector>

namespace platform {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t at = s.find(separator, start);
        parts.push_back(s.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos)
            return parts;
        start = at + 1;
    }
}

// One to four hex digits.
bool ParseHexGroup(std::string_view s, std::uint16_t& value) {
    if (s.empty() || s.size() > 4)
        return false;
    unsigned v = 0;
    for (char c : s) {
        const int h = HexValue(c);
        if (h < 0)
            return false;
        v = v * 16 + static_cast<unsigned>(h);
    }
    value = static_cast<std::uint16_t>(v);
    return true;
}

// One part of an IPv4 address as resolvers read it: "0x" hex, a leading 0
// octal, else decimal. At most 32 bits.
bool ParseNumericPart(std::string_view s, std::uint64_t& value) {
    unsigned base = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.size() >= 2 && s[0] == '0') {
        base = 8;
        s.remove_prefix(1);
    } else if (s.empty()) {
        return false;
    }
    value = 0;
    for (char c : s) {
        const int digit = HexValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return false;
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xffffffffu)
            return false;
    }
    return true;
}

// "a", "a.b", "a.b.c" or "a.b.c.d" with numeric parts, the last filling the
// bytes that are left (inet_aton's forms).
bool ParseNumericIPv4(std::string_view s, std::uint32_t& address) {
    const std::vector<std::string_view> parts = Split(s, '.');
    if (parts.size() > 4)
        return false;
    std::uint64_t result = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::uint64_t value = 0;
        if (!ParseNumericPart(parts[i], value))
            return false;
        const bool last = i + 1 == parts.size();
        const unsigned bytes = last ? static_cast<unsigned>(4 - i) : 1;
        if (value >> (8 * bytes) != 0)
            return false;
        result |= value << (8 * (last ? 0 : 3 - i));
    }
    address = static_cast<std::uint32_t>(result);
    return true;
}

// The last label is a decimal number or a "0x" hex one.
bool EndsLikeANumber(std::string_view host) {
    const std::string_view label = host.substr(host.rfind('.') + 1);
    std::string_view digits = label;
    bool hex = false;
    if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        hex = true;
    }
    if (!hex && digits.empty())
        return false;
    for (char c : digits)
        if (hex ? HexValue(c) < 0 : !IsDigit(c))
            return false;
    return true;
}

bool InRange(std::uint32_t address, std::uint32_t network, int length) {
    const std::uint32_t mask = length == 0 ? 0 : ~std::uint32_t{0} << (32 - length);
    return (address & mask) == network;
}

bool IsNonPublicIPv4(std::uint32_t a) {
    return InRange(a, 0x00000000, 8) ||  // unspecified, "this network"
           InRange(a, 0x0a000000, 8) ||  // private
           InRange(a, 0x64400000, 10) || // shared (carrier-grade NAT)
           InRange(a, 0x7f000000, 8) ||  // loopback
           InRange(a, 0xa9fe0000, 16) || // link-local
           InRange(a, 0xac100000, 12) || // private
           InRange(a, 0xc0a80000, 16);   // private
}

bool IsNonPublicIPv6(const std::array<std::uint8_t, 16>& a) {
    std::uint32_t ipv4 = 0;
    if (MappedIPv4(a, ipv4))
        return IsNonPublicIPv4(ipv4);
    bool zeroHead = true;
    for (std::size_t i = 0; i < 15; ++i)
        zeroHead = zeroHead && a[i] == 0;
    if (zeroHead && (a[15] == 0 || a[15] == 1))
        return true;                                  // :: and ::1
    return (a[0] & 0xfe) == 0xfc ||                   // unique local fc00::/7
           (a[0] == 0xfe && (a[1] & 0xc0) == 0x80) || // link-local fe80::/10
           (a[0] == 0xfe && (a[1] & 0xc0) == 0xc0);   // site-local fec0::/10
}

} // namespace

bool ParseIPv4(std::string_view text, std::uint32_t& address) {
    const std::vector<std::string_view> parts = Split(text, '.');
    if (parts.size() != 4)
        return false;
    std::uint32_t a = 0;
    for (std::string_view part : parts) {
        if (part.empty() || part.size() > 3)
            return false;
        unsigned n = 0;
        for (char c : part) {
            if (!IsDigit(c))
                return false;
            n = n * 10 + static_cast<unsigned>(c - '0');
        }
        if (n > 255)
            return false;
        a = a << 8 | n;
    }
    address = a;
    return true;
}

bool ParseIPv6(std::string_view s, std::array<std::uint8_t, 16>& address) {
    if (s.size() < 2 || s.size() > 45)
        return false;
    // Up to eight 16-bit groups, before and after one "::".
    std::vector<std::uint16_t> head;
    std::vector<std::uint16_t> tail;
    const std::size_t gap = s.find("::");
    if (gap != std::string_view::npos && s.find("::", gap + 1) != std::string_view::npos)
        return false;
    const auto parseSide = [](std::string_view side, std::vector<std::uint16_t>& groups,
                              bool allowV4Tail) {
        if (side.empty())
            return true;
        const std::vector<std::string_view> parts = Split(side, ':');
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (allowV4Tail && i + 1 == parts.size() &&
                parts[i].find('.') != std::string_view::npos) {
                std::uint32_t v4 = 0;
                if (!ParseIPv4(parts[i], v4))
                    return false;
                groups.push_back(static_cast<std::uint16_t>(v4 >> 16));
                groups.push_back(static_cast<std::uint16_t>(v4 & 0xffff));
                return true;
            }
            std::uint16_t g = 0;
            if (!ParseHexGroup(parts[i], g))
                return false;
            groups.push_back(g);
        }
        return true;
    };
    if (gap == std::string_view::npos) {
        if (!parseSide(s, head, true) || head.size() != 8)
            return false;
    } else {
        if (!parseSide(s.substr(0, gap), head, false) || !parseSide(s.substr(gap + 2), tail, true))
            return false;
        if (head.size() + tail.size() > 7)
            return false;
        head.resize(8 - tail.size(), 0);
        head.insert(head.end(), tail.begin(), tail.end());
    }
    for (std::size_t i = 0; i < 8; ++i) {
        address[2 * i] = static_cast<std::uint8_t>(head[i] >> 8);
        address[2 * i + 1] = static_cast<std::uint8_t>(head[i] & 0xff);
    }
    return true;
}

std::string FormatIPv4(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xff) + "." +
           std::to_string(address >> 8 & 0xff) + "." + std::to_string(address & 0xff);
}

std::string FormatIPv6(const std::array<std::uint8_t, 16>& address) {
    std::uint32_t ipv4 = 0;
    if (MappedIPv4(address, ipv4))
        return "::ffff:" + FormatIPv4(ipv4);
    unsigned groups[8];
    for (std::size_t i = 0; i < 8; ++i)
        groups[i] = static_cast<unsigned>(address[2 * i]) << 8 | address[2 * i + 1];
    std::size_t bestStart = 8, bestLength = 1; // a run must be longer than this
    for (std::size_t i = 0; i < 8;) {
        std::size_t j = i;
        while (j < 8 && groups[j] == 0)
            ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < 8; ++i) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':')
            text += ':';
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = groups[i] >> shift & 0xf;
            if (digit != 0 || started || shift == 0) {
                text += kHex[digit];
                started = true;
            }
        }
    }
    return text;
}

bool MappedIPv4(const std::array<std::uint8_t, 16>& a, std::uint32_t& ipv4) {
    for (std::size_t i = 0; i < 10; ++i)
        if (a[i] != 0)
            return false;
    if (a[10] != 0xff || a[11] != 0xff)
        return false;
    ipv4 =
        std::uint32_t{a[12]} << 24 | std::uint32_t{a[13]} << 16 | std::uint32_t{a[14]} << 8 | a[15];
    return true;
}

bool IsNonPublicAddressLiteral(std::string_view host) {
    if (!host.empty() && host.front() == '[') {
        if (host.back() != ']')
            return true;
        host = host.substr(1, host.size() - 2);
    }
    if (host.find(':') != std::string_view::npos) {
        std::array<std::uint8_t, 16> address{};
        return !ParseIPv6(host.substr(0, host.find('%')), address) || IsNonPublicIPv6(address);
    }
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    if (!EndsLikeANumber(host))
        return false;
    std::uint32_t address = 0;
    return !ParseNumericIPv4(host, address) || IsNonPublicIPv4(address);
}

} // namespace platform
