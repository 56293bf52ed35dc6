#include "engine/rdap/text.h"

#include "engine/rdap/json.h"
#include "base/text.h"
#include "platform/https.h"
#include "platform/ip_literal.h"

#include <optional>
#include <utility>
#include <vector>

namespace rdap {

using nlohmann::json;

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr int kMaxEntityNesting = 4;

std::string StringMember(const json& object, const char* key) {
    const json* m = Member(object, key);
    if (m == nullptr)
        return std::string();
    if (m->is_string())
        return m->get<std::string>();
    if (m->is_number_unsigned())
        return std::to_string(m->get<std::uint64_t>());
    if (m->is_number_integer())
        return std::to_string(m->get<std::int64_t>());
    return std::string();
}

// Control characters become spaces: line breaks, so a value can never start
// a line of its own, and C1 and bidirectional controls, so it can never act
// on a terminal or show reversed (text::ReplaceControls). Trimmed.
std::string Clean(std::string_view value) {
    return text::Trim(text::ReplaceControls(value, ' '));
}

// " (N more not shown)" for a list cut at its cap; empty when nothing was.
std::string LeftOutText(std::size_t leftOut) {
    return leftOut == 0 ? std::string() : " (" + std::to_string(leftOut) + " more not shown)";
}

std::string RoleLabel(const std::string& role) {
    static const std::pair<const char*, const char*> kRoles[] = {
        {"registrant", "Registrant"},
        {"registrar", "Registrar"},
        {"abuse", "Abuse contact"},
        {"administrative", "Administrative contact"},
        {"technical", "Technical contact"},
        {"billing", "Billing contact"},
        {"noc", "NOC contact"},
        {"notifications", "Notifications contact"},
        {"sponsor", "Sponsor"},
        {"reseller", "Reseller"},
        {"proxy", "Proxy"},
    };
    for (const auto& [name, label] : kRoles)
        if (text::EqualsNoCase(role, name))
            return label;
    return Clean(role);
}

std::string EventLabel(const std::string& action) {
    static const std::pair<const char*, const char*> kEvents[] = {
        {"registration", "Created"},
        {"expiration", "Expires"},
        {"last changed", "Last changed"},
        {"last update of RDAP database", "Database updated"},
        {"transfer", "Transferred"},
        {"reregistration", "Re-registered"},
        {"deletion", "Deleted"},
        {"reinstantiation", "Reinstated"},
        {"locked", "Locked"},
        {"unlocked", "Unlocked"},
    };
    for (const auto& [name, label] : kEvents)
        if (text::EqualsNoCase(action, name))
            return label;
    return std::string();
}

// The value of a jCard property: a string, or the strings of an array
// (nested one level, as in structured addresses) joined with sep.
std::string JoinValue(const json& value, std::string_view sep) {
    if (value.is_string())
        return Clean(value.get<std::string>());
    std::string out;
    if (!value.is_array())
        return out;
    for (const json& part : value) {
        std::string piece = part.is_array() ? JoinValue(part, " ") : JoinValue(part, sep);
        if (piece.empty())
            continue;
        if (!out.empty())
            out += sep;
        out += piece;
    }
    return out;
}

struct Card {
    std::string name;
    std::string organisation;
    std::vector<std::string> addresses;
    std::vector<std::string> emails;
    std::vector<std::pair<std::string, std::string>> phones; // label, number
    std::size_t leftOut = 0; // addresses, e-mails and numbers beyond the cap
};

// Reads a jCard: ["vcard", [[name, params, type, value...], ...]].
Card ReadCard(const json& entity, std::size_t maxItems) {
    Card card;
    const json& vcard = ArrayMember(entity, "vcardArray");
    if (vcard.size() < 2 || !vcard[1].is_array())
        return card;
    for (const json& property : vcard[1]) {
        if (!property.is_array() || property.size() < 4 || !property[0].is_string())
            continue;
        const std::string& name = property[0].get_ref<const std::string&>();
        const json& params = property[1];
        const json& value = property[3];
        if (text::EqualsNoCase(name, "fn")) {
            card.name = JoinValue(value, " ");
        } else if (text::EqualsNoCase(name, "org")) {
            card.organisation = JoinValue(value, ", ");
        } else if ((text::EqualsNoCase(name, "adr") && card.addresses.size() == maxItems) ||
                   (text::EqualsNoCase(name, "email") && card.emails.size() == maxItems) ||
                   (text::EqualsNoCase(name, "tel") && card.phones.size() == maxItems)) {
            ++card.leftOut;
        } else if (text::EqualsNoCase(name, "adr")) {
            // A formatted label wins over the structured parts.
            std::string label = StringMember(params, "label");
            std::string address =
                label.empty() ? JoinValue(value, ", ") : Clean(text::ReplaceAll(label, "\n", ", "));
            if (!address.empty())
                card.addresses.push_back(address);
        } else if (text::EqualsNoCase(name, "email")) {
            std::string email = JoinValue(value, ", ");
            if (!email.empty())
                card.emails.push_back(email);
        } else if (text::EqualsNoCase(name, "tel")) {
            std::string number = JoinValue(value, ", ");
            if (text::StartsWithNoCase(number, "tel:"))
                number.erase(0, 4);
            const json* type = Member(params, "type");
            bool fax = type != nullptr && JoinValue(*type, ",").find("fax") != std::string::npos;
            if (!number.empty())
                card.phones.emplace_back(fax ? "Fax" : "Telephone", number);
        }
    }
    return card;
}

class Renderer {
public:
    explicit Renderer(const TextOptions& options)
        : options_(options), entitiesLeft_(options.maxEntities) {}

