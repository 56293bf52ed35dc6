// Where to ask an RDAP question: the kind of a query, IANA's four bootstrap
// registries (domains, IPv4, IPv6, AS numbers) and the query URL built from
// the base URL they name. A copy of the registries is built into the program;
// fresher copies are kept per user in a cache folder and refreshed at most
// once a week through a fetch function the caller supplies.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace rdap {

enum class QueryKind { Domain, IPv4, IPv6, Asn };

struct Query {
    QueryKind kind = QueryKind::Domain;
    // Domain: lower case, without a final dot. IPv4/IPv6: the address as
    // typed (trimmed). Asn: the number in decimal, without "AS".
    std::string text;
    std::uint32_t ipv4 = 0;                 // IPv4 only
    std::array<std::uint8_t, 16> ipv6 = {}; // IPv6 only, network order
    std::uint32_t asn = 0;                  // Asn only
};

// IPv4 dotted text (four decimal parts 0..255), IPv6 text (RFC 4291 forms,
// "::" and a dotted IPv4 tail included), "AS<n>"/"as<n>" with n < 2^32;
// anything else is a domain name.
Query ClassifyQuery(std::string_view query);

bool ParseIPv4(std::string_view s, std::uint32_t& address);
bool ParseIPv6(std::string_view s, std::array<std::uint8_t, 16>& address);

// "{base}domain/{name}", "{base}ip/{address}", "{base}autnum/{number}". Bytes
// outside letters, digits and "-._~:" are percent-encoded, so a query can
// never add path parts, a query string or a fragment.
std::string BuildQueryUrl(std::string_view base, const Query& query);

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

// Builds a bootstrap from the cache folder, file by file: a cached copy that
// parses wins, otherwise (missing, empty, truncated, binary, wrong shape) the
// built-in snapshot. An empty folder name means the snapshot alone. The extra
// domain servers fill the domain table's gaps in either case.
// fromCache, when given, tells which registries came from the cache.
Bootstrap LoadBootstrap(const std::string& cacheDir, std::array<bool, 4>* fromCache = nullptr);

// True when the file at path is missing or older than maxAge (by its
// modification time).
bool IsStale(const std::filesystem::path& path, std::chrono::hours maxAge);

// True when a registry's cached copy is missing or older than maxAge.
bool CacheNeedsRefresh(const std::string& cacheDir,
                       std::chrono::hours maxAge = std::chrono::hours(24 * 7));

// GETs a URL; true with the body on a 200 answer.
using FetchFunction = std::function<bool(const std::string& url, std::string& body)>;

// Fetches each registry whose cached copy is missing or older than maxAge,
// checks that it parses as a bootstrap file, writes it to a temporary file in
// the folder (made when missing) and renames it over the cached copy. One
// refresh at a time per process: a call while another runs returns false at
// once. Returns true when every stale registry was refreshed; error names
// the first failure.
bool RefreshBootstrapCache(const std::string& cacheDir, const FetchFunction& fetch,
                           std::string& error,
                           std::chrono::hours maxAge = std::chrono::hours(24 * 7));

} // namespace rdap
