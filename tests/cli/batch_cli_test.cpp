// ostrabel-cli --batch without a process: its options, the three formats,
// and whole runs over a scripted network with a cache folder.
#include "cli/cli.h"
#include "tests/engine/scripted_network.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

using testnet::ScriptedNetwork;

TEST(BatchCliArguments, OptionsAndUsageErrors) {
    CliOptions o = ParseCliArguments(
        {"--batch", "-", "--format", "csv", "--pace", "0.5", "--cache-hours", "2", "--no-cache"});
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_EQ(o.batch, "-");
    EXPECT_EQ(o.format, CliOptions::Format::Csv);
    EXPECT_DOUBLE_EQ(o.pace, 0.5);
    EXPECT_EQ(o.cacheSeconds, 7200);
    EXPECT_TRUE(o.noCache);
    o = ParseCliArguments({"--batch=list.txt"});
    EXPECT_EQ(o.batch, "list.txt");
    EXPECT_EQ(o.format, CliOptions::Format::Tsv);
    EXPECT_DOUBLE_EQ(o.pace, 2.0);
    EXPECT_EQ(o.cacheSeconds, 24 * 3600);

    const std::vector<std::string> bad[] = {
        {"--batch", "f", "192.0.2.1"},
        {"--batch", "f", "--json"},
        {"--batch", "f", "--classic"},
        {"--batch", "f", "--verbose"},
        {"--batch", "f", "-h", "whois.test"},
        {"--batch", "f", "--format", "x"},
        {"--batch", "f", "--pace", "0"},
        {"--batch", "f", "--pace", "-1"},
        {"--batch", "f", "--cache-hours", "0"},
        {"--format", "csv", "192.0.2.1"},
        {"--no-cache", "192.0.2.1"},
        {"--batch"},
        {"--batch", ""},
    };
    for (const auto& args : bad)
        EXPECT_EQ(ParseCliArguments(args).action, CliAction::UsageError) << args.back();
}

namespace {

batch::Record Sample(const std::string& query, bool cached, const std::string& error) {
    batch::Record r;
    r.query = query;
    r.details.kind = "address";
    r.details.summary.Get(summary::Field::Registrant).push_back("Example, \"Net\"\tOrg");
    r.details.summary.Get(summary::Field::Network).push_back("192.0.2.0 - 192.0.2.255");
    r.details.summary.Get(summary::Field::Country).push_back("NL");
    r.details.summary.Get(summary::Field::Abuse).push_back("a@example.net");
    r.details.summary.sources.push_back({"WHOIS", "whois.ripe.net", query});
    r.fromCache = cached;
    r.error = error;
    r.answered = error.empty();
    return r;
}

} // namespace

TEST(BatchCliFormats, RowsAsData) {
    struct Row {
        CliOptions::Format format;
        batch::Record record;
        const char* line;
    } rows[] = {
        {CliOptions::Format::Tsv, Sample("192.0.2.1", false, ""),
         "192.0.2.1\taddress\tExample, \"Net\" Org\t192.0.2.0 - 192.0.2.255\tNL\ta@example.net\t\t"
         "WHOIS whois.ripe.net\t\n"},
        {CliOptions::Format::Tsv, Sample("192.0.2.2", true, "cut\noff\r"),
         "192.0.2.2\taddress\tExample, \"Net\" Org\t192.0.2.0 - 192.0.2.255\tNL\ta@example.net\t\t"
         "cache (WHOIS whois.ripe.net)\tcut off \n"},
        {CliOptions::Format::Csv, Sample("192.0.2.1", false, "line\r\nend"),
         "192.0.2.1,address,\"Example, \"\"Net\"\"\tOrg\",192.0.2.0 - 192.0.2.255,NL,"
         "a@example.net,,WHOIS whois.ripe.net,\"line\r\nend\"\r\n"},
        {CliOptions::Format::Jsonl, Sample("192.0.2.2", true, "interrupted"),
         R"({"cache":true,"error":"interrupted","kind":"address","query":"192.0.2.2",)"
         R"("sources":[{"protocol":"WHOIS","query":"192.0.2.2","server":"whois.ripe.net"}],)"
         R"("summary":{"abuseContact":"a@example.net","country":"NL",)"
         R"("network":"192.0.2.0 - 192.0.2.255","owner":"Example, \"Net\"\tOrg"},"text":""})"
         "\n"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(BatchLine(row.format, row.record), row.line);
    EXPECT_EQ(BatchHeader(CliOptions::Format::Tsv),
              "query\tkind\towner\tnetwork\tcountry\tabuse\tregistrar\tsource\terror\n");
    EXPECT_EQ(BatchHeader(CliOptions::Format::Jsonl), "");
}

TEST(BatchCliFormats, ProgressLine) {
    batch::Progress p;
    p.read = 40;
    p.done = 12;
    p.exchanges = 30;
    p.fromCache = 5;
    EXPECT_EQ(BatchProgressLine(p, 7),
              "ostrabel-cli: 12 done, 30 exchanges, 5 from the cache, 7 s");
    p.inputEnded = true;
    p.pausedServers = 2;
    EXPECT_EQ(BatchProgressLine(p, 9), "ostrabel-cli: 12/40 done, 30 exchanges, 5 from the "
                                       "cache, 2 servers paused (rate limit), 9 s");
}

