#include "base/text.h"

namespace text {

std::string TrimLeft(std::string_view s) {
    std::size_t first = s.find_first_not_of(kWhiteSpace);
    return first == std::string_view::npos ? std::string() : std::string(s.substr(first));
}

std::string TrimRight(std::string_view s) {
    std::size_t last = s.find_last_not_of(kWhiteSpace);
    return last == std::string_view::npos ? std::string() : std::string(s.substr(0, last + 1));
}

std::string Trim(std::string_view s) {
    std::size_t first = s.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return std::string();
    std::size_t last = s.find_last_not_of(kWhiteSpace);
    return std::string(s.substr(first, last - first + 1));
}

static char LowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ToLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerChar(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerChar(a[i]) != LowerChar(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string HostNameKey(std::string_view name) {
    std::string key = ToLower(name);
    while (!key.empty() && key.back() == '.')
        key.pop_back();
    return key;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty())
            out += separator;
        out += item;
    }
    return out;
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty())
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = s.find(from, pos);
        if (hit == std::string_view::npos)
            break;
        out.append(s.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s.substr(pos));
    return out;
}

std::string RemoveAll(std::string_view s, char c) {
    std::string out;
    out.reserve(s.size());
    for (char ch : s)
        if (ch != c)
            out.push_back(ch);
    return out;
}

std::size_t ControlLengthAt(std::string_view s, std::size_t i) {
    const auto at = [&](std::size_t k) {
        return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u;
    };
    const unsigned c = at(i);
    if (c < 0x20 || c == 0x7f)
        return 1;
    if (c == 0xc2 && at(i + 1) >= 0x80 && at(i + 1) <= 0x9f)
        return 2; // C1
    if (c == 0xe2 && at(i + 1) == 0x80) {
        const unsigned last = at(i + 2);
        if (last == 0x8e || last == 0x8f || (last >= 0xa8 && last <= 0xae))
            return 3; // U+200E, U+200F, U+2028..U+202E
    }
    if (c == 0xe2 && at(i + 1) == 0x81 && at(i + 2) >= 0xa6 && at(i + 2) <= 0xa9)
        return 3; // U+2066..U+2069
    return 0;
}

std::string ReplaceControls(std::string_view s, char with) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const std::size_t length = ControlLengthAt(s, i);
        if (length == 0) {
            out += s[i];
        } else {
            out += with;
            i += length - 1;
        }
    }
    return out;
}

} // namespace text
