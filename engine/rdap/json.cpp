#include "engine/rdap/json.h"

namespace rdap {

namespace {

// The deepest nesting of arrays and objects, counting brackets outside
// strings; stops early once limit is passed.
int NestingDepth(std::string_view text, int limit) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > deepest) {
                deepest = depth;
                if (deepest > limit)
                    return deepest;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

} // namespace

bool ParseJsonLimited(std::string_view text, nlohmann::json& out, std::string& error,
                      int maxDepth) {
    out = nullptr;
    if (NestingDepth(text, maxDepth) > maxDepth) {
        error = "JSON nested deeper than " + std::to_string(maxDepth) + " levels";
        return false;
    }
    nlohmann::json parsed = nlohmann::json::parse(text.data(), text.data() + text.size(), nullptr,
                                                  /*allow_exceptions=*/false);
    if (parsed.is_discarded()) {
        error = "not JSON";
        return false;
    }
    out = std::move(parsed);
    return true;
}

} // namespace rdap
