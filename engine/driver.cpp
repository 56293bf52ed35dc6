#include "engine/driver.h"

#include "engine/arin_org.h"
#include "engine/busy.h"
#include "engine/filters.h"
#include "base/server_roles.h"
#include "base/text.h"
#include "servers/server_table.h"

#include <string_view>

namespace {

// The domain path: the registry of the top-level domain, and for the
// registries that refer to a registrar, the registrar named on the
// "Whois Server:" line.
void RunDomainLookup(const std::string& input, std::string& result, WhoisNetwork& net) {
    std::string server = FindWhoisServer(input);
    if (server.empty()) {
        result = kUnknownDomainServerText;
    } else {
        std::string domainQuery = input;
        bool lookForReferral = false;
        if (text::EqualsNoCase(server, roles::kComNetRegistryServer) ||
            text::EqualsNoCase(server, roles::kInternicServer)) {
            domainQuery = "domain " + input;
            lookForReferral = true;
        } else if (text::EqualsNoCase(server, roles::kOrgRegistryServer)) {
            lookForReferral = true;
        }

        if (net.Exchange(domainQuery, server, result, kWhoisPort) && lookForReferral) {
            // The referral replaces the server even when the line is missing
            // or empty; the notice filter then runs with no server at all.
            server = ExtractFieldValue(result, "Whois Server:", "\n");
            if (!server.empty()) {
                const std::string referralQuery = text::ReplaceAll(domainQuery, "domain ", "");
                std::string answer;
                if (net.Exchange(referralQuery, server, answer, kWhoisPort))
                    result = std::move(answer);
            }
        }
    }
    StripLegalNotice(result, server);
}

bool Contains(const std::string& text, std::string_view marker) {
    return text.find(marker) != std::string::npos;
}

// One follow-up exchange: the answer replaces the result only when the
// exchange succeeds.
bool FollowUp(WhoisNetwork& net, const std::string& query, const std::string& server,
              std::string& result) {
    std::string answer;
    if (!net.Exchange(query, server, answer, kWhoisPort))
        return false;
    result = std::move(answer);
    return true;
}

// The address path: ARIN, then at most one registry or handle follow-up,
// then the rwhois, Korean and Brazilian follow-ups, then the organisation
// record. The chain has a fixed shape; no step runs twice.
void RunAddressLookup(const std::string& input, const std::string& addressQuery,
                      std::string& result, WhoisNetwork& net) {
    std::string server = roles::kArinServer;
    if (!net.Exchange(addressQuery, server, result, kWhoisPort))
        return; // what the exchange left, unfiltered and without heading

    const std::string netName = ExtractFieldValue(result, "NetName:    ", "\n");
    if (!netName.empty() && Contains(netName, "RIPE")) {
        server = roles::kRipeServer;
        FollowUp(net, addressQuery, server, result);
    } else if (!netName.empty() && Contains(netName, "APNIC")) {
        server = roles::kApnicServer;
        FollowUp(net, addressQuery, server, result);
    } else if (!netName.empty() && Contains(netName, "AUNIC")) {
        server = roles::kAunicServer;
        FollowUp(net, addressQuery, server, result);
    } else if (!netName.empty() && Contains(netName, "LACNIC")) {
        server = roles::kLacnicServer;
        FollowUp(net, addressQuery, server, result);
    } else if (result.rfind("No match for", 0) != 0) {
        // A list of networks: ask again for the last handle listed.
        const std::vector<std::string> handles = CollectParenthesised(result);
        if (!handles.empty())
            FollowUp(net, handles.back(), server, result);
    }

    if (Contains(result, std::string("available at ") + roles::kVerioRwhoisServer)) {
        server = roles::kVerioRwhoisServer;
        if (FollowUp(net, addressQuery, server, result)) {
            const std::vector<std::string> handles = CollectParenthesised(result);
            if (!handles.empty())
                FollowUp(net, handles.front(), server, result);
        }
    }

    if (Contains(result,
                 std::string("http://") + roles::kKrRegistryServer + "/english/index.html")) {
        server = roles::kKrRegistryServer;
        FollowUp(net, addressQuery, server, result);
    }

    if (Contains(result, std::string("at ") + roles::kBrRegistryServer)) {
        server = roles::kBrRegistryServer;
        FollowUp(net, addressQuery, server, result);
    }

    std::string org;
    if (FetchArinOrganisation(result, org, net))
        MergeArinOrganisation(result, org);

    StripLegalNotice(result, server);

    // A name that was looked up by its address shows both in its heading.
    const std::string heading = text::EqualsNoCase(addressQuery, input)
                                    ? input + "\r\n\r\n"
                                    : input + ":" + addressQuery + "\r\n\r\n";
    result.insert(0, heading);
}

} // namespace

bool IsDottedAddress(const std::string& text) {
    if (text.size() < 5 || text.size() > 15)
        return false;
    int dots = 0;
    for (char c : text) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots == 3;
}

std::string ExtractFieldValue(const std::string& text, const std::string& marker,
                              const std::string& endMarker) {
    const std::size_t at = text.find(marker);
    if (at == std::string::npos)
        return std::string();
    const std::size_t start = at + marker.size();
    const std::size_t end = text.find(endMarker, start);
    if (end == std::string::npos)
        return std::string();
    return text::Trim(std::string_view(text).substr(start, end - start));
}

std::vector<std::string> CollectParenthesised(const std::string& text) {
    std::vector<std::string> items;
    const std::string_view all(text);
    std::size_t segmentStart = 0;
    for (std::size_t close = all.find(')'); close != std::string_view::npos;
         close = all.find(')', segmentStart)) {
        const std::string_view segment = all.substr(segmentStart, close - segmentStart);
        const std::size_t open = segment.find('(');
        if (open != std::string_view::npos) {
            std::string item = text::Trim(segment.substr(open + 1));
            if (!item.empty())
                items.push_back(std::move(item));
        }
        segmentStart = close + 1;
    }
    return items;
}

void RunWhoisLookup(std::string input, std::string& result, int convertToIp, WhoisNetwork& net) {
    BusyCursorScope busy;
    result.clear();

    std::string addressQuery = input;
    const std::size_t firstDot = input.find('.');
    if (IsDottedAddress(input) || firstDot == std::string::npos || firstDot == 0) {
        RunAddressLookup(input, addressQuery, result, net);
        return;
    }
    if (convertToIp != 0) {
        std::string address;
        if (!net.Resolve(input, address)) {
            result = kUnableToResolveText; // no filter, no heading
            return;
        }
        addressQuery = address;
        RunAddressLookup(input, addressQuery, result, net);
        return;
    }
    RunDomainLookup(input, result, net);
}

void RunWhoisLookup(std::string input, std::string& result, int convertToIp) {
    RunWhoisLookup(std::move(input), result, convertToIp, RealWhoisNetwork());
}
