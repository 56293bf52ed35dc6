// Writes the program's built-in server list, byte for byte, to the file named
// on the command line. The installer carries that copy so that its uninstaller
// can tell a whoislist.txt that still holds the built-in list from one the
// user edited. Built natively during the Windows build, so the bytes come from
// the same source as the program's own and are never written out by hand.
#include "servers/server_table.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FILE\n", argc > 0 ? argv[0] : "write_default_list");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const std::size_t length = std::strlen(DefaultServerList);
    bool ok = std::fwrite(DefaultServerList, 1, length, file) == length;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "%s: write failed\n", argv[1]);
        return 1;
    }
    return 0;
}