    std::string Take() { return std::move(out_); }

    void Line(std::string_view label, std::string_view value, std::string_view indent = {}) {
        std::string v = Clean(value);
        if (v.empty())
            return;
        out_ += indent;
        out_ += label;
        out_ += ": ";
        out_ += v;
        out_ += kCrLf;
    }

    // One line "(N more not shown)" for a list cut at its cap.
    void LeftOut(std::size_t leftOut, std::string_view indent) {
        if (leftOut == 0)
            return;
        out_ += indent;
        out_ += LeftOutText(leftOut).substr(1);
        out_ += kCrLf;
    }

    // show for each element of list up to the cap; returns how many were
    // left out.
    template <typename Show> std::size_t ForCapped(const json& list, const Show& show) {
        std::size_t count = 0;
        for (const json& item : list) {
            if (count == options_.maxListItems)
                break;
            ++count;
            show(item);
        }
        return list.size() - count;
    }

    // As ForCapped, then a line saying how many were left out.
    template <typename Show>
    void EachCapped(const json& list, std::string_view indent, const Show& show) {
        LeftOut(ForCapped(list, show), indent);
    }

    void Blank() {
        if (!out_.empty() && !out_.ends_with("\r\n\r\n"))
            out_ += kCrLf;
    }

    // kind: the object's class, from its "objectClassName" or, where it has
    // none, the class that was asked for.
    void Object(const json& object, const std::string& kind) {
        if (text::EqualsNoCase(kind, "domain"))
            Domain(object);
        else if (text::EqualsNoCase(kind, "ip network"))
            Network(object);
        else if (text::EqualsNoCase(kind, "autnum"))
            Autnum(object);
        else if (text::EqualsNoCase(kind, "nameserver"))
            Nameserver(object);
        else if (text::EqualsNoCase(kind, "entity"))
            Entity(object, 0);
        else
            Generic(object);
        if (options_.showNotices)
            Notices(ArrayMember(object, "notices"));
    }

private:
    void Domain(const json& d) {
        std::string ldh = StringMember(d, "ldhName");
        std::string unicode = StringMember(d, "unicodeName");
        Line("Domain Name", ldh);
        if (!text::EqualsNoCase(unicode, ldh))
            Line("Unicode Name", unicode);
        Line("Handle", StringMember(d, "handle"));
        Statuses(d);
        // The registrar's name and IANA number up front, as WHOIS shows them.
        for (const json& e : ArrayMember(d, "entities")) {
            if (!HasRole(e, "registrar"))
                continue;
            Card card = ReadCard(e, options_.maxListItems);
            Line("Registrar", card.name.empty() ? card.organisation : card.name);
            EachCapped(ArrayMember(e, "publicIds"), "", [&](const json& id) {
                std::string type = Clean(StringMember(id, "type"));
                if (!type.empty())
                    Line(type, StringMember(id, "identifier"));
            });
            break;
        }
        Events(d);
        EachCapped(ArrayMember(d, "nameservers"), "",
                   [&](const json& ns) { Line("Name Server", StringMember(ns, "ldhName")); });
        if (const json* dnssec = Member(d, "secureDNS")) {
            const json* signed_ = Member(*dnssec, "delegationSigned");
            if (signed_ != nullptr && signed_->is_boolean())
                Line("DNSSEC", signed_->get<bool>() ? "signed" : "unsigned");
        }
        Remarks(ArrayMember(d, "remarks"), "");
        Entities(d, 0);
    }