namespace {

// A scripted network whose RDAP cache folder is a fresh temporary one.
class CachedNetwork : public ScriptedNetwork {
public:
    explicit CachedNetwork(const std::filesystem::path& dir) : m_dir(dir) {}
    std::filesystem::path RdapCacheDirectory() override { return m_dir; }

private:
    std::filesystem::path m_dir;
};

struct TempDir {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("ostrabel-batch-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { std::filesystem::remove_all(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
};

void Script(ScriptedNetwork& net) {
    net.Answer("whois.arin.net", "192.0.2.1",
               "NetRange:   192.0.2.0 - 192.0.2.255\nNetName:    TEST-NET\nOrgName:    Example\n"
               "Country:    US\nOrgAbuseEmail:  abuse@example.net\n");
    net.Answer("whois.arin.net", "203.0.113.1",
               "NetRange:   203.0.0.0 - 203.255.255.255\nNetName:    APNIC-203\n");
    net.Answer("whois.apnic.net", "-r 203.0.113.1",
               "inetnum:        203.0.113.0 - 203.0.113.255\nnetname:        DOC\n"
               "descr:          Documentation\ncountry:        AU\n");
}

struct BatchRun {
    int status = -1;
    std::string out, err;
};

BatchRun RunText(const std::vector<std::string>& args, WhoisNetwork& net, const std::string& input,
                 const std::function<void()>& onFirstLine = {}) {
    BatchRun run;
    std::istringstream in(input);
    bool first = true;
    run.status = RunCliBatch(
        ParseCliArguments(args), net,
        [&](std::string& line) {
            if (first && onFirstLine)
                onFirstLine();
            first = false;
            return static_cast<bool>(std::getline(in, line));
        },
        [&](const std::string& bytes) { run.out += bytes; }, run.err);
    return run;
}

} // namespace

// A first run asks and keeps the ranges; a second run answers from the cache
// file without an exchange; a failure row makes the exit status 1.
TEST(BatchCliRun, CacheAcrossRunsAndExitStatus) {
    TempDir dir;
    CachedNetwork net(dir.path / "rdap");
    Script(net);
    const std::string input = "\xEF\xBB\xBF"
                              "192.0.2.1\r\n# from the log\r\n\n203.0.113.1\n 203.0.113.9 \n";
    BatchRun first = RunText({"--batch", "-"}, net, input);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out,
              "query\tkind\towner\tnetwork\tcountry\tabuse\tregistrar\tsource\terror\n"
              "192.0.2.1\taddress\tExample\t192.0.2.0 - 192.0.2.255\tUS\tabuse@example.net\t\t"
              "WHOIS whois.arin.net\t\n"
              "203.0.113.1\taddress\tDocumentation\t203.0.113.0 - 203.0.113.255\tAU\t\t\t"
              "WHOIS whois.arin.net, whois.apnic.net\t\n"
              "203.0.113.9\taddress\tDocumentation\t203.0.113.0 - 203.0.113.255\tAU\t\t\t"
              "cache (WHOIS whois.arin.net, whois.apnic.net)\t\n");
    const std::size_t asked = net.requests().size();
    EXPECT_EQ(asked, 3u);
    EXPECT_TRUE(std::filesystem::exists(dir.path / "rdap" / "batch-ranges.txt"));

    CachedNetwork again(dir.path / "rdap"); // nothing scripted: any exchange would fail
    BatchRun second =
        RunText({"--batch", "-", "--format", "jsonl"}, again, "192.0.2.77\n203.0.113.200\n");
    EXPECT_EQ(second.status, 0);
    EXPECT_TRUE(again.requests().empty());
    std::istringstream lines(second.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        const auto j = nlohmann::json::parse(line);
        EXPECT_TRUE(j["cache"].get<bool>());
        ++count;
    }
    EXPECT_EQ(count, 2);

    // --no-cache reads no file; the unscripted address fails: exit status 1.
    BatchRun third =
        RunText({"--batch", "-", "--no-cache", "--format", "csv"}, again, "192.0.2.77\n");
    EXPECT_EQ(third.status, 1);
    EXPECT_NE(third.out.find("No answer: whois.arin.net"), std::string::npos);
}

// Two runs sharing the cache folder: the one that ends last keeps the ranges
// the other wrote meanwhile.
TEST(BatchCliRun, TwoRunsShareTheCacheFile) {
    TempDir dir;
    CachedNetwork one(dir.path), two(dir.path);
    Script(one);
    Script(two);
    BatchRun inner;
    const BatchRun outer = RunText({"--batch", "-"}, one, "192.0.2.1\n", [&] {
        inner = RunText({"--batch", "-"}, two, "203.0.113.1\n"); // starts, ends meanwhile
    });
    EXPECT_EQ(outer.status, 0);
    EXPECT_EQ(inner.status, 0);
    CachedNetwork reader(dir.path);
    const BatchRun both = RunText({"--batch", "-"}, reader, "192.0.2.2\n203.0.113.2\n");
    EXPECT_EQ(both.status, 0);
    EXPECT_TRUE(reader.requests().empty());
}
