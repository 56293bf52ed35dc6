// ostrabel-encipher: prepares a branding text for storage in the program.
//
//   ostrabel-encipher TEXT LENGTH
//
// fills TEXT up with "~" to LENGTH bytes (a multiple of 8, at least the
// text's length), enciphers it with the branding key and prints the bytes as
// a C++ brace initialiser, eight bytes a line, for a stored array of LENGTH
// bytes. The text may not contain "~" (the decoder removes it).
//
// The stored texts of the program live in ui/branding_data.cpp, which
// tools/encipher/make_branding_data.sh writes whole. To change a text:
//   1. edit its plain value at the top of make_branding_data.sh (product name
//      at most 16 bytes, copyright 72, partner name 56, default co-brand
//      name 24, heading 48, software page base address 64, split by the script
//      into pieces of 24, 24 and 16; the address must end so that "&page="
//      can follow it directly);
//   2. build the native tree (cmake --build build --target ostrabel-encipher);
//   3. run tools/encipher/make_branding_data.sh build/bin/ostrabel-encipher
//      from the source root; it rewrites ui/branding_data.cpp;
//   4. change the expected plain text in tests/ui_branding/branding_test.cpp
//      to match, rebuild and run the tests of both builds.
#include "ui/branding.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: ostrabel-encipher TEXT LENGTH\n"
                         "  LENGTH: a multiple of 8, not less than the length of TEXT;\n"
                         "  TEXT may not contain \"~\".\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return Usage();
    std::string plain = argv[1];
    char* end = nullptr;
    unsigned long length = std::strtoul(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || length > kDecodeLimit)
        return Usage();

    std::vector<unsigned char> stored;
    if (!EncodeString(plain, length, stored)) {
        std::fprintf(stderr, "ostrabel-encipher: \"%s\" cannot be stored in %lu bytes\n",
                     plain.c_str(), length);
        return Usage();
    }

    // Check the round trip before anyone builds it into the program.
    std::string back;
    DecodeString(stored.data(), stored.size(), back);
    if (back != plain) {
        std::fprintf(stderr, "ostrabel-encipher: the text does not decode back unchanged\n");
        return 1;
    }

    std::printf("{\n");
    for (std::size_t i = 0; i < stored.size(); ++i) {
        std::printf("%s0x%02X,%s", i % 8 == 0 ? "    " : " ", stored[i], i % 8 == 7 ? "\n" : "");
    }
    std::printf("}\n");
    return 0;
}
