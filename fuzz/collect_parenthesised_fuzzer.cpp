// CollectParenthesised on any text.
#include "engine/driver.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz::AsText(data, size));

    const std::vector<std::string> items = CollectParenthesised(text);

    // At most one item per ")" and one per "(".
    FUZZ_CHECK(items.size() <= fuzz::CountOf(text, ")"));
    FUZZ_CHECK(items.size() <= fuzz::CountOf(text, "("));
    std::size_t from = 0;
    for (const std::string& item : items) {
        // Trimmed, never empty, never holding the ")" that closed it.
        FUZZ_CHECK(!item.empty());
        FUZZ_CHECK(fuzz::IsTrimmed(item));
        FUZZ_CHECK(item.find(')') == std::string::npos);
        // Items come in the order of the text, each between a "(" and the
        // ")" that closes it, with only white space around. The earliest such
        // occurrence after the previous item is never later than the real
        // one, so searching greedily cannot miss it.
        std::size_t at = text.find(item, from), close = 0;
        for (; at != std::string::npos; at = text.find(item, at + 1)) {
            std::size_t open = at;
            while (open > 0 && fuzz::IsWhiteSpace(text[open - 1]))
                --open;
            close = at + item.size();
            while (close < text.size() && fuzz::IsWhiteSpace(text[close]))
                ++close;
            if (open > 0 && text[open - 1] == '(' && close < text.size() && text[close] == ')')
                break;
        }
        FUZZ_CHECK(at != std::string::npos);
        from = close + 1;
    }
    return 0;
}
