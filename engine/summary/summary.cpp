#include "engine/summary/summary.h"

#include "base/text.h"

#include <algorithm>
#include <cctype>

namespace summary {

namespace {

constexpr FieldInfo kFields[] = {
    {Field::Domain, "Domain", "domain", false},
    {Field::Network, "Network", "network", false},
    {Field::AsNumber, "AS number", "asNumber", false},
    {Field::Name, "Name", "name", false},
    {Field::AsName, "AS name", "asName", false},
    {Field::Registrant, "Registrant", "registrant", false},
    {Field::Registrar, "Registrar", "registrar", false},
    {Field::Created, "Created", "created", false},
    {Field::Expires, "Expires", "expires", false},
    {Field::Status, "Status", "status", true},
    {Field::NameServers, "Name servers", "nameServers", true},
    {Field::Country, "Country", "country", false},
    {Field::Abuse, "Abuse contact", "abuseContact", false},
};
static_assert(std::size(kFields) == kFieldCount);

// Label, colon, spaces up to column 15 (at least one).
constexpr std::size_t kValueColumn = 15;
void AppendLine(std::string& out, std::string_view label, std::string_view value) {
    std::string head = std::string(label) + ":";
    head.append(head.size() < kValueColumn ? kValueColumn - head.size() : 1, ' ');
    out += head;
    out += value;
    out += "\r\n";
}

int MonthNumber(std::string_view name) {
    static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
    if (name.size() < 3)
        return 0;
    const std::string lower = text::ToLower(name.substr(0, 3));
    for (int m = 0; m < 12; ++m)
        if (lower == kMonths[m])
            return m + 1;
    return 0;
}

std::string DateText(int year, int month, int day) {
    if (year < 1970 || year > 2999 || month < 1 || month > 12 || day < 1 || day > 31)
        return std::string();
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    return buffer;
}

} // namespace

const FieldInfo& Info(Field field) {
    return kFields[static_cast<std::size_t>(field)];
}

bool Summary::Empty() const {
    return std::all_of(values.begin(), values.end(), [](const auto& v) { return v.empty(); });
}

void Merge(Summary& into, const Summary& later) {
    for (std::size_t f = 0; f < kFieldCount; ++f)
        if (!later.values[f].empty())
            into.values[f] = later.values[f];
    into.sources.insert(into.sources.end(), later.sources.begin(), later.sources.end());
}

bool InLayout(Field field, Layout layout) {
    switch (field) {
    case Field::Registrant:
    case Field::Abuse:
        return true;
    case Field::Domain:
    case Field::Registrar:
    case Field::Created:
    case Field::Expires:
    case Field::Status:
    case Field::NameServers:
        return layout == Layout::Domain;
    case Field::Network:
    case Field::AsNumber:
    case Field::Name:
    case Field::AsName:
    case Field::Country:
        return layout == Layout::Network;
    case Field::kCount:
        break;
    }
    return false;
}

std::string LabelOf(Field field, Layout layout) {
    return field == Field::Registrant && layout == Layout::Network ? "Owner" : Info(field).label;
}

std::string KeyOf(Field field, Layout layout) {
    return field == Field::Registrant && layout == Layout::Network ? "owner" : Info(field).key;
}

std::string SourcesText(const std::vector<Source>& sources) {
    std::string out;
    std::string protocol;
    std::vector<std::string> seen;
    for (const Source& source : sources) {
        const std::string key = source.protocol + " " + text::ToLower(source.server);
        if (std::find(seen.begin(), seen.end(), key) != seen.end())
            continue;
        seen.push_back(key);
        if (source.protocol != protocol) {
            if (!out.empty())
                out += "; ";
            out += source.protocol + " ";
            protocol = source.protocol;
        } else {
            out += ", ";
        }
        out += CleanValue(source.server);
    }
    return out;
}

std::string Format(const Summary& summary, Layout layout) {
    std::string out;
    for (const FieldInfo& info : kFields) {
        const std::vector<std::string>& value = summary.Get(info.field);
        if (value.empty() || !InLayout(info.field, layout))
            continue;
        AppendLine(out, LabelOf(info.field, layout), text::Join(value, ", "));
    }
    if (out.empty())
        return out;
    if (!summary.sources.empty())
        AppendLine(out, "Source", SourcesText(summary.sources));
    return out;
}

std::string CleanValue(std::string_view value) {
    constexpr std::size_t kMostBytes = 200;
    std::string out;
    bool space = false;
    for (std::size_t i = 0; i < value.size();) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (c == ' ' || c == '\t') {
            space = true;
            ++i;
            continue;
        }
        if (const std::size_t skip = text::ControlLengthAt(value, i)) {
            if (c == '\r' || c == '\n')
                space = true;
            i += skip;
            continue;
        }
        if (space && !out.empty())
            out += ' ';
        space = false;
        out += static_cast<char>(c);
        ++i;
    }
    if (out.size() > kMostBytes) {
        std::size_t cut = kMostBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xc0) == 0x80)
            --cut; // never inside a UTF-8 sequence
        out.resize(cut);
        out += "...";
    }
    return out;
}

std::string NormaliseDate(std::string_view value) {
    const std::string v = text::Trim(value);
    // The numbers and words of the text, in order.
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 0; i <= v.size(); ++i) {
        const char c = i < v.size() ? v[i] : ' ';
        const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
        const bool letter = std::isalpha(static_cast<unsigned char>(c)) != 0;
        if (!part.empty() && (digit != (std::isdigit(static_cast<unsigned char>(part[0])) != 0) ||
                              (!digit && !letter))) {
            parts.push_back(part);
            part.clear();
        }
        if (digit || letter)
            part += c;
        if (parts.size() >= 3)
            break;
    }
    const auto number = [](const std::string& s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
    };
    if (parts.size() >= 1 && parts[0].size() == 8 && number(parts[0])) // 20190301
        return DateText(std::stoi(parts[0].substr(0, 4)), std::stoi(parts[0].substr(4, 2)),
                        std::stoi(parts[0].substr(6, 2)));
    // "2019-03-01T10:00:00Z" splits into 2019, 03, 01T10: the day is its digits.
    if (parts.size() < 3)
        return std::string();
    const std::string& a = parts[0];
    const std::string& b = parts[1];
    const std::string& c = parts[2];
    if (number(a) && a.size() == 4 && number(b) && number(c) && c.size() <= 2)
        return DateText(std::stoi(a), std::stoi(b), std::stoi(c)); // 2019-03-01
    if (number(a) && a.size() <= 2 && MonthNumber(b) && number(c) && c.size() == 4)
        return DateText(std::stoi(c), MonthNumber(b), std::stoi(a)); // 01-Mar-2019
    if (number(a) && a.size() <= 2 && number(b) && b.size() <= 2 && number(c) && c.size() == 4)
        return DateText(std::stoi(c), std::stoi(b), std::stoi(a)); // 01.03.2019
    if (MonthNumber(a) && number(b) && b.size() <= 2 && number(c) && c.size() == 4)
        return DateText(std::stoi(c), MonthNumber(a), std::stoi(b)); // March 1 2019
    return std::string();
}

} // namespace summary
