// The owning organisation's record from ARIN: an ARIN answer names the
// organisation by its handle on an "OrgID:" line; the record is fetched and
// put into the answer just before that line.
#pragma once

#include "engine/whois_network.h"

#include <cstddef>
#include <string>

// Fetches the record of the organisation named by the first "OrgID:" line of
// answer (the handle runs to the line's end and is trimmed; an empty handle
// is sent as it is) with the query "! o + HANDLE" to the ARIN server. The
// record is kept from its first "Address:" on (whole when there is none),
// every ": " is widened to ":    ", and the ARIN notice filter is applied.
// True when the record was fetched; org then holds it. False, with nothing
// sent, when there is no "OrgID:" or no line feed after it, and false when
// the exchange fails.
bool FetchArinOrganisation(std::string answer, std::string& org, WhoisNetwork& net);

// The most a merged result may grow to. An answer can hold "OrgID:" a great
// many times and the record is copied before each one; without a bound a
// hostile answer could ask for far more memory than there is.
inline constexpr std::size_t kMaxMergedResultBytes = 64u * 1024u * 1024u;

// Puts the organisation record before every "OrgID:" of result: each
// occurrence becomes the record, a line feed and "OrgID:" again. Left to
// right; the inserted text is not searched again. Linear in the size.
// False, with result unchanged, when the merged text would be longer than
// kMaxMergedResultBytes.
bool MergeArinOrganisation(std::string& result, const std::string& org);
