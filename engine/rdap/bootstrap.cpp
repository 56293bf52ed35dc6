#include "engine/rdap/bootstrap.h"

#include "engine/rdap/json.h"
#include "engine/rdap/query.h"
#include "base/text.h"

#include <algorithm>

namespace rdap {

using nlohmann::json;

namespace {

std::size_t Index(Registry registry) {
    return static_cast<std::size_t>(registry);
}

std::uint32_t V4Mask(int length) {
    return length == 0 ? 0u : ~std::uint32_t{0} << (32 - length);
}

std::pair<std::uint64_t, std::uint64_t> V6Masked(const std::array<std::uint8_t, 16>& a,
                                                 int length) {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;
    for (int i = 0; i < 8; ++i) {
        hi = hi << 8 | a[static_cast<std::size_t>(i)];
        lo = lo << 8 | a[static_cast<std::size_t>(i + 8)];
    }
    if (length <= 64) {
        hi = length == 0 ? 0 : hi & (~std::uint64_t{0} << (64 - length));
        lo = 0;
    } else {
        lo = length == 128 ? lo : lo & (~std::uint64_t{0} << (128 - length));
    }
    return {hi, lo};
}

// "address/length" with a length in range.
template <typename Address>
bool ParsePrefix(std::string_view entry, int maxLength, bool (*parse)(std::string_view, Address&),
                 Address& address, int& length) {
    std::size_t slash = entry.find('/');
    if (slash == std::string_view::npos)
        return false;
    std::uint64_t n = 0;
    if (!ParseDecimal(entry.substr(slash + 1), static_cast<std::uint64_t>(maxLength), n))
        return false;
    length = static_cast<int>(n);
    return parse(entry.substr(0, slash), address);
}

// The first https:// URL of a service, with a final '/'; empty when none.
// An https:// URL with something after the scheme, as a base URL ending in
// '/'; empty for anything else.
std::string HttpsBaseUrl(std::string u) {
    if (!text::StartsWithNoCase(u, "https://") || u.size() <= 8)
        return std::string();
    if (u.back() != '/')
        u += '/';
    return u;
}

std::string PickHttpsUrl(const json& urls) {
    if (!urls.is_array())
        return std::string();
    for (const json& url : urls) {
        if (!url.is_string())
            continue;
        std::string u = HttpsBaseUrl(url.get<std::string>());
        if (!u.empty())
            return u;
    }
    return std::string();
}

} // namespace

const char* RegistryFileName(Registry registry) {
    switch (registry) {
    case Registry::Dns:
        return "dns.json";
    case Registry::IPv4:
        return "ipv4.json";
    case Registry::IPv6:
        return "ipv6.json";
    case Registry::Asn:
        return "asn.json";
    }
    return "";
}

std::string RegistryUrl(Registry registry) {
    return std::string("https://data.iana.org/rdap/") + RegistryFileName(registry);
}

bool Bootstrap::Load(Registry registry, std::string_view text, std::string& error) {
    json doc;
    if (!ParseJsonLimited(text, doc, error))
        return false;
    auto services = doc.is_object() ? doc.find("services") : doc.end();
    if (!doc.is_object() || services == doc.end() || !services->is_array()) {
        error = "not an RDAP bootstrap file (no \"services\" list)";
        return false;
    }

    std::vector<std::string> urls;
    std::unordered_map<std::string, std::size_t> domains;
    std::map<int, std::unordered_map<std::uint32_t, std::size_t>, std::greater<int>> v4;
    std::map<int, std::map<V6Key, std::size_t>, std::greater<int>> v6;
    std::vector<AsnRange> asn;
    std::size_t entries = 0;

    for (const json& service : *services) {
        if (!service.is_array() || service.size() < 2 || !service[0].is_array())
            continue;
        std::string url = PickHttpsUrl(service[1]);
        if (url.empty())
            continue;
        std::size_t urlIndex = urls.size();
        urls.push_back(url);
        for (const json& entry : service[0]) {
            if (!entry.is_string())
                continue;
            const std::string& e = entry.get_ref<const std::string&>();
            bool added = false;
            if (registry == Registry::Dns) {
                std::string key = text::HostNameKey(e);
                // The first service that names a label keeps it.
                added = !key.empty() && domains.emplace(key, urlIndex).second;
            } else if (registry == Registry::IPv4) {
                std::uint32_t a = 0;
                int length = 0;
                if (ParsePrefix<std::uint32_t>(e, 32, ParseIPv4, a, length))
                    added = v4[length].emplace(a & V4Mask(length), urlIndex).second;
            } else if (registry == Registry::IPv6) {
                std::array<std::uint8_t, 16> a = {};
                int length = 0;
                if (ParsePrefix<std::array<std::uint8_t, 16>>(e, 128, ParseIPv6, a, length))
                    added = v6[length].emplace(V6Masked(a, length), urlIndex).second;
            } else {
                std::size_t dash = e.find('-');
                std::uint64_t first = 0;
                std::uint64_t last = 0;
                std::string_view ev(e);
                bool ok = dash == std::string::npos
                              ? ParseDecimal(ev, 0xffffffffu, first)
                              : ParseDecimal(ev.substr(0, dash), 0xffffffffu, first) &&
                                    ParseDecimal(ev.substr(dash + 1), 0xffffffffu, last);
                if (dash == std::string::npos)
                    last = first;
                if (ok && first <= last) {
                    asn.push_back({static_cast<std::uint32_t>(first),
                                   static_cast<std::uint32_t>(last), urlIndex});
                    added = true;
                }
            }
            entries += added ? 1 : 0;
        }
    }
    if (entries == 0) {
        error = "RDAP bootstrap file without a usable https:// service";
        return false;
    }

    std::size_t i = Index(registry);
    urls_[i] = std::move(urls);
    auto publication = doc.find("publication");
    publication_[i] = publication != doc.end() && publication->is_string()
                          ? publication->get<std::string>()
                          : std::string();
    switch (registry) {
    case Registry::Dns:
        domains_ = std::move(domains);
        break;
    case Registry::IPv4:
        v4_ = std::move(v4);
        break;
    case Registry::IPv6:
        v6_ = std::move(v6);
        break;
    case Registry::Asn:
        std::sort(asn.begin(), asn.end(),
                  [](const AsnRange& a, const AsnRange& b) { return a.first < b.first; });
        asn_ = std::move(asn);
        break;
    }
    return true;
}

std::size_t Bootstrap::AddDomainServers(std::string_view list) {
    std::vector<std::string>& urls = urls_[Index(Registry::Dns)];
    std::size_t added = 0;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find('\n', at), list.size());
        const std::string trimmed = text::Trim(list.substr(at, end - at));
        at = end + 1;
        if (trimmed.empty() || trimmed.front() == '#')
            continue;
        const std::size_t gap = trimmed.find_first_of(" \t");
        if (gap == std::string::npos)
            continue;
        const std::string key = text::HostNameKey(trimmed.substr(0, gap));
        const std::string url = HttpsBaseUrl(text::Trim(trimmed.substr(gap)));
        if (key.empty() || url.empty() || url.find_first_of(" \t") != std::string::npos ||
            domains_.count(key) != 0)
            continue;
        auto same = std::find(urls.begin(), urls.end(), url);
        const std::size_t index = static_cast<std::size_t>(same - urls.begin());
        if (same == urls.end())
            urls.push_back(url);
        domains_.emplace(key, index);
        ++added;
    }
    return added;
}

