// The lookup driver: turns one query into the text the main window shows.
// It picks the first server (the server list's host for a domain, ARIN for
// addresses and everything else), follows the referrals the answers carry,
// adds the owning organisation's record from ARIN, strips legal notices and
// puts a heading in front of address answers.
#pragma once

#include "engine/whois_network.h"

#include <string>
#include <vector>

// The two fixed texts of a lookup that found nothing to ask.
inline constexpr char kUnableToResolveText[] = "Unable to resolve host";
inline constexpr char kUnknownDomainServerText[] =
    "I do not know the whois server for this domain extension";

// True for 5 to 15 characters, all digits or dots, with exactly 3 dots. The
// numbers themselves are not checked ("1...", "999.1.1.1" pass).
bool IsDottedAddress(const std::string& text);

// The text between the first marker and the first end marker after it,
// trimmed of white space; empty when either is missing. Case-sensitive.
std::string ExtractFieldValue(const std::string& text, const std::string& marker,
                              const std::string& endMarker);

// The non-empty trimmed texts inside parentheses, in order. The text is cut
// after every ")"; each piece that holds a "(" gives the text between its
// first "(" and its ")". So "(a (b) c)" gives the single item "a (b".
std::vector<std::string> CollectParenthesised(const std::string& text);

// Runs one lookup of input and puts the text to show into result.
// convertToIp (any non-zero value counts as set) makes a name with a dot be
// looked up by its IPv4 address. Raises the wait-cursor count for its whole
// run (engine/busy.h). The network is the program's own unless given.
void RunWhoisLookup(std::string input, std::string& result, int convertToIp, WhoisNetwork& net);
void RunWhoisLookup(std::string input, std::string& result, int convertToIp);
