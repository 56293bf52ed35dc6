// The "WindowPos" parser on any text.
#include "base/window_pos.h"
#include "fuzz/fuzz_support.h"

#include <cstring>

namespace {

bool SameFields(const WindowPosFields& a, const WindowPosFields& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::AsText(data, size);

    // A marker value in every field shows whether a failed parse touched them.
    WindowPosFields untouched;
    std::memset(&untouched, 0x5a, sizeof untouched);
    WindowPosFields fields = untouched;
    const bool parsed = ParseWindowPos(text, fields);
    if (!parsed) {
        FUZZ_CHECK(SameFields(fields, untouched));
        return 0;
    }

    // What was read formats to ten numbers that read back the same.
    const std::string formatted = FormatWindowPos(fields);
    FUZZ_CHECK(fuzz::CountOf(formatted, ",") == 9);
    WindowPosFields again = untouched;
    FUZZ_CHECK(ParseWindowPos(formatted, again));
    FUZZ_CHECK(SameFields(again, fields));

    // Text after the tenth number is ignored.
    std::string longer(text);
    longer += ",junk";
    WindowPosFields withTail = untouched;
    FUZZ_CHECK(ParseWindowPos(longer, withTail));
    FUZZ_CHECK(SameFields(withTail, fields));
    return 0;
}
