// The summary of one RDAP answer, read from its JSON: the object's own
// members (ldhName, startAddress/endAddress, startAutnum, name, country,
// status, events, nameservers) and its entities by role (registrant,
// registrar with its IANA id, abuse, also nested in the registrar).
#include "engine/rdap/json.h"
#include "engine/summary/summary.h"

#include "base/text.h"

namespace summary {

namespace {

using nlohmann::json;
using rdap::ArrayMember;
using rdap::HasRole;
using rdap::Member;

std::string StringOf(const json& object, const char* member) {
    const json* m = Member(object, member);
    return m != nullptr && m->is_string() ? CleanValue(m->get<std::string>()) : std::string();
}

// The first text value of a vCard property ("fn", "org", "email"); an "org"
// may be a list of units, of which the first is the organisation.
std::string VcardValue(const json& entity, std::string_view property) {
    const json& card = ArrayMember(entity, "vcardArray");
    if (card.size() < 2 || !card[1].is_array())
        return std::string();
    for (const json& item : card[1]) {
        if (!item.is_array() || item.size() < 4 || !item[0].is_string() ||
            !text::EqualsNoCase(item[0].get<std::string>(), property))
            continue;
        const json& value = item[3];
        if (value.is_string())
            return CleanValue(value.get<std::string>());
        if (value.is_array() && !value.empty() && value[0].is_string())
            return CleanValue(value[0].get<std::string>());
    }
    return std::string();
}

// The entities of an object and, one level down, of its entities (the
// registrar's abuse contact sits inside the registrar), in order.
std::vector<const json*> Entities(const json& object) {
    std::vector<const json*> out;
    for (const json& entity : ArrayMember(object, "entities")) {
        if (!entity.is_object())
            continue;
        out.push_back(&entity);
        for (const json& nested : ArrayMember(entity, "entities"))
            if (nested.is_object())
                out.push_back(&nested);
    }
    return out;
}

bool Withheld(std::string_view value) {
    const std::string lower = text::ToLower(value);
    return lower.find("redacted") != std::string::npos ||
           lower.find("withheld") != std::string::npos ||
           lower.find("not disclosed") != std::string::npos;
}

// The registrant named by a "redacted" member (RFC 9537) with no entity left.
bool RedactsRegistrant(const json& object) {
    for (const json& item : ArrayMember(object, "redacted")) {
        const json* name = Member(item, "name");
        if (name != nullptr && name->is_object() &&
            text::StartsWithNoCase(StringOf(*name, "type"), "Registrant"))
            return true;
    }
    return false;
}

void Put(Summary& out, Field field, std::string value) {
    if (!value.empty())
        out.Get(field) = {std::move(value)};
}

} // namespace

Summary FromRdapJson(std::string_view body) {
    Summary out;
    json root;
    std::string error;
    if (!rdap::ParseJsonLimited(body, root, error) || !root.is_object())
        return out;
    const std::string kind = text::ToLower(StringOf(root, "objectClassName"));

    if (kind == "domain") {
        std::string name = StringOf(root, "unicodeName");
        if (name.empty())
            name = text::ToLower(StringOf(root, "ldhName"));
        Put(out, Field::Domain, name);
    } else if (kind == "ip network") {
        const std::string start = StringOf(root, "startAddress");
        const std::string end = StringOf(root, "endAddress");
        if (!start.empty())
            Put(out, Field::Network, end.empty() || end == start ? start : start + " - " + end);
        Put(out, Field::Name, StringOf(root, "name"));
    } else if (kind == "autnum") {
        const auto number = [&](const char* member) {
            const json* m = Member(root, member);
            return m != nullptr && m->is_number_unsigned()
                       ? "AS" + std::to_string(m->get<unsigned long long>())
                       : std::string();
        };
        const std::string start = number("startAutnum");
        const std::string end = number("endAutnum");
        Put(out, Field::AsNumber, end.empty() || end == start ? start : start + " - " + end);
        Put(out, Field::AsName, StringOf(root, "name"));
    } else {
        return out;
    }
    Put(out, Field::Country, StringOf(root, "country"));

    for (const json& s : ArrayMember(root, "status"))
        if (s.is_string() && !CleanValue(s.get<std::string>()).empty())
            out.Get(Field::Status).push_back(CleanValue(s.get<std::string>()));
    for (const json& server : ArrayMember(root, "nameservers")) {
        const std::string host = text::HostNameKey(StringOf(server, "ldhName"));
        if (!host.empty())
            out.Get(Field::NameServers).push_back(host);
    }
    for (const json& event : ArrayMember(root, "events")) {
        const std::string action = text::ToLower(StringOf(event, "eventAction"));
        const std::string date = NormaliseDate(StringOf(event, "eventDate"));
        if (action == "registration")
            Put(out, Field::Created, date);
        else if (action == "expiration")
            Put(out, Field::Expires, date);
    }

    bool registrantSeen = false;
    for (const json* entity : Entities(root)) {
        if (HasRole(*entity, "registrant") && !registrantSeen) {
            std::string holder = VcardValue(*entity, "org");
            if (holder.empty())
                holder = VcardValue(*entity, "fn");
            if (!holder.empty()) {
                registrantSeen = true;
                Put(out, Field::Registrant, Withheld(holder) ? "(redacted)" : holder);
            }
        }
        if (HasRole(*entity, "registrar") && out.Get(Field::Registrar).empty()) {
            std::string registrar = VcardValue(*entity, "fn");
            if (registrar.empty())
                registrar = VcardValue(*entity, "org");
            if (registrar.empty())
                for (const json& id : ArrayMember(*entity, "publicIds"))
                    if (text::StartsWithNoCase(StringOf(id, "type"), "IANA"))
                        registrar = "IANA ID " + StringOf(id, "identifier");
            Put(out, Field::Registrar, registrar);
        }
        if (HasRole(*entity, "abuse") && out.Get(Field::Abuse).empty())
            Put(out, Field::Abuse, VcardValue(*entity, "email"));
    }
    if (!registrantSeen && RedactsRegistrant(root))
        Put(out, Field::Registrant, "(redacted)");
    return out;
}

} // namespace summary
