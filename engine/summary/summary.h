// The owner summary: a few labelled lines above a lookup's records that say
// who holds the name or the address, read from the answers themselves.
// WHOIS text is read through field tables, one per answer family (the ICANN
// key-value form, ARIN, the RPSL registries, LACNIC and the Brazilian
// registry, the common country-registry forms); RDAP through its JSON. When
// several answers make up one result, the last one wins each field it has.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace summary {

// The fields, in the order the summary shows them.
enum class Field {
    Domain,
    Network,
    AsNumber,
    Name,
    AsName,
    Registrant, // "Owner" for an address, a network or an AS number
    Registrar,
    Created,
    Expires,
    Status,
    NameServers,
    Country,
    Abuse,
    kCount
};
inline constexpr std::size_t kFieldCount = static_cast<std::size_t>(Field::kCount);

// How a field is shown: its label in the text, its key in JSON (lower-camel
// case), and whether it holds a list (statuses, name servers).
struct FieldInfo {
    Field field;
    const char* label;
    const char* key;
    bool list;
};
const FieldInfo& Info(Field field);

// One answer that went into the result.
struct Source {
    std::string protocol; // "WHOIS" or "RDAP"
    std::string server;   // host name
    std::string query;    // what was asked
};

struct Summary {
    // Cleaned values per field; a scalar field holds at most one.
    std::array<std::vector<std::string>, kFieldCount> values;
    std::vector<Source> sources;

    const std::vector<std::string>& Get(Field f) const {
        return values[static_cast<std::size_t>(f)];
    }
    std::vector<std::string>& Get(Field f) { return values[static_cast<std::size_t>(f)]; }
    // True when no field is known (sources aside).
    bool Empty() const;
};

// The fields one WHOIS answer holds.
Summary FromWhoisText(std::string_view answer);

// The fields one RDAP answer (a JSON body) holds; nothing for a body that is
// not an RDAP object.
Summary FromRdapJson(std::string_view body);

// later's fields replace those of into where later has them; sources add up.
void Merge(Summary& into, const Summary& later);

// Which fields a result shows: a domain's, or an address's, network's or AS
// number's.
enum class Layout { Domain, Network };

// The summary lines (CR LF after each), "Label:" and spaces to column 15,
// then the value; list values joined by ", "; the sources last. Empty when
// no field of the layout is known.
std::string Format(const Summary& summary, Layout layout);

// The "Source:" value: "WHOIS a, b; RDAP c" (each server once, in order).
std::string SourcesText(const std::vector<Source>& sources);

// Whether a field belongs to a layout.
bool InLayout(Field field, Layout layout);
// A field's label and JSON key in a layout (the registrant is the owner of an
// address).
std::string LabelOf(Field field, Layout layout);
std::string KeyOf(Field field, Layout layout);

// A value made fit for one line: control characters (C0, DEL, C1), the
// direction marks and embeddings (U+200E/F, U+202A-202E, U+2066-2069) and
// the line and paragraph separators (U+2028/2029) removed, white space runs
// made one space, trimmed, and cut to 200 bytes (on a character boundary).
std::string CleanValue(std::string_view value);

// A date in one of the usual spellings as YYYY-MM-DD ("2019-03-01T10:00:00Z",
// "01-Mar-2019", "2019/03/01", "01.03.2019", "20190301", "2019. 03. 01.");
// empty when the text is no date.
std::string NormaliseDate(std::string_view value);

} // namespace summary
