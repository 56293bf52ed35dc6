#include "engine/rdap/query.h"

#include "base/text.h"

#include <vector>

namespace rdap {

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

// One to four hex digits.
bool ParseHexGroup(std::string_view s, std::uint16_t& value) {
    if (s.empty() || s.size() > 4)
        return false;
    unsigned v = 0;
    for (char c : s) {
        int h = HexValue(c);
        if (h < 0)
            return false;
        v = v * 16 + static_cast<unsigned>(h);
    }
    value = static_cast<std::uint16_t>(v);
    return true;
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = s.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, at - start));
        start = at + 1;
    }
}

} // namespace

bool ParseDecimal(std::string_view s, std::uint64_t max, std::uint64_t& value) {
    if (s.empty() || s.size() > 10)
        return false;
    value = 0;
    for (char c : s) {
        if (!IsDigit(c))
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= max;
}

bool ParseIPv4(std::string_view s, std::uint32_t& address) {
    std::vector<std::string_view> parts = Split(s, '.');
    if (parts.size() != 4)
        return false;
    std::uint32_t a = 0;
    for (std::string_view part : parts) {
        std::uint64_t n = 0;
        if (part.size() > 3 || !ParseDecimal(part, 255, n))
            return false;
        a = a << 8 | static_cast<std::uint32_t>(n);
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
    std::size_t gap = s.find("::");
    if (gap != std::string_view::npos && s.find("::", gap + 1) != std::string_view::npos)
        return false;
    auto parseSide = [](std::string_view side, std::vector<std::uint16_t>& groups,
                        bool allowV4Tail) {
        if (side.empty())
            return true;
        std::vector<std::string_view> parts = Split(side, ':');
        for (std::size_t i = 0; i < parts.size(); ++i) {
            std::uint16_t g = 0;
            if (allowV4Tail && i + 1 == parts.size() &&
                parts[i].find('.') != std::string_view::npos) {
                std::uint32_t v4 = 0;
                if (!ParseIPv4(parts[i], v4))
                    return false;
                groups.push_back(static_cast<std::uint16_t>(v4 >> 16));
                groups.push_back(static_cast<std::uint16_t>(v4 & 0xffff));
                return true;
            }
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

Query ClassifyQuery(std::string_view raw) {
    Query q;
    std::string s = text::Trim(raw);
    q.text = s;
    if (ParseIPv4(s, q.ipv4)) {
        q.kind = QueryKind::IPv4;
        return q;
    }
    if (s.find(':') != std::string::npos && ParseIPv6(s, q.ipv6)) {
        q.kind = QueryKind::IPv6;
        return q;
    }
    std::uint64_t n = 0;
    if (s.size() > 2 && text::StartsWithNoCase(s, "as") &&
        ParseDecimal(std::string_view(s).substr(2), 0xffffffffu, n)) {
        q.kind = QueryKind::Asn;
        q.asn = static_cast<std::uint32_t>(n);
        q.text = std::to_string(n);
        return q;
    }
    q.kind = QueryKind::Domain;
    q.text = text::ToLower(s);
    while (!q.text.empty() && q.text.back() == '.')
        q.text.pop_back();
    return q;
}

std::string BuildQueryUrl(std::string_view base, const Query& query) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url(base);
    if (url.empty() || url.back() != '/')
        url += '/';
    switch (query.kind) {
    case QueryKind::Domain:
        url += "domain/";
        break;
    case QueryKind::IPv4:
    case QueryKind::IPv6:
        url += "ip/";
        break;
    case QueryKind::Asn:
        url += "autnum/";
        break;
    }
    for (char c : query.text) {
        unsigned char u = static_cast<unsigned char>(c);
        bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || IsDigit(c) || c == '-' ||
                     c == '.' || c == '_' || c == '~' || c == ':';
        if (plain) {
            url += c;
        } else {
            url += '%';
            url += kHex[u >> 4];
            url += kHex[u & 15];
        }
    }
    return url;
}

} // namespace rdap
