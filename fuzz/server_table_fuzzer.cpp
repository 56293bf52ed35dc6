// FindWhoisServer over any server list. Input: the domain, a line feed, then
// the bytes of whoislist.txt. The list is written into a private folder that
// stands in for the program's directory.
#include "base/server_roles.h"
#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "servers/server_table.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

std::string g_directory; // ends in "/"

void RemoveDirectory() {
    std::remove((g_directory + "whoislist.txt").c_str());
    rmdir(g_directory.c_str());
}

std::string ReadBack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A memory file system where there is one: every input writes the list.
    char shm[] = "/dev/shm/ostrabel-fuzz-servers-XXXXXX";
    char tmp[] = "/tmp/ostrabel-fuzz-servers-XXXXXX";
    const char* made = mkdtemp(shm);
    if (made == nullptr)
        made = mkdtemp(tmp);
    if (made == nullptr)
        std::abort();
    g_directory = std::string(made) + "/";
    std::atexit(RemoveDirectory);
    SetProgramDirectoryForTesting(g_directory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::AsText(data, size);
    const std::string domain = fuzz::TakeHead(input, '\n');
    const std::string list(input);
    const std::string path = g_directory + "whoislist.txt";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(list.data(), static_cast<std::streamsize>(list.size()));
    }
    DiscardServerTable();

    const std::string host = FindWhoisServer(domain);

    if (domain.find('.') == std::string::npos)
        FUZZ_CHECK(host.empty());
    // A host comes back lower case, trimmed, from one line of the table.
    FUZZ_CHECK(fuzz::IsTrimmed(host));
    FUZZ_CHECK(host.find("\r\n") == std::string::npos);
    for (char c : host)
        FUZZ_CHECK(c < 'A' || c > 'Z');
    if (!host.empty() && host != roles::kOrgRegistryServer) {
        // From the file's text (up to its first NUL), or from the built-in
        // list when the file is empty.
        const std::string source =
            list.empty() ? std::string(DefaultServerList) : list.substr(0, list.find('\0'));
        FUZZ_CHECK(text::ToLower(source).find(host) != std::string::npos);
    }

    // The cached table and a reloaded one answer alike, and looking up never
    // writes to the user's list.
    FUZZ_CHECK(FindWhoisServer(domain) == host);
    DiscardServerTable();
    FUZZ_CHECK(FindWhoisServer(domain) == host);
    FUZZ_CHECK(ReadBack(path) == list);
    return 0;
}
