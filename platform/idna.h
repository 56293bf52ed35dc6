// Internationalised domain names: the ASCII form ("xn--" labels) of a name
// typed in the user's characters, through the platform's own IDNA code.
#pragma once

#include <string>

namespace platform {

// Converts typed (UTF-8 natively, the system code page on Windows) to the
// name's ASCII form, all letters in lower case. False, with ascii unchanged,
// when the name is not a valid internationalised name or the platform cannot
// convert it.
bool ToAsciiDomainName(const std::string& typed, std::string& ascii);

#ifdef _WIN32
// The same from UTF-16: the form every Windows caller ends up in, and the only
// way to hand over characters the system code page lacks.
bool ToAsciiDomainNameWide(const std::wstring& typed, std::string& ascii);
#endif

} // namespace platform
