// The server table and its file, with list files in a private directory.
#include "base/server_roles.h"
#include "platform/path.h"
#include "servers/server_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class ServerTableTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("ostrabel-servers-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) +
                 "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        std::string dir = m_dir.string();
        if (dir.back() != platform::PathSeparator())
            dir += platform::PathSeparator();
        SetProgramDirectoryForTesting(dir);
        DiscardServerTable();
    }
    void TearDown() override {
        SetProgramDirectoryForTesting("");
        DiscardServerTable();
        fs::remove_all(m_dir);
    }
    void WriteList(const std::string& bytes) {
        std::ofstream out(m_dir / "whoislist.txt", std::ios::binary | std::ios::trunc);
        out << bytes;
        out.close();
        DiscardServerTable();
    }
    fs::path m_dir;
};

} // namespace

TEST(DefaultServerList, FourteenPaddedRecordsWithCrLf) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"com", roles::kComNetRegistryServer}, {"net", roles::kComNetRegistryServer},
        {"org", roles::kOrgRegistryServer},    {"edu", roles::kComNetRegistryServer},
        {"biz", roles::kBizRegistryServer},    {"info", roles::kInfoRegistryServer},
        {"us", roles::kUsRegistryServer},      {"uk", roles::kUkRegistryServer},
        {"ca", roles::kCaRegistryServer},      {"de", roles::kDeRegistryServer},
        {"ws", roles::kWsRegistryServer},      {"au", roles::kAunicServer},
        {"in", roles::kInRegistryServer},      {"nu", roles::kNuRegistryServer}};
    std::string expected;
    for (const auto& [key, host] : rows) {
        std::string line = key + ":";
        line.append(6 - line.size(), ' '); // the host starts in the seventh column
        expected += line + host + "\r\n";
    }
    EXPECT_EQ(std::string(DefaultServerList), expected);
    EXPECT_EQ(std::string(DefaultServerList).substr(0, 30), "com:  whois.verisign-grs.com\r\n");
}

TEST_F(ServerTableTest, DefaultListAnswersWithoutAFile) {
    EXPECT_EQ(FindWhoisServer("example.com"), roles::kComNetRegistryServer);
    EXPECT_EQ(FindWhoisServer("example.info"), roles::kInfoRegistryServer);
    EXPECT_EQ(FindWhoisServer("example.org"), roles::kOrgRegistryServer);
    EXPECT_EQ(FindWhoisServer("example.xyz"), "");
    EXPECT_EQ(FindWhoisServer("nodot"), "");
    EXPECT_FALSE(fs::exists(m_dir / "whoislist.txt")); // nothing is created
}

TEST_F(ServerTableTest, CaseIsFoldedAndOnlyTheLastLabelCounts) {
    EXPECT_EQ(FindWhoisServer("WWW.EXAMPLE.COM"), roles::kComNetRegistryServer);
    EXPECT_EQ(FindWhoisServer("news.bbc.co.uk"), roles::kUkRegistryServer);
    EXPECT_EQ(FindWhoisServer("example.com "), roles::kComNetRegistryServer); // label trimmed
    WriteList("XX:  WHOIS.Example.NET\r\n");
    EXPECT_EQ(FindWhoisServer("site.xx"), "whois.example.net");
}

TEST_F(ServerTableTest, PlainSubstringSearchMatchesTailsOfKeys) {
    EXPECT_EQ(FindWhoisServer("a.om"), roles::kComNetRegistryServer); // "om:" inside "com:"
    EXPECT_EQ(FindWhoisServer("a.fo"), roles::kInfoRegistryServer);   // "fo:" inside "info:"
    EXPECT_EQ(FindWhoisServer("example.com."), roles::kComNetRegistryServer); // key ":" alone
}

TEST_F(ServerTableTest, FileRecordsFirstWinsEmptyHostAndOrgRemap) {
    WriteList("net: first.example\r\n"
              "net: second.example\r\n"
              "empty:\r\n"
              "org:  whois.verisign-grs.com\r\n"
              "gov:  whois.verisign-grs.com\r\n"
              "sp:   host with  blanks  \r\n");
    EXPECT_EQ(FindWhoisServer("x.net"), "first.example");
    EXPECT_EQ(FindWhoisServer("x.empty"), "");
    EXPECT_EQ(FindWhoisServer("x.org"), roles::kOrgRegistryServer);
    EXPECT_EQ(FindWhoisServer("x.gov"), roles::kComNetRegistryServer);
    EXPECT_EQ(FindWhoisServer("x.sp"), "host with  blanks");
    EXPECT_EQ(FindWhoisServer("x.com"), ""); // the file replaces the default
}

TEST_F(ServerTableTest, LineFeedOnlyFileTakesTheRestOfTheList) {
    WriteList("com: a.example\nnet: b.example\n");
    EXPECT_EQ(FindWhoisServer("x.com"), "a.example\nnet: b.example");
}

TEST_F(ServerTableTest, EmptyFileFallsBackAndLeadingNulEmptiesTheTable) {
    WriteList("");
    EXPECT_EQ(FindWhoisServer("x.com"), roles::kComNetRegistryServer);
    WriteList(std::string("\0com: a.example\r\n", 17));
    EXPECT_EQ(FindWhoisServer("x.com"), "");
    EXPECT_EQ(FindWhoisServer("x."), ""); // the table is CR LF alone: no colon
}

TEST_F(ServerTableTest, CachedUntilDiscarded) {
    WriteList("com: old.example\r\n");
    EXPECT_EQ(FindWhoisServer("x.com"), "old.example");
    {
        std::ofstream out(m_dir / "whoislist.txt", std::ios::binary | std::ios::trunc);
        out << "com: new.example\r\n";
    }
    EXPECT_EQ(FindWhoisServer("x.com"), "old.example"); // read at most once between saves
    DiscardServerTable();
    EXPECT_EQ(FindWhoisServer("x.com"), "new.example");
}

TEST_F(ServerTableTest, ReadWholeFileCountsBytesAndStopsTextAtNul) {
    std::string out = "untouched";
    EXPECT_EQ(ReadWholeFile((m_dir / "missing.txt").string(), out), 0);
    EXPECT_EQ(out, "untouched");
    {
        std::ofstream f(m_dir / "has-zero-byte.txt", std::ios::binary);
        f << std::string("ab\0cd", 5);
    }
    EXPECT_EQ(ReadWholeFile((m_dir / "has-zero-byte.txt").string(), out), 5);
    EXPECT_EQ(out, "ab");
}

TEST_F(ServerTableTest, LoadSearchAndDiscardFromSeveralThreads) {
    WriteList("com: a.example\r\n");
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> finders;
    for (int t = 0; t < 4; ++t)
        finders.emplace_back([&] {
            while (!stop)
                if (FindWhoisServer("x.com") != "a.example")
                    ++wrong;
        });
    for (int i = 0; i < 2000; ++i)
        DiscardServerTable();
    stop = true;
    for (auto& t : finders)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(ProgramDirectory, IsTheExecutablesFolderWithSeparator) {
    SetProgramDirectoryForTesting("");
    std::string dir = GetProgramDirectory();
    std::string exe = platform::GetExecutablePath();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), platform::PathSeparator());
    EXPECT_EQ(exe.compare(0, dir.size(), dir), 0);
    EXPECT_EQ(exe.find(platform::PathSeparator(), dir.size()), std::string::npos);
    EXPECT_EQ(GetServerListPath(), dir + "whoislist.txt");
}
