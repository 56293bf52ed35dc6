// The summary of one WHOIS answer. The answer is read as labelled lines
// ("Label: value"); a label without a value opens a block whose indented
// lines are its values ("Registrant:" / "    Example Org") or labelled lines
// of their own ("Registrar:" / "    Name: Example Registrar"), as are
// "[Holder]" sections. The field tables below say which label gives which
// field; within one answer the entry of the lowest rank wins, and among equal
// ranks the first line.
#include "engine/summary/summary.h"

#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace summary {

namespace {

// How a label's value is read.
enum class Kind {
    Text,       // as it stands
    Holder,     // a person or organisation: "(redacted)" where it says it is withheld
    Date,       // YYYY-MM-DD
    Status,     // the first word, without the explanatory link
    HostName,   // the first word, lower case, without a final dot (a domain, a name server)
    Email,      // without "mailto:"
    AsNumber,   // "AS" and the number
    AbuseHandle // a contact handle whose block holds the abuse address
};

struct Label {
    std::string_view label; // lower case, single spaces
    Field field;
    int rank;
    Kind kind;
};

// The ICANN registry and registrar key-value form, and the registrars'
// older layouts.
constexpr Label kIcannLabels[] = {
    {"domain name", Field::Domain, 0, Kind::HostName},
    {"domain", Field::Domain, 1, Kind::HostName},
    {"registrant organization", Field::Registrant, 0, Kind::Holder},
    {"registrant organisation", Field::Registrant, 0, Kind::Holder},
    {"registrant", Field::Registrant, 1, Kind::Holder},
    {"registrant name", Field::Registrant, 2, Kind::Holder},
    {"registrant contact", Field::Registrant, 1, Kind::Holder},
    {"registrant contact name", Field::Registrant, 2, Kind::Holder},
    {"registrar", Field::Registrar, 0, Kind::Text},
    {"registrar name", Field::Registrar, 0, Kind::Text},
    {"sponsoring registrar", Field::Registrar, 0, Kind::Text},
    {"registrar of record", Field::Registrar, 0, Kind::Text},
    {"registered through", Field::Registrar, 1, Kind::Text},
    {"creation date", Field::Created, 0, Kind::Date},
    {"created on", Field::Created, 0, Kind::Date},
    {"created", Field::Created, 1, Kind::Date},
    {"registration date", Field::Created, 1, Kind::Date},
    {"domain registration date", Field::Created, 1, Kind::Date},
    {"record created on", Field::Created, 1, Kind::Date},
    {"registry expiry date", Field::Expires, 0, Kind::Date},
    {"expiration date", Field::Expires, 0, Kind::Date},
    {"expires on", Field::Expires, 0, Kind::Date},
    {"domain expiration date", Field::Expires, 0, Kind::Date},
    {"registrar registration expiration date", Field::Expires, 1, Kind::Date},
    {"record expires on", Field::Expires, 1, Kind::Date},
    {"domain status", Field::Status, 0, Kind::Status},
    {"status", Field::Status, 1, Kind::Status},
    {"name server", Field::NameServers, 0, Kind::HostName},
    {"name servers", Field::NameServers, 0, Kind::HostName},
    {"nameservers", Field::NameServers, 0, Kind::HostName},
    {"domain servers in listed order", Field::NameServers, 0, Kind::HostName},
    {"registrar abuse contact email", Field::Abuse, 0, Kind::Email},
};

// ARIN.
constexpr Label kArinLabels[] = {
    {"netrange", Field::Network, 0, Kind::Text},
    {"cidr", Field::Network, 1, Kind::Text},
    {"netname", Field::Name, 0, Kind::Text},
    {"asnumber", Field::AsNumber, 0, Kind::AsNumber},
    {"asname", Field::AsName, 0, Kind::Text},
    {"orgname", Field::Registrant, 0, Kind::Holder},
    {"custname", Field::Registrant, 1, Kind::Holder},
    {"country", Field::Country, 0, Kind::Text},
    {"orgabuseemail", Field::Abuse, 0, Kind::Email},
    {"rabuseemail", Field::Abuse, 0, Kind::Email},
};

// The RPSL registries (RIPE NCC, APNIC, AFRINIC), LACNIC and the Brazilian
// registry.
constexpr Label kRpslLabels[] = {
    {"inetnum", Field::Network, 0, Kind::Text},
    {"inet6num", Field::Network, 0, Kind::Text},
    {"aut-num", Field::AsNumber, 0, Kind::AsNumber},
    {"netname", Field::Name, 0, Kind::Text},
    {"as-name", Field::AsName, 0, Kind::Text},
    {"org-name", Field::Registrant, 0, Kind::Holder},
    {"owner", Field::Registrant, 1, Kind::Holder},
    {"descr", Field::Registrant, 3, Kind::Holder},
    {"abuse-mailbox", Field::Abuse, 1, Kind::Email},
    {"abuse-c", Field::Abuse, 2, Kind::AbuseHandle},
    {"nserver", Field::NameServers, 0, Kind::HostName},
    {"expires", Field::Expires, 1, Kind::Date},
};

// The common country-registry forms.
constexpr Label kCountryRegistryLabels[] = {
    {"holder", Field::Registrant, 1, Kind::Holder},
    {"holder organisation", Field::Registrant, 0, Kind::Holder},
    {"holder name", Field::Registrant, 2, Kind::Holder},
    {"registrant name", Field::Registrant, 2, Kind::Holder},
    {"registrar name", Field::Registrar, 0, Kind::Text},
    {"registered on", Field::Created, 0, Kind::Date},
    {"registered", Field::Created, 1, Kind::Date},
    {"registration time", Field::Created, 1, Kind::Date},
    {"expiry date", Field::Expires, 0, Kind::Date},
    {"expire date", Field::Expires, 0, Kind::Date},
    {"expiration time", Field::Expires, 1, Kind::Date},
    {"paid-till", Field::Expires, 1, Kind::Date},
    {"renewal date", Field::Expires, 1, Kind::Date},
    {"registration status", Field::Status, 1, Kind::Status},
    {"state", Field::Status, 2, Kind::Status},
    {"nameserver", Field::NameServers, 0, Kind::HostName},
    {"primary server", Field::NameServers, 1, Kind::HostName},
    {"secondary server", Field::NameServers, 1, Kind::HostName},
    {"dns", Field::NameServers, 2, Kind::HostName},
};

constexpr std::pair<const Label*, std::size_t> kFamilies[] = {
    {kIcannLabels, std::size(kIcannLabels)},
    {kArinLabels, std::size(kArinLabels)},
    {kRpslLabels, std::size(kRpslLabels)},
    {kCountryRegistryLabels, std::size(kCountryRegistryLabels)},
};

// Every table row of a label (a label may give more than one field).
std::vector<const Label*> RowsOf(std::string_view label) {
    std::vector<const Label*> rows;
    for (const auto& [table, count] : kFamilies)
        for (std::size_t i = 0; i < count; ++i)
            if (table[i].label == label)
                rows.push_back(&table[i]);
    return rows;
}

// One labelled value of the answer.
struct Entry {
    std::string label; // lower case, single spaces, trailing dots gone
    std::string value;
    std::size_t paragraph; // blank lines separate paragraphs
};

std::string NormaliseLabel(std::string_view raw) {
    std::string label = text::ToLower(text::Trim(raw));
    while (!label.empty() && (label.back() == '.' || label.back() == ' '))
        label.pop_back();
    std::string out;
    for (char c : label) {
        if (c == ' ' && !out.empty() && out.back() == ' ')
            continue;
        out += c;
    }
    return out;
}

// "Label: value" (a label of letters, digits, blanks and - _ . ' / (, up to
// 48 bytes, not a web address) or nothing.
std::optional<std::pair<std::string, std::string>> SplitLabelled(std::string_view line) {
    const std::string trimmed = text::TrimLeft(line);
    const std::size_t colon = trimmed.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 48)
        return std::nullopt;
    if (trimmed.compare(colon, 3, "://") == 0)
        return std::nullopt;
    for (std::size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(trimmed[i]);
        if (!std::isalnum(c) &&
            std::string_view(" -_.'/()").find(static_cast<char>(c)) == std::string_view::npos)
            return std::nullopt;
    }
    if (!std::isalpha(static_cast<unsigned char>(trimmed[0])))
        return std::nullopt;
    return std::make_pair(NormaliseLabel(std::string_view(trimmed).substr(0, colon)),
                          text::Trim(std::string_view(trimmed).substr(colon + 1)));
}

