// DecodeString on any bytes, and the encode/decode round trip of any text
// that can be stored.
#include "fuzz/fuzz_support.h"
#include "ui/branding.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string out = "previous";
    DecodeString(data, size, out);

    // At most the limit, whole blocks only; no filler and no NUL left.
    const std::size_t blocks = (size < kDecodeLimit ? size : kDecodeLimit) / 8 * 8;
    FUZZ_CHECK(out.size() <= blocks);
    FUZZ_CHECK(out.find('~') == std::string::npos);
    FUZZ_CHECK(out.find('\0') == std::string::npos);
    std::string second;
    DecodeString(data, size, second);
    FUZZ_CHECK(second == out);

    // Bytes beyond the limit are never looked at.
    if (size > kDecodeLimit) {
        std::string limited;
        DecodeString(data, kDecodeLimit, limited);
        FUZZ_CHECK(limited == out);
    }

    // The same bytes taken as a plain text: one that holds neither "~" nor NUL
    // and fits the limit comes back whole; any other is refused.
    const std::string_view plain = fuzz::AsText(data, size);
    const std::size_t stored = plain.empty() ? 8 : (plain.size() + 7) / 8 * 8;
    std::vector<unsigned char> enciphered;
    const bool storable =
        plain.find('~') == std::string_view::npos && plain.find('\0') == std::string_view::npos;
    FUZZ_CHECK(EncodeString(plain, stored, enciphered) == storable);
    if (storable && stored <= kDecodeLimit) {
        FUZZ_CHECK(enciphered.size() == stored);
        std::string back;
        DecodeString(enciphered.data(), enciphered.size(), back);
        FUZZ_CHECK(back == plain);
    }
    return 0;
}
