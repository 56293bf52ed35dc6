// Helpers shared by the fuzz targets: a property check that stops the run
// with a message, and the splits that turn one fuzz input into the several
// arguments a function takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// Stops the run when a property does not hold; libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Splits text at the first separator: the part before it goes to head, the
// rest (without the separator) stays in text. Without a separator head is
// empty and text stays whole.
inline std::string TakeHead(std::string_view& text, char separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos)
        return std::string();
    std::string head(text.substr(0, at));
    text.remove_prefix(at + 1);
    return head;
}

inline bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// No white space at either end (the empty text counts as trimmed).
inline bool IsTrimmed(std::string_view s) {
    return s.empty() || (!IsWhiteSpace(s.front()) && !IsWhiteSpace(s.back()));
}

// Every line feed stands right after a carriage return.
inline bool HasNoBareLineFeed(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r'))
            return false;
    return true;
}

inline std::size_t CountOf(std::string_view s, std::string_view what) {
    std::size_t count = 0;
    for (std::size_t at = s.find(what); at != std::string_view::npos;
         at = s.find(what, at + what.size()))
        ++count;
    return count;
}

} // namespace fuzz
