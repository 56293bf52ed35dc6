// The query history: the drop-down list of the main dialog's query combo box,
// most recent first, kept between runs in a section of the settings store as
// "Count" and the texts "1", "2", ... up to "Count". Window thread only.
#pragma once

#include "framework/controls.h"

#include <string>

// Both callers pass this limit. A new entry drops the bottom one only when the
// list already holds more than the limit, so the list settles at limit + 1.
inline constexpr int HISTORY_LIMIT = 100;

// The most values one load reads, whatever "Count" claims: a corrupt count
// (say 2147483647) must not stall the start-up.
inline constexpr int kHistoryLoadBound = 5000;

// Empties the list and appends the section's texts "1" to "Count" (at most
// kHistoryLoadBound of them) in order; empty or missing texts are skipped.
void LoadHistory(const std::string& section, fw::CComboBox& combo);

// Puts the trimmed text at the top of the list and selects it: an entry equal
// to it ignoring letter case is removed first; otherwise, when the list holds
// more than limit entries, the bottom one is. Blank text changes nothing.
void AddToHistory(const std::string& text, fw::CComboBox& combo, int limit);

// Adds the combo box's field text as AddToHistory does (nothing when it is
// blank), then writes the whole list and its "Count" to the section. Texts
// with higher numbers left by an earlier, longer save stay, unread.
void SaveHistory(const std::string& section, fw::CComboBox& combo, int limit);
