// The address of the maker's software page, as the "&More Software..."
// command opens it.
#pragma once

#include <string>
#include <string_view>

// The program's version as the software page receives it.
inline constexpr char kSoftwareVersionText[] = "110";
// The page name of the "&More Software..." command.
inline constexpr char kMoreSoftwarePage[] = "more";

// base + "&page=" + page + "&version=" + "110" + the build date's digits
// (the build date text without its "."). The base address already has an
// open query string.
std::string ComposeMoreSoftwareUrl(std::string_view base, std::string_view page,
                                   std::string_view buildDate);

// ComposeMoreSoftwareUrl with the deciphered base address and
// GetBuildDateText: "...&page=more&version=110012703" for page "more".
std::string BuildMoreSoftwareUrl(std::string_view page);
