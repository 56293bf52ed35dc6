// Response filters: cut the legal notices that well-known WHOIS servers put
// around their records, then turn line feeds into CR LF for the result box
// and trim. Stateless; safe on any thread.
#pragma once

#include <string>

// Keeps only the text before the first occurrence of marker. False (text
// unchanged) when the marker is absent.
bool CutAtMarker(std::string& text, const std::string& marker);

// Keeps only the text after the end of the first occurrence of marker. False
// (text unchanged) when the marker is absent.
bool KeepAfterMarker(std::string& text, const std::string& marker);

// Applies the notice rule of the server (its host name, compared after
// lower-casing, whole name against whole name; no trimming), then, for every
// server, replaces each line feed by CR LF (a CR LF becomes CR CR LF) and
// trims white space from both ends. An empty or unknown server gets only the
// line-end change and the trim. Linear in the size of the text.
void StripLegalNotice(std::string& text, std::string server);
