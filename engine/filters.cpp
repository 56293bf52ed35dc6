#include "engine/filters.h"

#include "base/server_roles.h"
#include "base/text.h"

#include <vector>

namespace {

enum class Step { None, Cut, KeepAfter };

struct NoticeRule {
    std::string host;
    Step firstStep;
    std::string firstMarker;
    Step secondStep;
    std::string secondMarker;
};

// The rules, tried in this order; the first row whose host equals the server
// name applies. Built once and never destroyed: a lookup worker still running
// while the program ends must not find the table gone.
const std::vector<NoticeRule>& NoticeRules() {
    using namespace roles;
    static const std::vector<NoticeRule>* rules = new std::vector<NoticeRule>{
        {kTucowsServer, Step::Cut, "The Data in the Tucows Registrar", Step::None, ""},
        {kRegisterComServer, Step::KeepAfter,
         std::string("domain name through ") + kAftermarketOfferUrl, Step::None, ""},
        {kNetSolServer, Step::KeepAfter, "you agree to abide by this policy.", Step::None, ""},
        {kEnomServer, Step::KeepAfter, "you agree to these terms.", Step::Cut,
         "The data in this whois database is"},
        {kDotsterServer, Step::KeepAfter, "10 per minute and one connection.", Step::None, ""},
        {kBulkRegisterServer, Step::KeepAfter, "you agree to abide by these terms.", Step::None,
         ""},
        {kDomainBankServer, Step::KeepAfter,
         "you agree to abide by each of the foregoing policies.", Step::None, ""},
        {kNetNamesServer, Step::KeepAfter, "you agree to abide by these terms.", Step::None, ""},
        {kEducauseServer, Step::KeepAfter, std::string(26, '-'), Step::None, ""},
        {kOrgRegistryServer, Step::KeepAfter, "you agree to abide by this policy.", Step::None, ""},
        {kArinServer, Step::Cut, "# ARIN Whois database,", Step::None, ""},
        {kApnicServer, Step::KeepAfter, kApnicDbNoticeUrl, Step::None, ""},
        {kLacnicServer, Step::KeepAfter, "only for lawful purposes.", Step::Cut,
         std::string("% ") + kLacnicServer + " accepts only"},
        {kRipeServer, Step::KeepAfter, kRipeDbNoticeUrl, Step::None, ""},
        {kBrRegistryServer, Step::KeepAfter, "%  only for lawful purposes.", Step::Cut,
         std::string("% ") + kBrRegistryServer + " accepts only"},
        {kKrRegistryServer, Step::KeepAfter, "# ENGLISH\n", Step::Cut, "# KOREAN\n"},
    };
    return *rules;
}

void RunStep(std::string& text, Step step, const std::string& marker) {
    if (step == Step::Cut)
        CutAtMarker(text, marker);
    else if (step == Step::KeepAfter)
        KeepAfterMarker(text, marker);
}

} // namespace

bool CutAtMarker(std::string& text, const std::string& marker) {
    std::size_t at = text.find(marker);
    if (at == std::string::npos)
        return false;
    text.resize(at);
    return true;
}

bool KeepAfterMarker(std::string& text, const std::string& marker) {
    std::size_t at = text.find(marker);
    if (at == std::string::npos)
        return false;
    text.erase(0, at + marker.size());
    return true;
}

void StripLegalNotice(std::string& text, std::string server) {
    server = text::ToLower(server);
    for (const NoticeRule& rule : NoticeRules()) {
        if (rule.host == server) {
            RunStep(text, rule.firstStep, rule.firstMarker);
            RunStep(text, rule.secondStep, rule.secondMarker);
            break;
        }
    }
    // Every line feed becomes CR LF, then white space goes from both ends;
    // the trim works in place on the new text, so large answers are copied
    // only once.
    std::string out = text::ReplaceAll(text, "\n", "\r\n");
    const std::size_t last = out.find_last_not_of(text::kWhiteSpace);
    if (last == std::string::npos) {
        out.clear();
    } else {
        out.resize(last + 1);
        out.erase(0, out.find_first_not_of(text::kWhiteSpace));
    }
    text = std::move(out);
}
