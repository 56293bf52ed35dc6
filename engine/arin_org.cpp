#include "engine/arin_org.h"

#include "engine/filters.h"
#include "base/server_roles.h"
#include "base/text.h"

#include <string_view>

namespace {
constexpr std::string_view kOrgIdMarker = "OrgID:";
}

bool FetchArinOrganisation(std::string answer, std::string& org, WhoisNetwork& net) {
    const std::size_t marker = answer.find(kOrgIdMarker);
    if (marker == std::string::npos)
        return false;
    const std::size_t valueStart = marker + kOrgIdMarker.size();
    const std::size_t lineEnd = answer.find('\n', valueStart);
    if (lineEnd == std::string::npos)
        return false;
    const std::string handle =
        text::Trim(std::string_view(answer).substr(valueStart, lineEnd - valueStart));

    if (!net.Exchange("! o + " + handle, roles::kArinServer, org, kWhoisPort))
        return false;

    const std::size_t address = org.find("Address:");
    if (address != std::string::npos)
        org.erase(0, address);
    org = text::ReplaceAll(org, ": ", ":    ");
    StripLegalNotice(org, roles::kArinServer);
    return true;
}

bool MergeArinOrganisation(std::string& result, const std::string& org) {
    std::size_t count = 0;
    for (std::size_t at = result.find(kOrgIdMarker); at != std::string::npos;
         at = result.find(kOrgIdMarker, at + kOrgIdMarker.size()))
        ++count;
    const std::size_t growth = org.size() + 1; // the record and its line feed
    if (count != 0 && (growth > kMaxMergedResultBytes / count ||
                       result.size() > kMaxMergedResultBytes - growth * count))
        return false;
    result = text::ReplaceAll(result, kOrgIdMarker, org + "\nOrgID:");
    return true;
}