    void Network(const json& n) {
        std::string start = StringMember(n, "startAddress");
        std::string end = StringMember(n, "endAddress");
        Line("Range", start.empty() || end.empty() ? start + end : start + " - " + end);
        std::string cidrs;
        const std::size_t left = ForCapped(ArrayMember(n, "cidr0_cidrs"), [&](const json& c) {
            std::string prefix = StringMember(c, "v4prefix");
            if (prefix.empty())
                prefix = StringMember(c, "v6prefix");
            std::string length = StringMember(c, "length");
            if (prefix.empty())
                return;
            if (!cidrs.empty())
                cidrs += ", ";
            cidrs += length.empty() ? prefix : prefix + "/" + length;
        });
        if (!cidrs.empty())
            cidrs += LeftOutText(left);
        Line("CIDR", cidrs);
        Line("Name", StringMember(n, "name"));
        Line("Handle", StringMember(n, "handle"));
        Line("Type", StringMember(n, "type"));
        Line("Country", StringMember(n, "country"));
        Line("Parent", StringMember(n, "parentHandle"));
        Statuses(n);
        Events(n);
        Remarks(ArrayMember(n, "remarks"), "");
        Entities(n, 0);
    }

    void Autnum(const json& a) {
        std::string first = StringMember(a, "startAutnum");
        std::string last = StringMember(a, "endAutnum");
        std::string range;
        if (!first.empty())
            range = "AS" + first;
        if (!last.empty() && last != first)
            range += (range.empty() ? "AS" : " - AS") + last;
        Line("AS range", range);
        Line("Name", StringMember(a, "name"));
        Line("Handle", StringMember(a, "handle"));
        Line("Type", StringMember(a, "type"));
        Line("Country", StringMember(a, "country"));
        Statuses(a);
        Events(a);
        Remarks(ArrayMember(a, "remarks"), "");
        Entities(a, 0);
    }

    void Nameserver(const json& ns) {
        Line("Name Server", StringMember(ns, "ldhName"));
        Line("Handle", StringMember(ns, "handle"));
        if (const json* addresses = Member(ns, "ipAddresses")) {
            for (const char* family : {"v4", "v6"})
                EachCapped(ArrayMember(*addresses, family), "", [&](const json& ip) {
                    if (ip.is_string())
                        Line("IP Address", ip.get<std::string>());
                });
        }
        Statuses(ns);
        Events(ns);
        Remarks(ArrayMember(ns, "remarks"), "");
        Entities(ns, 0);
    }