std::size_t Indent(std::string_view line) {
    std::size_t n = 0;
    while (n < line.size() && (line[n] == ' ' || line[n] == '\t'))
        ++n;
    return n;
}

// The labelled values of an answer, block lines included: a value line of a
// block gives the block's label; a labelled line inside a block gives its
// own label and also the block's label joined to it ("registrar name").
std::vector<Entry> ReadEntries(std::string_view answer, std::string& abuseComment) {
    std::vector<Entry> entries;
    std::string block; // the open block's label
    std::size_t blockIndent = 0;
    bool section = false; // a "[Holder]" section: open until the next blank line
    std::size_t paragraph = 0;
    for (std::size_t at = 0; at <= answer.size();) {
        std::size_t end = answer.find('\n', at);
        if (end == std::string_view::npos)
            end = answer.size();
        std::string_view line = answer.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string trimmed = text::Trim(line);
        if (trimmed.empty()) {
            block.clear();
            section = false;
            ++paragraph;
            if (end == answer.size())
                break;
            continue;
        }
        if (trimmed[0] == '%' || trimmed[0] == '#') {
            // RPSL: "% Abuse contact for '193.0.0.0 - 193.0.7.255' is 'abuse@ripe.net'"
            const std::string lower = text::ToLower(trimmed);
            const std::size_t is = lower.rfind(" is '");
            if (abuseComment.empty() && lower.find("abuse contact for") != std::string::npos &&
                is != std::string::npos && trimmed.back() == '\'')
                abuseComment = trimmed.substr(is + 5, trimmed.size() - is - 6);
            continue;
        }
        if (trimmed.size() > 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            block = NormaliseLabel(std::string_view(trimmed).substr(1, trimmed.size() - 2));
            blockIndent = 0;
            section = true;
            continue;
        }
        const std::size_t indent = Indent(line);
        const auto labelled = SplitLabelled(line);
        // A value line may stand at the header's own indent ("Registrant:" /
        // "Example Org"); a labelled line must stand deeper to belong to it.
        const bool inBlock = !block.empty() && (section || indent > blockIndent ||
                                                (!labelled && indent == blockIndent));
        if (!inBlock && !section)
            block.clear();
        if (!labelled) {
            // "Record expires on 09-Jun-2014."
            const std::string lower = text::ToLower(trimmed);
            for (std::string_view prefix : {"record expires on ", "record created on "})
                if (lower.compare(0, prefix.size(), prefix) == 0) {
                    entries.push_back({std::string(prefix.substr(0, prefix.size() - 1)),
                                       trimmed.substr(prefix.size()), paragraph});
                    break;
                }
        }
        if (labelled && !labelled->second.empty()) {
            entries.push_back({labelled->first, labelled->second, paragraph});
            if (inBlock)
                entries.push_back({block + " " + labelled->first, labelled->second, paragraph});
        } else if (labelled) {
            block = labelled->first; // a label alone opens a block
            blockIndent = indent;
            section = false;
        } else if (inBlock) {
            entries.push_back({block, trimmed, paragraph});
        } else if (end == answer.size()) {
            break;
        }
        if (end == answer.size())
            break;
    }
    return entries;
}

