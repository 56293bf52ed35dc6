// Reading an RDAP query: its kind (domain name, IPv4 or IPv6 address, AS
// number), its parsed value, and the query URL built from a server's base URL.
#pragma once

#include "platform/ip_literal.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace rdap {

enum class QueryKind { Domain, IPv4, IPv6, Asn };

struct Query {
    QueryKind kind = QueryKind::Domain;
    // Domain: lower case, without a final dot. IPv4/IPv6: the address as
    // parsed, in its usual form (platform::FormatIPv4, FormatIPv6). Asn: the
    // number in decimal, without "AS".
    std::string text;
    std::uint32_t ipv4 = 0;                 // IPv4 only
    std::array<std::uint8_t, 16> ipv6 = {}; // IPv6 only, network order
    std::uint32_t asn = 0;                  // Asn only
};

// IPv4 dotted text (four decimal parts 0..255), IPv6 text (RFC 4291 forms,
// "::" and a dotted IPv4 tail included), "AS<n>"/"as<n>" with n < 2^32;
// anything else is a domain name.
Query ClassifyQuery(std::string_view query);

// Address literals are read by the one parser the sockets also use.
using platform::ParseIPv4;
using platform::ParseIPv6;
// Decimal digits only (1 to 10 of them), no sign, value <= max.
bool ParseDecimal(std::string_view s, std::uint64_t max, std::uint64_t& value);

// "{base}domain/{name}", "{base}ip/{address}", "{base}autnum/{number}". Bytes
// outside letters, digits and "-._~:" are percent-encoded, so a query can
// never add path parts, a query string or a fragment.
std::string BuildQueryUrl(std::string_view base, const Query& query);

} // namespace rdap
