// StripLegalNotice with any server name and any answer. Input: the server's
// host name, a line feed, then the answer (no line feed: no server name).
#include "engine/filters.h"
#include "base/text.h"
#include "fuzz/fuzz_support.h"

#include <cctype>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::AsText(data, size);
    const std::string server = fuzz::TakeHead(input, '\n');
    const std::string answer(input);

    std::string out = answer;
    StripLegalNotice(out, server);

    // Ready for the result box: CR LF line ends only, nothing to trim.
    FUZZ_CHECK(fuzz::HasNoBareLineFeed(out));
    FUZZ_CHECK(fuzz::IsTrimmed(out));
    // The notice steps only ever keep one piece of the answer, and the
    // line-end change maps every byte on its own, so the result is a piece of
    // the answer with its line feeds made CR LF.
    const std::string crlf = text::ReplaceAll(answer, "\n", "\r\n");
    FUZZ_CHECK(out.size() <= crlf.size());
    FUZZ_CHECK(crlf.find(out) != std::string::npos);

    // The server name counts without regard to case.
    std::string upper = server;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    std::string again = answer;
    StripLegalNotice(again, upper);
    FUZZ_CHECK(again == out);
    return 0;
}
