#include "app/history.h"

#include "app/settings.h"
#include "base/text.h"

#include <algorithm>
#include <map>

namespace {

constexpr char kCountValue[] = "Count";

} // namespace

void LoadHistory(const std::string& section, fw::CComboBox& combo) {
    int count = ReadSettingInt(section, kCountValue, 0);
    combo.ResetContent();
    // The texts "1" to "Count" in order, taken from one pass over the section
    // rather than one registry read per number: a large "Count" costs nothing
    // beyond the values that really exist.
    std::map<std::string, std::string> texts = ReadSettingTexts(section);
    int bound = std::min(count, kHistoryLoadBound);
    for (int i = 1; i <= bound; ++i) {
        auto found = texts.find(std::to_string(i));
        if (found != texts.end() && !found->second.empty())
            combo.AddString(found->second);
    }
}

void AddToHistory(const std::string& text, fw::CComboBox& combo, int limit) {
    std::string query = text::Trim(text);
    if (query.empty())
        return;
    int found = combo.FindStringExact(-1, query);
    if (found != CB_ERR) {
        combo.DeleteString(found);
    } else {
        int count = combo.GetCount();
        if (count > limit)
            combo.DeleteString(count - 1);
    }
    combo.InsertString(0, query);
    combo.SetCurSel(combo.FindStringExact(-1, query));
}

void SaveHistory(const std::string& section, fw::CComboBox& combo, int limit) {
    // A blank field adds nothing, but the list is written all the same: the
    // queries looked up in this run must not be lost.
    AddToHistory(combo.GetWindowText(), combo, limit);
    int count = combo.GetCount();
    if (count < 0)
        return;
    for (int i = 0; i < count; ++i)
        WriteSettingText(section, std::to_string(i + 1), combo.GetLBText(i));
    WriteSettingInt(section, kCountValue, count);
}