std::string Bootstrap::FindDomain(std::string_view name) const {
    std::string key = text::HostNameKey(name);
    std::string_view rest(key);
    // Longest suffix first: the whole name, then without its first label...
    while (!rest.empty()) {
        auto it = domains_.find(std::string(rest));
        if (it != domains_.end())
            return urls_[Index(Registry::Dns)][it->second];
        std::size_t dot = rest.find('.');
        if (dot == std::string_view::npos)
            break;
        rest.remove_prefix(dot + 1);
    }
    return std::string();
}

std::string Bootstrap::FindIPv4(std::uint32_t address) const {
    for (const auto& [length, networks] : v4_) {
        auto it = networks.find(address & V4Mask(length));
        if (it != networks.end())
            return urls_[Index(Registry::IPv4)][it->second];
    }
    return std::string();
}

std::string Bootstrap::FindIPv6(const std::array<std::uint8_t, 16>& address) const {
    for (const auto& [length, networks] : v6_) {
        auto it = networks.find(V6Masked(address, length));
        if (it != networks.end())
            return urls_[Index(Registry::IPv6)][it->second];
    }
    return std::string();
}

std::string Bootstrap::FindAsn(std::uint32_t number) const {
    auto it = std::upper_bound(asn_.begin(), asn_.end(), number,
                               [](std::uint32_t n, const AsnRange& r) { return n < r.first; });
    if (it == asn_.begin())
        return std::string();
    --it;
    return number <= it->last ? urls_[Index(Registry::Asn)][it->url] : std::string();
}

std::string Bootstrap::FindBaseUrl(const Query& query) const {
    switch (query.kind) {
    case QueryKind::Domain:
        return FindDomain(query.text);
    case QueryKind::IPv4:
        return FindIPv4(query.ipv4);
    case QueryKind::IPv6:
        return FindIPv6(query.ipv6);
    case QueryKind::Asn:
        return FindAsn(query.asn);
    }
    return std::string();
}

const std::string& Bootstrap::Publication(Registry registry) const {
    return publication_[Index(registry)];
}

std::size_t Bootstrap::EntryCount(Registry registry) const {
    switch (registry) {
    case Registry::Dns:
        return domains_.size();
    case Registry::IPv4: {
        std::size_t n = 0;
        for (const auto& entry : v4_)
            n += entry.second.size();
        return n;
    }
    case Registry::IPv6: {
        std::size_t n = 0;
        for (const auto& entry : v6_)
            n += entry.second.size();
        return n;
    }
    case Registry::Asn:
        return asn_.size();
    }
    return 0;
}

} // namespace rdap