    void Generic(const json& o) {
        Line("Object", StringMember(o, "objectClassName"));
        Line("Handle", StringMember(o, "handle"));
        Line("Name", StringMember(o, "name"));
        Statuses(o);
        Events(o);
        Remarks(ArrayMember(o, "remarks"), "");
        Entities(o, 0);
    }

    void Statuses(const json& o) {
        EachCapped(ArrayMember(o, "status"), "", [&](const json& s) {
            if (s.is_string())
                Line("Status", s.get<std::string>());
        });
    }

    void Events(const json& o, std::string_view indent = {}) {
        EachCapped(ArrayMember(o, "events"), indent, [&](const json& e) {
            std::string label = EventLabel(StringMember(e, "eventAction"));
            if (!label.empty())
                Line(label, StringMember(e, "eventDate"), indent);
        });
    }

    void Remarks(const json& list, std::string_view indent, const char* label = "Remarks") {
        EachCapped(list, indent, [&](const json& r) {
            Line(label, StringMember(r, "title"), indent);
            EachCapped(ArrayMember(r, "description"), indent, [&](const json& d) {
                if (d.is_string())
                    Line(label, d.get<std::string>(), indent);
            });
        });
    }

    void Notices(const json& list) {
        if (list.empty())
            return;
        Blank();
        Remarks(list, "", "Notice");
    }

    void Entities(const json& parent, int nesting) {
        if (nesting >= kMaxEntityNesting)
            return;
        for (const json& e : ArrayMember(parent, "entities")) {
            if (!e.is_object())
                continue;
            if (entitiesLeft_ == 0) {
                if (!noted_) {
                    Blank();
                    out_ += "(further entities not shown)";
                    out_ += kCrLf;
                    noted_ = true;
                }
                return;
            }
            Entity(e, nesting);
        }
    }

    void Entity(const json& e, int nesting) {
        if (entitiesLeft_ > 0)
            --entitiesLeft_;
        std::string roles;
        const std::size_t left = ForCapped(ArrayMember(e, "roles"), [&](const json& r) {
            if (!r.is_string())
                return;
            if (!roles.empty())
                roles += ", ";
            roles += RoleLabel(r.get<std::string>());
        });
        if (roles.empty())
            roles = "Contact";
        roles += LeftOutText(left);
        Card card = ReadCard(e, options_.maxListItems);
        std::string handle = Clean(StringMember(e, "handle"));
        // The header names the entity by the first of these it has; the
        // detail lines below leave out what the header already shows.
        std::string title = !card.name.empty()           ? card.name
                            : !card.organisation.empty() ? card.organisation
                            : !card.emails.empty()       ? card.emails.front()
                                                         : handle;
        Blank();
        out_ += roles + ":" + (title.empty() ? "" : " " + title) + std::string(kCrLf);
        const std::string_view in = "  ";
        if (card.organisation != title)
            Line("Organisation", card.organisation, in);
        for (const std::string& a : card.addresses)
            Line("Address", a, in);
        for (const std::string& m : card.emails)
            if (m != title)
                Line("E-mail", m, in);
        for (const auto& [label, number] : card.phones)
            Line(label, number, in);
        LeftOut(card.leftOut, in);
        if (handle != title)
            Line("Handle", handle, in);
        Remarks(ArrayMember(e, "remarks"), in);
        Entities(e, nesting + 1);
    }

