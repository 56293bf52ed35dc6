// Where to ask an RDAP question: IANA's four bootstrap registries (domains,
// IPv4, IPv6, AS numbers) as tables, and the lookup of a query's server in
// them. A copy of the registries is built into the program, with a list of
// domain servers IANA's registry lacks; the user's fresher copies are read
// by engine/rdap/cache.h.
#pragma once

#include "engine/rdap/query.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace rdap {

enum class Registry { Dns, IPv4, IPv6, Asn };
inline constexpr std::array<Registry, 4> kAllRegistries = {Registry::Dns, Registry::IPv4,
                                                           Registry::IPv6, Registry::Asn};

// "dns.json", "ipv4.json", "ipv6.json", "asn.json".
const char* RegistryFileName(Registry registry);
// IANA's address of the registry, e.g. "https://data.iana.org/rdap/dns.json".
std::string RegistryUrl(Registry registry);
// The copy built into the program.
std::string_view SnapshotJson(Registry registry);
// The built-in list of domain servers IANA's registry lacks
// (engine/rdap/data/extra_servers.txt): "label https://base/" lines, '#'
// comments.
std::string_view ExtraDomainServers();

class Bootstrap {
public:
    // Replaces the table of one registry with the file's services. Fails,
    // keeping the previous table, when the text is not JSON, not a bootstrap
    // file, or has no service with an https:// URL.
    bool Load(Registry registry, std::string_view json, std::string& error);

    // Adds the domain servers of a list of "label URL" lines (blank lines and
    // '#' comments skipped) for the labels the domain table lacks: a label
    // already there keeps its server. Lines that are not one label and one
    // https:// URL are skipped. Returns the number of labels added.
    std::size_t AddDomainServers(std::string_view list);

    // The base URL for a query (ending in '/'), empty when none is known.
    // Domains by the longest matching label suffix, addresses by the longest
    // matching prefix, AS numbers by range.
    std::string FindBaseUrl(const Query& query) const;
    std::string FindDomain(std::string_view asciiName) const;
    std::string FindIPv4(std::uint32_t address) const;
    std::string FindIPv6(const std::array<std::uint8_t, 16>& address) const;
    std::string FindAsn(std::uint32_t number) const;

    // The file's "publication" value, empty when not loaded.
    const std::string& Publication(Registry registry) const;
    // Number of entries (labels, prefixes or ranges) in a registry.
    std::size_t EntryCount(Registry registry) const;

private:
    using V6Key = std::pair<std::uint64_t, std::uint64_t>;
    struct AsnRange {
        std::uint32_t first;
        std::uint32_t last;
        std::size_t url;
    };
    // Per table, the base URLs its entries point at (by index).
    std::array<std::vector<std::string>, 4> urls_;
    std::array<std::string, 4> publication_;
    std::unordered_map<std::string, std::size_t> domains_;
    // Prefix length -> network -> URL index; lengths probed longest first.
    std::map<int, std::unordered_map<std::uint32_t, std::size_t>, std::greater<int>> v4_;
    std::map<int, std::map<V6Key, std::size_t>, std::greater<int>> v6_;
    std::vector<AsnRange> asn_; // sorted by first
};

} // namespace rdap
