#include "engine/rdap/query.h"

#include "base/text.h"

namespace rdap {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
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

Query ClassifyQuery(std::string_view raw) {
    Query q;
    std::string s = text::Trim(raw);
    q.text = s;
    // The URL names the address as parsed: "08.08.08.08" asks for 8.8.8.8.
    if (ParseIPv4(s, q.ipv4)) {
        q.kind = QueryKind::IPv4;
        q.text = platform::FormatIPv4(q.ipv4);
        return q;
    }
    if (s.find(':') != std::string::npos && ParseIPv6(s, q.ipv6)) {
        q.kind = QueryKind::IPv6;
        q.text = platform::FormatIPv6(q.ipv6);
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
    q.text = text::HostNameKey(s);
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
