// The server table: which WHOIS server answers for a top-level domain.
//
// The table is kept as one normalised text (trimmed, CR LF appended, lower
// case) and every lookup searches that text for "label:" as a plain substring,
// so the search itself defines which lines count and which record wins.
// Loading, searching and discarding are safe against each other from several
// threads.
#pragma once

#include <cstddef>
#include <string>

// The built-in list of 14 records, used whenever whoislist.txt is missing,
// cannot be opened or is empty. Its exact bytes are user-visible (the
// Configure dialog shows them).
extern const char* const DefaultServerList;

// The directory of the running executable, ending in the path separator.
std::string GetProgramDirectory();

// Full path of the server list: GetProgramDirectory() + "whoislist.txt".
std::string GetServerListPath();

// Reads the whole file into out and returns its length in bytes; 0 when it
// cannot be opened (out untouched). out ends at the first NUL byte.
long ReadWholeFile(const std::string& path, std::string& out);

// Writes text as the new server list at path, byte for byte, through a
// temporary file beside it (see platform::ReplaceFileContents). False with
// reason, the system's error text, when the list could not be written.
bool WriteServerListFile(const std::string& path, const std::string& text, std::string& reason);

// Fills the table from the server list file or DefaultServerList.
void LoadServerTable();

// The host for the domain's last label, lower case and trimmed; empty when
// the domain has no "." or no record matches. Loads the table on first use.
std::string FindWhoisServer(std::string domain);

// Forgets the table (the next FindWhoisServer reads the file again) and
// every remembered IANA answer.
void DiscardServerTable();

// The servers whois.iana.org named for top-level domains in this process,
// kept in memory only (never written to the server list). The key is the
// lower-cased last label; an empty host records that IANA named none.
// FindRememberedIanaServer is false when the domain was not asked about.
// At most kMaxRememberedIanaAnswers are kept; later ones are not.
inline constexpr std::size_t kMaxRememberedIanaAnswers = 4096;
bool FindRememberedIanaServer(const std::string& tld, std::string& host);
void RememberIanaServer(const std::string& tld, const std::string& host);

// Test seam: makes GetProgramDirectory return dir (empty text: the real one).
void SetProgramDirectoryForTesting(const std::string& dir);
