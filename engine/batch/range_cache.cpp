#include "engine/batch/range_cache.h"

#include "engine/rdap/query.h"
#include "base/text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>

namespace batch {

namespace {

bool ParseAddress(std::string_view text, Address& out, bool& v4) {
    std::uint32_t four = 0;
    if (rdap::ParseIPv4(text, four)) {
        out = {};
        out[10] = out[11] = 0xff;
        for (int i = 0; i < 4; ++i)
            out[12 + i] = static_cast<std::uint8_t>(four >> (24 - 8 * i));
        v4 = true;
        return true;
    }
    v4 = false;
    return rdap::ParseIPv6(text, out);
}

} // namespace

bool ParseRange(std::string_view text, Address& first, Address& last) {
    std::string whole = text::Trim(text);
    const std::size_t comma = whole.find(',');
    if (comma != std::string::npos)
        whole = text::Trim(std::string_view(whole).substr(0, comma));
    bool v4 = false, v4End = false;
    const std::size_t dash = whole.find(" - ");
    if (dash != std::string::npos) {
        if (!ParseAddress(text::Trim(std::string_view(whole).substr(0, dash)), first, v4) ||
            !ParseAddress(text::Trim(std::string_view(whole).substr(dash + 3)), last, v4End) ||
            v4 != v4End || last < first)
            return false;
        return true;
    }
    const std::size_t slash = whole.find('/');
    if (!ParseAddress(std::string_view(whole).substr(0, slash), first, v4))
        return false;
    int bits = 128;
    if (slash != std::string::npos) {
        const std::string digits = whole.substr(slash + 1);
        if (digits.empty() || digits.size() > 3 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        bits = std::stoi(digits) + (v4 ? 96 : 0);
        if (bits > 128)
            return false;
    }
    last = first;
    for (int bit = bits; bit < 128; ++bit) {
        const std::uint8_t mask = static_cast<std::uint8_t>(0x80 >> (bit % 8));
        first[bit / 8] &= static_cast<std::uint8_t>(~mask);
        last[bit / 8] |= mask;
    }
    return true;
}

namespace {

// How many addresses a range holds, compared as the difference of its ends.
Address Span(const Address& first, const Address& last) {
    Address span{};
    int borrow = 0;
    for (int i = 15; i >= 0; --i) {
        int d = last[i] - first[i] - borrow;
        borrow = d < 0 ? 1 : 0;
        span[i] = static_cast<std::uint8_t>(d + 256 * borrow);
    }
    return span;
}

const char* LayoutName(summary::Layout layout) {
    return layout == summary::Layout::Domain ? "domain" : "network";
}

nlohmann::json ToJson(const CachedAnswer& answer) {
    nlohmann::json fields = nlohmann::json::object();
    for (std::size_t f = 0; f < summary::kFieldCount; ++f) {
        const auto& values = answer.summary.Get(static_cast<summary::Field>(f));
        if (!values.empty())
            fields[summary::Info(static_cast<summary::Field>(f)).key] = values;
    }
    nlohmann::json sources = nlohmann::json::array();
    for (const summary::Source& s : answer.summary.sources)
        sources.push_back({s.protocol, s.server, s.query});
    return {{"layout", LayoutName(answer.layout)}, {"fields", fields}, {"sources", sources}};
}

bool FromJson(const nlohmann::json& j, CachedAnswer& answer) {
    if (!j.is_object() || !j.contains("fields") || !j["fields"].is_object())
        return false;
    answer.layout =
        j.value("layout", "") == "domain" ? summary::Layout::Domain : summary::Layout::Network;
    for (std::size_t f = 0; f < summary::kFieldCount; ++f) {
        const auto field = static_cast<summary::Field>(f);
        const auto it = j["fields"].find(summary::Info(field).key);
        if (it == j["fields"].end())
            continue;
        for (const auto& value : *it)
            if (value.is_string())
                answer.summary.Get(field).push_back(value.get<std::string>());
    }
    if (j.contains("sources") && j["sources"].is_array())
        for (const auto& s : j["sources"])
            if (s.is_array() && s.size() == 3 && s[0].is_string() && s[1].is_string() &&
                s[2].is_string())
                answer.summary.sources.push_back({s[0], s[1], s[2]});
    return true;
}

std::string AddressText(const Address& a) {
    static const char* const kHex = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : a) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

bool AddressFromText(const std::string& text, Address& a) {
    if (text.size() != 32 || text.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    for (std::size_t i = 0; i < 16; ++i)
        a[i] = static_cast<std::uint8_t>(std::stoi(text.substr(2 * i, 2), nullptr, 16));
    return true;
}

} // namespace

std::optional<CachedAnswer> RangeCache::Find(const std::string& query, std::int64_t now) const {
    const auto known = m_byQuery.find(text::ToLower(query));
    if (known != m_byQuery.end() && Fresh(known->second, now))
        return known->second.answer;
    Address first{}, last{};
    if (!ParseRange(query, first, last))
        return std::nullopt;
    const Entry* best = nullptr;
    for (const Entry& e : m_ranges) {
        if (!Fresh(e, now) || first < e.first || e.last < last)
            continue;
        if (best == nullptr || Span(e.first, e.last) < Span(best->first, best->last))
            best = &e;
    }
    if (best == nullptr)
        return std::nullopt;
    return best->answer;
}

void RangeCache::Put(Entry entry) {
    if (!entry.key.empty()) {
        Entry& e = m_byQuery[entry.key];
        if (e.key.empty() || entry.stored >= e.stored)
            e = std::move(entry);
        return;
    }
    for (Entry& e : m_ranges) {
        if (e.first == entry.first && e.last == entry.last) {
            if (entry.stored >= e.stored)
                e = std::move(entry);
            return;
        }
    }
    m_ranges.push_back(std::move(entry));
}

void RangeCache::Add(const std::string& query, const CachedAnswer& answer, std::int64_t now,
                     bool byRange) {
    Entry byQuery;
    byQuery.key = text::ToLower(query);
    byQuery.stored = now;
    byQuery.answer = answer;
    Put(byQuery);
    const auto& network = answer.summary.Get(summary::Field::Network);
    Address qFirst{}, qLast{}, first{}, last{};
    if (!byRange || network.empty() || !ParseRange(query, qFirst, qLast) ||
        !ParseRange(network.front(), first, last) || qFirst < first || last < qLast)
        return;
    Entry ranged;
    ranged.first = first;
    ranged.last = last;
    ranged.stored = now;
    ranged.answer = answer;
    Put(std::move(ranged));
}

std::string RangeCache::Serialize(std::int64_t now) const {
    std::string out;
    const auto write = [&](const Entry& e) {
        if (!Fresh(e, now))
            return;
        nlohmann::json line = {{"stored", e.stored}, {"answer", ToJson(e.answer)}};
        if (!e.key.empty())
            line["query"] = e.key;
        else
            line["range"] = {AddressText(e.first), AddressText(e.last)};
        out += line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    };
    for (const auto& [key, e] : m_byQuery)
        write(e);
    for (const Entry& e : m_ranges)
        write(e);
    return out;
}

void RangeCache::Load(std::string_view text, std::int64_t now) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const nlohmann::json line =
            nlohmann::json::parse(text.substr(start, end - start), nullptr, false);
        start = end + 1;
        Entry e;
        if (!line.is_object() || !line.contains("stored") || !line["stored"].is_number_integer() ||
            !line.contains("answer") || !FromJson(line["answer"], e.answer))
            continue;
        e.stored = line["stored"].get<std::int64_t>();
        if (line.contains("query") && line["query"].is_string() &&
            !line["query"].get<std::string>().empty()) {
            e.key = line["query"].get<std::string>();
        } else if (!(line.contains("range") && line["range"].is_array() &&
                     line["range"].size() == 2 && line["range"][0].is_string() &&
                     line["range"][1].is_string() && AddressFromText(line["range"][0], e.first) &&
                     AddressFromText(line["range"][1], e.last) && !(e.last < e.first))) {
            continue;
        }
        if (Fresh(e, now))
            Put(std::move(e));
    }
}

std::int64_t UnixSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace batch
