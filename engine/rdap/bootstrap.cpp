#include "engine/rdap/bootstrap.h"

#include "engine/rdap/json.h"
#include "base/text.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

namespace rdap {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits only, no sign, value <= max.
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

// A domain table's key: lower case, without final dots.
std::string DomainKey(std::string_view label) {
    std::string key = text::ToLower(label);
    while (!key.empty() && key.back() == '.')
        key.pop_back();
    return key;
}

std::atomic<unsigned> g_tempCounter{0};
std::mutex g_refreshMutex;

// IANA's largest registry is about 100 KiB; a cached file far beyond that is
// not one of them and is not read at all.
constexpr std::uintmax_t kMaxRegistryBytes = 16u << 20;

bool ReadFile(const fs::path& path, std::string& contents) {
    std::error_code ec;
    std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxRegistryBytes)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    contents = buffer.str();
    return !in.bad();
}

bool WriteAndRename(const fs::path& dir, const char* name, const std::string& body,
                    std::string& error) {
    std::ostringstream tempName;
    tempName << name << ".tmp-" << std::hash<std::thread::id>()(std::this_thread::get_id()) % 100000
             << '-' << g_tempCounter.fetch_add(1);
    fs::path temp = dir / tempName.str();
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(body.data(), static_cast<std::streamsize>(body.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            error = "cannot write " + temp.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, dir / name, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = std::string("cannot replace ") + (dir / name).string();
        return false;
    }
    return true;
}

} // namespace

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
                std::string key = DomainKey(e);
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
    for (std::string_view line : Split(list, '\n')) {
        const std::string trimmed = text::Trim(line);
        if (trimmed.empty() || trimmed.front() == '#')
            continue;
        const std::size_t gap = trimmed.find_first_of(" \t");
        if (gap == std::string::npos)
            continue;
        const std::string key = DomainKey(trimmed.substr(0, gap));
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
    std::string key = DomainKey(name);
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

Bootstrap LoadBootstrap(const std::string& cacheDir, std::array<bool, 4>* fromCache) {
    Bootstrap boot;
    for (Registry registry : kAllRegistries) {
        bool cached = false;
        std::string error;
        if (!cacheDir.empty()) {
            std::string contents;
            if (ReadFile(fs::path(cacheDir) / RegistryFileName(registry), contents))
                cached = boot.Load(registry, contents, error);
        }
        if (!cached)
            boot.Load(registry, SnapshotJson(registry), error);
        if (fromCache)
            (*fromCache)[Index(registry)] = cached;
    }
    boot.AddDomainServers(ExtraDomainServers());
    return boot;
}

bool IsStale(const fs::path& path, std::chrono::hours maxAge) {
    std::error_code ec;
    auto written = fs::last_write_time(path, ec);
    if (ec)
        return true;
    return fs::file_time_type::clock::now() - written > maxAge;
}

bool CacheNeedsRefresh(const std::string& cacheDir, std::chrono::hours maxAge) {
    for (Registry registry : kAllRegistries)
        if (IsStale(fs::path(cacheDir) / RegistryFileName(registry), maxAge))
            return true;
    return false;
}

bool RefreshBootstrapCache(const std::string& cacheDir, const FetchFunction& fetch,
                           std::string& error, std::chrono::hours maxAge) {
    std::unique_lock<std::mutex> lock(g_refreshMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        error = "another refresh is running";
        return false;
    }
    if (cacheDir.empty() || !fetch) {
        error = "no cache folder";
        return false;
    }
    fs::path dir(cacheDir);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        error = "cannot make " + dir.string();
        return false;
    }
    bool allDone = true;
    for (Registry registry : kAllRegistries) {
        if (!IsStale(dir / RegistryFileName(registry), maxAge))
            continue;
        std::string url = RegistryUrl(registry);
        std::string body;
        std::string why;
        Bootstrap check;
        bool ok = false;
        if (!fetch(url, body))
            why = url + ": fetch failed";
        else if (!check.Load(registry, body, why))
            why = url + ": " + why;
        else
            ok = WriteAndRename(dir, RegistryFileName(registry), body, why);
        if (!ok) {
            if (allDone)
                error = why;
            allDone = false;
        }
    }
    return allDone;
}

} // namespace rdap
