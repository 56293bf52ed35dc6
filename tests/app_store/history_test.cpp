// The query history on a real drop-down combo box (in a hidden window) and
// the "IP List" section of the private prefix's registry.
#include "tests/app_store/store_fixture.h"

#include "app/history.h"
#include "framework/controls.h"

#include <string>
#include <vector>

namespace storetest {
namespace {

class History : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_TRUE(m_parent.CreateEx(0, nullptr, "history", WS_POPUP, 0, 0, 300, 300, nullptr));
        HWND combo = ::CreateWindowExA(
            0, "COMBOBOX", "", WS_CHILD | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 10, 10, 250,
            250, m_parent, reinterpret_cast<HMENU>(1007), ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(combo, nullptr);
        m_combo.Attach(combo);
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> entries;
        for (int i = 0; i < m_combo.GetCount(); ++i)
            entries.push_back(m_combo.GetLBText(i));
        return entries;
    }

    void Fill(int count) {
        m_combo.ResetContent();
        for (int i = 1; i <= count; ++i)
            m_combo.AddString(std::string("q").append(std::to_string(i)));
    }

    static void Store(const std::vector<std::string>& values, int count) {
        for (std::size_t i = 0; i < values.size(); ++i)
            WriteSettingText(kHistorySection, std::to_string(i + 1), values[i]);
        WriteSettingInt(kHistorySection, "Count", count);
    }

    static std::vector<std::string> Stored() {
        std::vector<std::string> values;
        int count = ReadSettingInt(kHistorySection, "Count", -1);
        for (int i = 1; i <= count; ++i)
            values.push_back(ReadSettingText(kHistorySection, std::to_string(i), "<missing>"));
        return values;
    }

    fw::CWnd m_parent;
    fw::CComboBox m_combo;
};

using List = std::vector<std::string>;

TEST_F(History, LoadSkipsMissingAndEmptyTextsWithoutGaps) {
    LoadHistory(kHistorySection, m_combo);
    EXPECT_TRUE(Entries().empty());

    m_combo.AddString("stale");
    m_combo.SetWindowText("typed");
    Store({"a.example", "", "c.example", "d.example"}, 4);
    DeleteValue(kHistorySection, "4");
    WriteSettingInt(kHistorySection, "Count", 5); // "4" and "5" missing
    LoadHistory(kHistorySection, m_combo);
    EXPECT_EQ(Entries(), (List{"a.example", "c.example"}));
    EXPECT_EQ(m_combo.GetWindowText(), ""); // the field is emptied too

    WriteSettingInt(kHistorySection, "Count", -3);
    LoadHistory(kHistorySection, m_combo);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(History, CorruptCountLoadsABoundedNumberOfValues) {
    // Without a bound this would read two thousand million values.
    Store({"first"}, 2147483647);
    WriteSettingText(kHistorySection, std::to_string(kHistoryLoadBound), "last read");
    WriteSettingText(kHistorySection, std::to_string(kHistoryLoadBound + 1), "beyond");
    LoadHistory(kHistorySection, m_combo);
    EXPECT_EQ(Entries(), (List{"first", "last read"}));
}

TEST_F(History, AddMovesTheQueryToTheTopInItsOwnCaseAndSelectsIt) {
    for (const char* text : {"b.example", "Example.com", "c.example"})
        m_combo.AddString(text);

    AddToHistory("  EXAMPLE.COM \t", m_combo, HISTORY_LIMIT);
    EXPECT_EQ(Entries(), (List{"EXAMPLE.COM", "b.example", "c.example"}));
    EXPECT_EQ(m_combo.SendMessage(CB_GETCURSEL), 0);
    EXPECT_EQ(m_combo.GetWindowText(), "EXAMPLE.COM");

    AddToHistory("EXAMPLE.COM", m_combo, HISTORY_LIMIT); // already at the top
    EXPECT_EQ(Entries(), (List{"EXAMPLE.COM", "b.example", "c.example"}));

    AddToHistory("c.example", m_combo, HISTORY_LIMIT);
    EXPECT_EQ(Entries(), (List{"c.example", "EXAMPLE.COM", "b.example"}));

    AddToHistory(" \r\n\t\v\f", m_combo, HISTORY_LIMIT); // blank: nothing changes
    EXPECT_EQ(Entries(), (List{"c.example", "EXAMPLE.COM", "b.example"}));
    EXPECT_EQ(m_combo.SendMessage(CB_GETCURSEL), 0);
}

TEST_F(History, ListSettlesOneAboveTheLimitAndALongerStoredListKeepsItsLength) {
    Fill(100);
    AddToHistory("new1", m_combo, HISTORY_LIMIT);
    EXPECT_EQ(m_combo.GetCount(), 101);
    EXPECT_EQ(m_combo.GetLBText(100), "q100");
    AddToHistory("new2", m_combo, HISTORY_LIMIT);
    EXPECT_EQ(m_combo.GetCount(), 101);
    EXPECT_EQ(m_combo.GetLBText(0), "new2");
    EXPECT_EQ(m_combo.GetLBText(100), "q99"); // only the bottom one went

    std::vector<std::string> stored;
    for (int i = 1; i <= 150; ++i)
        stored.push_back(std::string("s").append(std::to_string(i)));
    Store(stored, 150);
    LoadHistory(kHistorySection, m_combo);
    EXPECT_EQ(m_combo.GetCount(), 150);
    AddToHistory("another", m_combo, HISTORY_LIMIT);
    EXPECT_EQ(m_combo.GetCount(), 150);
    EXPECT_EQ(m_combo.GetLBText(149), "s149");
}

TEST_F(History, SaveAddsTheFieldTextAndWritesTheWholeList) {
    Store({"old1", "old2", "old3", "old4", "old5"}, 5);
    LoadHistory(kHistorySection, m_combo);
    m_combo.ResetContent();
    m_combo.AddString("x.example");
    m_combo.AddString("y.example");
    m_combo.SetWindowText("  never looked up  ");
    SaveHistory(kHistorySection, m_combo, HISTORY_LIMIT);
    EXPECT_EQ(Stored(), (List{"never looked up", "x.example", "y.example"}));
    // Higher numbers from the longer save before stay behind, unread.
    EXPECT_EQ(ReadSettingText(kHistorySection, "4"), "old4");
    EXPECT_EQ(ReadSettingText(kHistorySection, "5"), "old5");
    LoadHistory(kHistorySection, m_combo);
    EXPECT_EQ(Entries(), (List{"never looked up", "x.example", "y.example"}));
}

TEST_F(History, SaveWithABlankFieldStillWritesTheQueriesOfThisRun) {
    Store({"earlier"}, 1);
    LoadHistory(kHistorySection, m_combo);
    AddToHistory("looked.up", m_combo, HISTORY_LIMIT);
    AddToHistory("10.0.0.1", m_combo, HISTORY_LIMIT);
    m_combo.SetWindowText("   ");
    SaveHistory(kHistorySection, m_combo, HISTORY_LIMIT);
    EXPECT_EQ(Stored(), (List{"10.0.0.1", "looked.up", "earlier"}));
    EXPECT_EQ(m_combo.GetCount(), 3); // nothing added

    // An empty list writes a Count of 0.
    m_combo.ResetContent();
    SaveHistory(kHistorySection, m_combo, HISTORY_LIMIT);
    EXPECT_EQ(ReadSettingInt(kHistorySection, "Count", -1), 0);
}

} // namespace
} // namespace storetest
