// ExtractFieldValue with any marker, end marker and text. Input: the marker,
// a NUL, the end marker, a NUL, then the text.
#include "engine/driver.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::AsText(data, size);
    const std::string marker = fuzz::TakeHead(input, '\0');
    const std::string endMarker = fuzz::TakeHead(input, '\0');
    const std::string text(input);

    const std::string value = ExtractFieldValue(text, marker, endMarker);

    FUZZ_CHECK(fuzz::IsTrimmed(value));
    const std::size_t markerAt = text.find(marker);
    if (markerAt == std::string::npos || endMarker.empty()) {
        // No marker; or an empty end marker, which ends the value at once.
        FUZZ_CHECK(value.empty());
        return 0;
    }
    if (value.empty())
        return 0;
    // The value lies between the end of the first marker and the first end
    // marker after it, so it cannot hold the end marker itself.
    const std::size_t start = markerAt + marker.size();
    const std::size_t end = text.find(endMarker, start);
    FUZZ_CHECK(end != std::string::npos);
    const std::size_t valueAt = text.find(value, start);
    FUZZ_CHECK(valueAt != std::string::npos && valueAt + value.size() <= end);
    FUZZ_CHECK(value.find(endMarker) == std::string::npos);
    return 0;
}
