// Host names of the WHOIS servers the program knows by role, and the web
// addresses that some of their legal notices name. Every marker built from a
// host (the rwhois "available at ", the Korean registry's page, the Brazilian
// "at ") is derived from these values. All lower case.
#pragma once

namespace roles {

inline constexpr const char kArinServer[] = "whois.arin.net";
inline constexpr const char kRipeServer[] = "whois.ripe.net";
inline constexpr const char kApnicServer[] = "whois.apnic.net";
inline constexpr const char kLacnicServer[] = "whois.lacnic.net";
inline constexpr const char kAunicServer[] = "whois.auda.org.au";
inline constexpr const char kBrRegistryServer[] = "whois.registro.br";
inline constexpr const char kKrRegistryServer[] = "whois.kisa.or.kr";
inline constexpr const char kVerioRwhoisServer[] = "rwhois.verio.net";
inline constexpr const char kInternicServer[] = "whois.internic.net";
inline constexpr const char kComNetRegistryServer[] = "whois.verisign-grs.com";
inline constexpr const char kOrgRegistryServer[] = "whois.pir.org";
inline constexpr const char kBizRegistryServer[] = "whois.nic.biz";
inline constexpr const char kInfoRegistryServer[] = "whois.nic.info";
inline constexpr const char kUsRegistryServer[] = "whois.nic.us";
inline constexpr const char kUkRegistryServer[] = "whois.nic.uk";
inline constexpr const char kCaRegistryServer[] = "whois.cira.ca";
inline constexpr const char kDeRegistryServer[] = "whois.denic.de";
inline constexpr const char kWsRegistryServer[] = "whois.website.ws";
inline constexpr const char kInRegistryServer[] = "whois.registry.in";
inline constexpr const char kNuRegistryServer[] = "whois.iis.nu";
inline constexpr const char kTucowsServer[] = "whois.tucows.com";
inline constexpr const char kRegisterComServer[] = "whois.register.com";
inline constexpr const char kNetSolServer[] = "whois.networksolutions.com";
inline constexpr const char kEnomServer[] = "whois.enom.com";
inline constexpr const char kDotsterServer[] = "whois.dotster.com";
inline constexpr const char kBulkRegisterServer[] = "whois.bulkregister.com";
inline constexpr const char kDomainBankServer[] = "whois.domainbank.net";
inline constexpr const char kNetNamesServer[] = "whois.netnames.net";
inline constexpr const char kEducauseServer[] = "whois.educause.edu";
// Names the WHOIS server of any top-level domain the server list lacks.
inline constexpr const char kIanaServer[] = "whois.iana.org";

inline constexpr const char kAftermarketOfferUrl[] = "http://www.register.com/offer";
inline constexpr const char kApnicDbNoticeUrl[] = "http://www.apnic.net/db/dbcopyright.html";
inline constexpr const char kRipeDbNoticeUrl[] =
    "http://www.ripe.net/ripencc/pub-services/db/copyright.html";

} // namespace roles
