// Saves whoislist.txt into a given program folder with the Configure dialog's
// own save (WriteServerListFile: a temporary file beside the list, then a
// replace). The installer tests run it under Wine as the ordinary user to show
// that the installed program's folder takes the save without elevation.
//
//   save_server_list FOLDER MODE
//     default      the built-in list, unchanged (OK pressed without an edit)
//     edited       the built-in list with one record added
//     same-length  the built-in list with one letter changed, same size
//     empty        no text at all
#include "servers/configure_dlg.h"
#include "servers/server_table.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: save_server_list FOLDER default|edited|same-length|empty\n");
        return 2;
    }
    std::string text;
    const std::string mode = argv[2];
    if (mode == "default") {
        text = DefaultServerList;
    } else if (mode == "edited") {
        text = std::string(DefaultServerList) + "io:   whois.nic.io\r\n";
    } else if (mode == "same-length") {
        text = DefaultServerList;
        text[0] = 'C'; // "Com:" instead of "com:"
    } else if (mode != "empty") {
        std::fprintf(stderr, "save_server_list: unknown mode %s\n", argv[2]);
        return 2;
    }

    std::string folder = argv[1];
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    SetProgramDirectoryForTesting(folder);
    const std::string path = GetServerListPath();

    std::string reason;
    if (!WriteServerListFile(path, text, reason)) {
        std::fprintf(stderr, "save_server_list: %s\n",
                     ServerListSaveFailureText(path, reason).c_str());
        return 1;
    }
    std::string check;
    if (ReadWholeFile(path, check) != static_cast<long>(text.size()) ||
        (!text.empty() && check != text)) {
        std::fprintf(stderr, "save_server_list: %s does not read back\n", path.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