bool SaysWithheld(std::string_view value) {
    const std::string lower = text::ToLower(value);
    for (std::string_view mark : {"redacted", "withheld", "not disclosed", "data protected",
                                  "privacy", "gdpr masked", "statutory masking"})
        if (lower.find(mark) != std::string::npos)
            return true;
    return false;
}

std::string FirstWord(std::string_view value) {
    const std::string trimmed = text::Trim(value);
    return trimmed.substr(0, trimmed.find_first_of(" \t"));
}

// The value a row makes of a line's value; empty when it gives nothing.
std::string ValueFor(Kind kind, std::string_view raw) {
    const std::string value = CleanValue(raw);
    switch (kind) {
    case Kind::Text:
    case Kind::AbuseHandle:
        return value;
    case Kind::Holder:
        return SaysWithheld(value) ? std::string("(redacted)") : value;
    case Kind::Date:
        return NormaliseDate(value);
    case Kind::Status: {
        const std::size_t link = value.find(" http");
        return text::Trim(std::string_view(value).substr(0, link));
    }
    case Kind::HostName: {
        const std::string host = text::HostNameKey(FirstWord(value));
        return host.find('.') == std::string::npos ? std::string() : host;
    }
    case Kind::Email: {
        std::string mail = FirstWord(value);
        if (text::StartsWithNoCase(mail, "mailto:"))
            mail.erase(0, 7);
        return mail.find('@') == std::string::npos ? std::string() : mail;
    }
    case Kind::AsNumber: {
        const std::string word = FirstWord(value);
        if (word.empty() || text::EqualsNoCase(word, "N/A"))
            return std::string();
        return text::StartsWithNoCase(word, "AS") ? "AS" + word.substr(2) : "AS" + word;
    }
    }
    return value;
}

