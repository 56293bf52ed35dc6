// An RDAP answer made into text, with any body. Input: the HTTP status's
// last decimal digit picks 200/404/429/500 (first byte), then the body.
#include "engine/rdap/text.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const long kStatus[] = {200, 200, 200, 200, 200, 200, 200, 404, 429, 500};
    const long status = kStatus[data[0] % 10];
    const std::string_view body = fuzz::AsText(data + 1, size - 1);

    std::string text, error, related;
    rdap::TextOptions options;
    options.showNotices = (data[0] & 0x80) != 0;
    const rdap::Outcome outcome = rdap::ResponseToText("https://rdap.example/domain/x", status,
                                                       body, "30", options, text, error, &related);
    // Text for the result box: CR LF line ends only; failures are one line.
    FUZZ_CHECK(fuzz::HasNoBareLineFeed(text));
    FUZZ_CHECK(error.find('\n') == std::string::npos && error.find('\r') == std::string::npos);
    if (outcome == rdap::Outcome::Answer) {
        FUZZ_CHECK(status == 200);
        FUZZ_CHECK(text.starts_with("RDAP: https://rdap.example/domain/x\r\n"));
        FUZZ_CHECK(related.empty() || related.starts_with("https://"));
    } else if (outcome == rdap::Outcome::Failed) {
        FUZZ_CHECK(!error.empty() && text.empty());
    } else {
        FUZZ_CHECK(status != 200 && text.ends_with("\r\n"));
    }
    return 0;
}
