// IDNA through GNU libidn2: UTS #46 mapping (so capitals and full-width forms
// are folded), non-transitional (ß and ς stay themselves, as IDNA2008 has it).
#include "platform/idna.h"

#include <idn2.h>

#include <cstdlib>

namespace platform {

bool ToAsciiDomainName(const std::string& typed, std::string& ascii) {
    if (typed.find('\0') != std::string::npos)
        return false;
    char* out = nullptr;
    if (idn2_to_ascii_8z(typed.c_str(), &out, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) != IDN2_OK) {
        idn2_free(out);
        return false;
    }
    std::string converted(out);
    idn2_free(out);
    for (char& c : converted) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    ascii = std::move(converted);
    return true;
}

} // namespace platform
