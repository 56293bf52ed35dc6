#include "servers/server_table.h"

#include "base/server_roles.h"
#include "base/text.h"
#include "platform/file.h"
#include "platform/path.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace {

// The shared state lives on the heap and is never destroyed: a lookup worker
// that is still running while the program exits may search the table after
// static objects have been torn down.
struct TableState {
    std::mutex tableMutex;
    std::string serverTable; // empty: not loaded
    // What whois.iana.org named, by top-level domain; guarded by tableMutex.
    std::map<std::string, std::string> ianaAnswers;
    std::mutex directoryMutex;
    std::string directoryOverride;
};

TableState& State() {
    static TableState* const state = new TableState;
    return *state;
}

// Fills the table; the caller holds its mutex.
void LoadServerTableLocked() {
    std::string text;
    const std::string& source =
        ReadWholeFile(GetServerListPath(), text) != 0 ? text : std::string(DefaultServerList);
    std::string table = text::Trim(source);
    table += "\r\n";
    State().serverTable = text::ToLower(table);
}

} // namespace

std::string GetProgramDirectory() {
    {
        std::lock_guard<std::mutex> lock(State().directoryMutex);
        if (!State().directoryOverride.empty())
            return State().directoryOverride;
    }
    const char separator = platform::PathSeparator();
    std::string path = platform::GetExecutablePath();
    std::size_t last = path.rfind(separator);
    if (last == std::string::npos)
        return std::string(1, separator);
    return path.substr(0, last + 1);
}

std::string GetServerListPath() {
    return GetProgramDirectory() + "whoislist.txt";
}

void SetProgramDirectoryForTesting(const std::string& dir) {
    std::lock_guard<std::mutex> lock(State().directoryMutex);
    State().directoryOverride = dir;
}

long ReadWholeFile(const std::string& path, std::string& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return 0;
    std::string bytes;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    long length = static_cast<long>(bytes.size());
    // The text ends at the first NUL byte, as a C string would.
    std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        bytes.resize(nul);
    out = std::move(bytes);
    return length;
}

void LoadServerTable() {
    std::lock_guard<std::mutex> lock(State().tableMutex);
    LoadServerTableLocked();
}

std::string FindWhoisServer(std::string domain) {
    std::string lowered = text::ToLower(domain);
    std::size_t lastDot = lowered.rfind('.');
    if (lastDot == std::string::npos)
        return std::string();
    std::string key = text::Trim(lowered.substr(lastDot + 1)) + ":";

    std::string host;
    {
        TableState& state = State();
        std::lock_guard<std::mutex> lock(state.tableMutex);
        if (state.serverTable.empty())
            LoadServerTableLocked();
        const std::string& table = state.serverTable;
        std::size_t at = table.find(key);
        if (at == std::string::npos)
            return std::string();
        std::size_t start = at + key.size();
        std::size_t end = table.find("\r\n", start);
        host = table.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    host = text::Trim(host);
    if (key == "org:" && host == roles::kComNetRegistryServer)
        host = roles::kOrgRegistryServer;
    return host;
}

void DiscardServerTable() {
    std::lock_guard<std::mutex> lock(State().tableMutex);
    State().serverTable.clear();
    State().ianaAnswers.clear();
}

bool FindRememberedIanaServer(const std::string& tld, std::string& host) {
    std::lock_guard<std::mutex> lock(State().tableMutex);
    const auto it = State().ianaAnswers.find(tld);
    if (it == State().ianaAnswers.end())
        return false;
    host = it->second;
    return true;
}

void RememberIanaServer(const std::string& tld, const std::string& host) {
    std::lock_guard<std::mutex> lock(State().tableMutex);
    auto& answers = State().ianaAnswers;
    if (answers.size() < kMaxRememberedIanaAnswers || answers.count(tld) != 0)
        answers[tld] = host;
}

bool WriteServerListFile(const std::string& path, const std::string& text, std::string& reason) {
    return platform::ReplaceFileContents(path, text, reason);
}