    const TextOptions& options_;
    std::size_t entitiesLeft_;
    bool noted_ = false;
    std::string out_;
};

// The part of the URL after its last '/', percent escapes decoded.
std::string QueryOfUrl(std::string_view url) {
    std::size_t cut = url.find_first_of("?#");
    if (cut != std::string_view::npos)
        url = url.substr(0, cut);
    std::size_t slash = url.rfind('/');
    std::string_view last = slash == std::string_view::npos ? url : url.substr(slash + 1);
    std::string out;
    for (std::size_t i = 0; i < last.size(); ++i) {
        auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (last[i] == '%' && i + 2 < last.size() && hex(last[i + 1]) >= 0 &&
            hex(last[i + 2]) >= 0) {
            out += static_cast<char>(hex(last[i + 1]) * 16 + hex(last[i + 2]));
            i += 2;
        } else {
            out += last[i];
        }
    }
    return Clean(out);
}

std::string RelatedLink(const json& doc) {
    for (const json& link : ArrayMember(doc, "links")) {
        std::string href = StringMember(link, "href");
        if (text::EqualsNoCase(StringMember(link, "rel"), "related") &&
            text::EqualsNoCase(StringMember(link, "type"), "application/rdap+json") &&
            text::StartsWithNoCase(href, "https://") && href.size() > 8 &&
            !platform::IsNonPublicAddressLiteral(platform::https_detail::HostOfUrl(href)))
            return Clean(href);
    }
    return std::string();
}

// The class of an answer: its "objectClassName", or where that is missing,
// the class asked for if the answer has that class's key member. None: not
// an RDAP object.
std::optional<std::string> ObjectClass(const json& doc, std::string_view asked) {
    if (const json* kind = Member(doc, "objectClassName")) {
        if (!kind->is_string())
            return std::nullopt;
        return kind->get<std::string>();
    }
    struct KeyMember {
        std::string_view kind;
        const char* member;
    };
    static constexpr KeyMember kKeys[] = {
        {"domain", "ldhName"}, {"ip network", "startAddress"}, {"autnum", "startAutnum"}};
    for (const KeyMember& key : kKeys)
        if (key.kind == asked && Member(doc, key.member) != nullptr)
            return std::string(asked);
    return std::nullopt;
}

} // namespace

std::string HostOfUrl(std::string_view url) {
    std::string whole(url);
    if (whole.find("://") == std::string::npos)
        whole.insert(0, "://");
    return Clean(platform::https_detail::HostOfUrl(whole));
}

Outcome ResponseToText(std::string_view url, long status, std::string_view body,
                       std::string_view retryAfter, const TextOptions& options, std::string& text,
                       std::string& error, std::string* relatedUrl) {
    text.clear();
    error.clear();
    if (relatedUrl != nullptr)
        relatedUrl->clear();
    std::string host = HostOfUrl(url);
    if (status == 404) {
        text = "No match for \"" + QueryOfUrl(url) + "\" at " + host + "." + std::string(kCrLf);
        return Outcome::NoMatch;
    }
    if (status == 429) {
        std::string wait = Clean(retryAfter.substr(0, 64));
        text = host + ": too many queries, " +
               (wait.empty() ? std::string("try again later") : "retry after " + wait) + "." +
               std::string(kCrLf);
        return Outcome::RateLimited;
    }
    if (status < 200 || status > 299) {
        error = host + ": HTTP status " + std::to_string(status);
        return Outcome::Failed;
    }
    if (body.size() > kMaxRdapAnswerBytes) {
        error = host + ": answer over " + std::to_string(kMaxRdapAnswerBytes >> 20) + " MiB";
        return Outcome::Failed;
    }
    json doc;
    std::string why;
    if (!ParseJsonLimited(body, doc, why, kMaxJsonDepth, kMaxRdapAnswerValues)) {
        error = host + ": answer is not RDAP JSON (" + why + ")";
        return Outcome::Failed;
    }
    const std::optional<std::string> kind = ObjectClass(doc, options.askedClass);
    if (!kind) {
        error = host + ": answer is not an RDAP object";
        return Outcome::Failed;
    }
    Renderer renderer(options);
    renderer.Object(doc, *kind);
    std::string record = renderer.Take();
    text.reserve(record.size() + url.size() + 16);
    text = "RDAP: " + Clean(url) + std::string(kCrLf) + record;
    if (relatedUrl != nullptr)
        *relatedUrl = RelatedLink(doc);
    return Outcome::Answer;
}

} // namespace rdap
