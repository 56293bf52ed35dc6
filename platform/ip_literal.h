// Addresses written as text: IPv4 and IPv6 literals, and the test that keeps
// a referral or a redirect from a server's answer away from the machine
// itself and its local networks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Four decimal parts 0..255 of at most three digits ("08.08.08.08" is
// 8.8.8.8).
bool ParseIPv4(std::string_view text, std::uint32_t& address);

// RFC 4291 text: up to eight hex groups, one "::", a dotted IPv4 tail.
bool ParseIPv6(std::string_view text, std::array<std::uint8_t, 16>& address);

// "a.b.c.d" in decimal.
std::string FormatIPv4(std::uint32_t address);

// RFC 5952 text: lower-case hex groups without leading zeros, the longest
// run of two or more zero groups (the first of equal ones) written "::",
// and an IPv4-mapped address as "::ffff:a.b.c.d".
std::string FormatIPv6(const std::array<std::uint8_t, 16>& address);

// The IPv4 address of ::ffff:a.b.c.d; false for any other IPv6 address.
bool MappedIPv4(const std::array<std::uint8_t, 16>& address, std::uint32_t& ipv4);

// True when host, as a URL's authority or a referral writes it, is an
// address literal that is not a public address: unspecified (0.0.0.0/8, ::),
// loopback (127/8, ::1), private (10/8, 172.16/12, 192.168/16, 100.64/10,
// fc00::/7), link-local (169.254/16, fe80::/10) or site-local (fec0::/10),
// IPv4 ones also inside ::ffff:0:0/96. IPv4 counts in every form resolvers
// take ("127.1", "0x7f.0.0.1", "2130706433", a final dot); IPv6 in brackets,
// with or without a zone. A host that ends like a number but is no address
// counts too: nobody can say where it leads. Host names never count.
bool IsNonPublicAddressLiteral(std::string_view host);

} // namespace platform
