// The ARIN organisation follow-up and its merge: FetchArinOrganisation on
// any answer, with any organisation answer from the network, then
// MergeArinOrganisation. Input: the lookup's answer, a NUL, then what ARIN
// sends for the organisation query.
#include "engine/arin_org.h"
#include "base/server_roles.h"
#include "fuzz/fuzz_support.h"

#include <vector>

namespace {

// Answers every exchange with the same text and records the requests.
class OneAnswerNetwork : public WhoisNetwork {
public:
    explicit OneAnswerNetwork(std::string answer) : m_answer(std::move(answer)) {}
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override {
        requests.push_back({query, host, port});
        result = m_answer;
        return true;
    }
    bool Resolve(const std::string&, std::string&) override { return false; }

    struct Request {
        std::string query, host;
        int port;
    };
    std::vector<Request> requests;

private:
    std::string m_answer;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::AsText(data, size);
    const std::string answer = fuzz::TakeHead(input, '\0');
    const std::string orgAnswer(input);

    OneAnswerNetwork net(orgAnswer);
    std::string org;
    const bool fetched = FetchArinOrganisation(answer, org, net);

    const std::size_t marker = answer.find("OrgID:");
    const bool askable =
        marker != std::string::npos && answer.find('\n', marker) != std::string::npos;
    FUZZ_CHECK(fetched == askable);
    if (!fetched) {
        FUZZ_CHECK(net.requests.empty());
        return 0;
    }
    // One request, to ARIN on the WHOIS port, for a handle taken from a single
    // line and trimmed.
    FUZZ_CHECK(net.requests.size() == 1);
    const auto& request = net.requests.front();
    FUZZ_CHECK(request.host == roles::kArinServer && request.port == kWhoisPort);
    FUZZ_CHECK(request.query.rfind("! o + ", 0) == 0);
    const std::string handle = request.query.substr(6);
    FUZZ_CHECK(fuzz::IsTrimmed(handle));
    FUZZ_CHECK(handle.find('\n') == std::string::npos);

    // The record: filtered for the result box, every ": " widened, and
    // starting at its address when it has one.
    FUZZ_CHECK(fuzz::HasNoBareLineFeed(org));
    FUZZ_CHECK(fuzz::IsTrimmed(org));
    for (std::size_t at = org.find(": "); at != std::string::npos; at = org.find(": ", at + 1))
        FUZZ_CHECK(org.compare(at, 5, ":    ") == 0);
    if (orgAnswer.find("Address:") != std::string::npos)
        FUZZ_CHECK(org.rfind("Address:", 0) == 0);

    // The merge puts the record and a line feed before every "OrgID:" and
    // never grows the result past its bound; a refused merge changes nothing.
    std::string result = answer;
    const std::size_t count = fuzz::CountOf(answer, "OrgID:");
    if (MergeArinOrganisation(result, org)) {
        FUZZ_CHECK(result.size() == answer.size() + count * (org.size() + 1));
        FUZZ_CHECK(result.size() <= kMaxMergedResultBytes || count == 0);
        FUZZ_CHECK(fuzz::CountOf(result, "OrgID:") >= count);
        FUZZ_CHECK(result.find(org + "\nOrgID:") != std::string::npos);
    } else {
        FUZZ_CHECK(result == answer);
        FUZZ_CHECK(answer.size() + count * (org.size() + 1) > kMaxMergedResultBytes);
    }
    return 0;
}
