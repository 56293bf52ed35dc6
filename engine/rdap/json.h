// JSON read from the network or from disk, parsed with a bound on nesting so
// that a hostile body (arrays nested a million deep) costs one linear scan
// and never a deep recursion anywhere later.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace rdap {

inline constexpr int kMaxJsonDepth = 64;

// Parses text into out. Fails with a short reason ("not JSON", "JSON nested
// deeper than 64 levels") and leaves out null; never throws.
bool ParseJsonLimited(std::string_view text, nlohmann::json& out, std::string& error,
                      int maxDepth = kMaxJsonDepth);

} // namespace rdap
