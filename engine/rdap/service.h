// RDAP as a step of the lookup chain: the process's bootstrap registries
// (the built-in snapshot, or the user's cached copies), their weekly refresh
// in the background, and one RDAP lookup through the lookup's network, with
// its trace lines.
#pragma once

#include "engine/rdap/lookup.h"
#include "engine/whois_network.h"

#include <chrono>
#include <functional>
#include <string>

// One RDAP lookup of query (ASCII form) through net. trace, when set, gets
// one line per GET ("rdap GET URL: STATUS, N bytes, MS ms" or "rdap GET URL:
// ERROR, MS ms"); the reasons the lookup fell short are in its notes, for
// the caller to tell.
// When the network keeps a cache folder and its copies are a week old or
// missing, a refresh starts in the background (one at a time); the lookup
// itself uses what is there now.
rdap::LookupResult RunRdapLookup(const std::string& query, WhoisNetwork& net, bool showNotices,
                                 const std::function<void(const std::string&)>& trace);

// Waits up to bound for a background refresh to end; true when none runs.
// The command-line client calls it before it exits, so a refresh it started
// can finish writing.
bool WaitForRdapRefresh(std::chrono::milliseconds bound);
