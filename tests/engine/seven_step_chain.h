// An address lookup that makes all seven exchanges of the address path:
// ARIN, RIPE (by ARIN's network name), the rwhois server twice (the address,
// then the first handle of its list), the Korean registry, the Brazilian
// registry and ARIN's organisation record. Each answer holds the marker that
// leads to the next step. Shared by the driver tests and the benchmarks.
#pragma once

#include "base/server_roles.h"

#include <string>
#include <vector>

namespace enginetest {

struct ChainStep {
    std::string host;
    std::string query;
    std::string answer;
};

inline const char kChainQuery[] = "192.0.2.1";

inline std::vector<ChainStep> SevenStepChain() {
    using namespace roles;
    return {
        {kArinServer, "192.0.2.1",
         "NetRange:   192.0.2.0 - 192.0.2.255\nNetName:    RIPE-CBLK2\nNetHandle:  "
         "NET-192-0-2-0-1\n"},
        {kRipeServer, "192.0.2.1",
         "% Copyright: see http://www.ripe.net/ripencc/pub-services/db/copyright.html\n"
         "inetnum:      192.0.2.0 - 192.0.2.255\n"
         "remarks:      data available at rwhois.verio.net:4321\n"},
        {kVerioRwhoisServer, "192.0.2.1",
         "Example Net (NETBLK-EXAMPLE-1) 192.0.2.0 - 192.0.2.127\n"
         "Other Net (NETBLK-OTHER) 192.0.2.128 - 192.0.2.255\n"},
        {kVerioRwhoisServer, "NETBLK-EXAMPLE-1",
         "network:ID:NETBLK-EXAMPLE-1\n"
         "remarks: for Korean space see http://whois.kisa.or.kr/english/index.html\n"},
        {kKrRegistryServer, "192.0.2.1",
         "# ENGLISH\nIPv4 Address : 192.0.2.0-192.0.2.255\n"
         "remarks: registered at whois.registro.br\n# KOREAN\n"},
        {kBrRegistryServer, "192.0.2.1",
         "%  only for lawful purposes.\n"
         "inetnum:     192.0.2.0/24\n"
         "owner:       Example\n"
         "OrgID: EXAMPLE-BR\n"
         "% whois.registro.br accepts only direct match queries.\n"},
        {kArinServer, "! o + EXAMPLE-BR", "OrgName: Example\nAddress: Rua 1\nCity: Sao Paulo\n"},
    };
}

// What the lookup shows: the Brazilian answer between its two markers, the
// organisation record (filtered once on its own, so its line ends come out
// as CR CR LF after the second pass) before the OrgID line, and the heading.
inline const char kChainResult[] = "192.0.2.1\r\n\r\n"
                                   "inetnum:     192.0.2.0/24\r\n"
                                   "owner:       Example\r\n"
                                   "Address:    Rua 1\r\r\n"
                                   "City:    Sao Paulo\r\n"
                                   "OrgID: EXAMPLE-BR";

} // namespace enginetest