// The e-mail address of the contact whose handle is given: the e-mail or
// abuse-mailbox line of the paragraph that names it as nic-hdl.
std::string MailOfHandle(const std::vector<Entry>& entries, const std::string& handle) {
    for (const Entry& entry : entries) {
        if ((entry.label != "nic-hdl" && entry.label != "nic-hdl-br") ||
            !text::EqualsNoCase(entry.value, handle))
            continue;
        for (const Entry& other : entries)
            if (other.paragraph == entry.paragraph &&
                (other.label == "e-mail" || other.label == "abuse-mailbox"))
                return ValueFor(Kind::Email, other.value);
    }
    return std::string();
}

} // namespace

Summary FromWhoisText(std::string_view answer) {
    std::string abuseComment;
    const std::vector<Entry> entries = ReadEntries(answer, abuseComment);
    Summary out;
    std::array<int, kFieldCount> bestRank;
    bestRank.fill(1000);
    if (const std::string mail = ValueFor(Kind::Email, abuseComment); !mail.empty()) {
        out.Get(Field::Abuse) = {mail};
        bestRank[static_cast<std::size_t>(Field::Abuse)] = 0;
    }
    for (const Entry& entry : entries) {
        for (const Label* row : RowsOf(entry.label)) {
            std::string value = ValueFor(row->kind, entry.value);
            if (row->kind == Kind::AbuseHandle && !value.empty())
                value = MailOfHandle(entries, value);
            if (value.empty())
                continue;
            const std::size_t f = static_cast<std::size_t>(row->field);
            std::vector<std::string>& values = out.values[f];
            if (row->rank < bestRank[f]) {
                values.clear();
                bestRank[f] = row->rank;
            } else if (row->rank > bestRank[f]) {
                continue;
            }
            if (!Info(row->field).list) {
                if (values.empty())
                    values.push_back(std::move(value));
            } else if (std::find(values.begin(), values.end(), value) == values.end()) {
                values.push_back(std::move(value));
            }
        }
    }
    return out;
}

} // namespace summary
