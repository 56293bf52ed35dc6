// JSON read from the network or from disk, parsed with a bound on nesting so
// that a hostile body (arrays nested a million deep) costs one linear scan
// and never a deep recursion anywhere later.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rdap {

inline constexpr int kMaxJsonDepth = 64;

// Parses text into out. Fails with a short reason ("not JSON", "JSON nested
// deeper than 64 levels", "JSON with more than N values") and leaves out
// null; never throws. The limits are checked by one scan before anything is
// built, so a refused text costs no memory. Values are counted as the
// objects and arrays plus the separators between their members.
bool ParseJsonLimited(std::string_view text, nlohmann::json& out, std::string& error,
                      int maxDepth = kMaxJsonDepth, std::size_t maxValues = SIZE_MAX);

// The member key of an object, or nullptr when absent or not an object.
const nlohmann::json* Member(const nlohmann::json& object, const char* key);

// The elements of an array member; an empty list when absent or not an array.
// The empty list is never destroyed: a lookup may still read it while the
// program ends.
const nlohmann::json& ArrayMember(const nlohmann::json& object, const char* key);

// Whether an RDAP entity's "roles" name role (in any case).
bool HasRole(const nlohmann::json& entity, std::string_view role);

} // namespace rdap
