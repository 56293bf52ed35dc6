#include "engine/rdap/json.h"

#include "base/text.h"

namespace rdap {

namespace {

struct Shape {
    int deepest = 0;        // nesting of arrays and objects
    std::size_t values = 0; // objects and arrays, and the separators in them
};

// Counts outside strings; stops early once a limit is passed.
Shape ScanShape(std::string_view text, int depthLimit, std::size_t valueLimit) {
    Shape shape;
    int depth = 0;
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
            if (++shape.values > valueLimit)
                return shape;
            if (++depth > shape.deepest) {
                shape.deepest = depth;
                if (shape.deepest > depthLimit)
                    return shape;
            }
        } else if (c == ',') {
            if (++shape.values > valueLimit)
                return shape;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return shape;
}

} // namespace

bool ParseJsonLimited(std::string_view text, nlohmann::json& out, std::string& error, int maxDepth,
                      std::size_t maxValues) {
    out = nullptr;
    const Shape shape = ScanShape(text, maxDepth, maxValues);
    if (shape.deepest > maxDepth) {
        error = "JSON nested deeper than " + std::to_string(maxDepth) + " levels";
        return false;
    }
    if (shape.values > maxValues) {
        error = "JSON with more than " + std::to_string(maxValues) + " values";
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

const nlohmann::json* Member(const nlohmann::json& object, const char* key) {
    if (!object.is_object())
        return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const nlohmann::json& ArrayMember(const nlohmann::json& object, const char* key) {
    static const nlohmann::json* const kEmpty = new nlohmann::json(nlohmann::json::array());
    const nlohmann::json* m = Member(object, key);
    return m != nullptr && m->is_array() ? *m : *kEmpty;
}

bool HasRole(const nlohmann::json& entity, std::string_view role) {
    for (const nlohmann::json& r : ArrayMember(entity, "roles"))
        if (r.is_string() && text::EqualsNoCase(r.get_ref<const std::string&>(), role))
            return true;
    return false;
}

} // namespace rdap
