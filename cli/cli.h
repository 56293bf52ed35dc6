// ostrabel-cli: one lookup from the command line, with the program's engine.
//
//   ostrabel-cli [--raw] [--classic | --rdap] [--rdap-notices] [--verbose]
//                [--convert-to-ip | --no-convert-to-ip]
//                [-h HOST[:PORT] [-p PORT]] [--timeout SECONDS] QUERY
//   ostrabel-cli --help | --version
//
// The parts below are kept apart from main() so they can be tested.
#pragma once

#include "engine/batch/batch.h"
#include "engine/driver.h"
#include "engine/transport.h"
#include "engine/whois_network.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

enum class CliAction { Lookup, Help, Version, UsageError };

// The longest --timeout accepted, in seconds (one day).
inline constexpr int kMaxCliTimeoutSeconds = 86400;

struct CliOptions {
    CliAction action = CliAction::UsageError;
    bool raw = false;         // write the result byte for byte
    bool classic = false;     // the classic lookup chain only
    bool verbose = false;     // trace every exchange and extension on standard error
    bool rdap = false;        // RDAP only, no WHOIS
    bool rdapNotices = false; // show RDAP's notices too
    bool json = false;        // one JSON object instead of the text
    int convertToIp = 1;      // the program's default: on
    std::string query;        // trimmed
    std::string host;         // -h: ask this one server directly; empty: the lookup chain
    int port = kWhoisPort;    // the port of -h (from -p or HOST:PORT)
    int timeoutMs = 0;        // --timeout in milliseconds; 0: no limit
    std::string error;        // one line, for UsageError
    // --batch FILE ("-": standard input): many queries, one record each.
    std::string batch;
    enum class Format { Tsv, Csv, Jsonl } format = Format::Tsv;
    double pace = 2.0;                  // --pace: queries per second per server
    long long cacheSeconds = 24 * 3600; // --cache-hours
    bool noCache = false;               // --no-cache: no cache file read or written
};

// Parses the arguments after the program name. A blank query, a missing or
// second query, an unknown option and both convert options together are
// usage errors. "--" ends the options (a query may then start with "-").
// --help and --version win over everything but an unknown option or an
// option with a missing or malformed value.
//
// -h HOST[:PORT] (or --host=HOST[:PORT]), -p PORT (or --port=PORT) and
// --timeout SECONDS (or --timeout=SECONDS) take a value; given twice, the
// last counts. A port is 1 to 65535; a PORT in -h wins over -p; -p without
// -h is a usage error (the lookup chain always uses port 43). SECONDS is a
// number with up to three decimals, at most kMaxCliTimeoutSeconds; 0 means
// no limit. With -h a query holding a line break is a usage error.
CliOptions ParseCliArguments(const std::vector<std::string>& args);

// Parses a port number: digits only, 1 to 65535.
bool ParseCliPort(const std::string& text, int& port);

// Parses SECONDS of --timeout into milliseconds (see ParseCliArguments).
bool ParseCliTimeout(const std::string& text, int& timeoutMs);

// The limits of every exchange for these options.
ExchangeLimits CliExchangeLimits(const CliOptions& options);

// 0 when the result is not empty and is not one of the two fixed failure
// texts of the engine; 1 otherwise.
int CliExitStatus(const std::string& result);

// The one JSON object of --json (and a final newline): query, kind, summary
// (lower-camel keys; strings, or arrays for lists), sources (protocol,
// server, query), text (the records without the summary, LF line ends) and
// error (the reason line) when there is one. Bytes that are not UTF-8 become
// U+FFFD.
std::string LookupJson(const std::string& query, const LookupDetails& details);

// The bytes for standard output: with raw the result as it is; otherwise
// every line end (LF with any CRs just before it, as in the CR CR LF the
// filter leaves) written as one LF, and one final newline added.
std::string FormatCliOutput(const std::string& result, bool raw);

// The one-line message (without "ostrabel-cli: " and line end) for an
// exchange with host:port that ended as outcome; empty for an exchange that
// completed with text. timeoutMs is the limit the exchange ran under.
std::string DirectExchangeMessage(ExchangeOutcome outcome, bool answered, const std::string& host,
                                  int port, int timeoutMs);

std::string CliUsageLine();
std::string CliHelpText();
std::string CliVersionText();

// The single exchange of -h: asks host:port, fills result with what arrived
// and tells how the exchange ended.
using DirectExchange = std::function<ExchangeOutcome(
    const std::string& query, const std::string& host, int port, std::string& result)>;

// The direct exchange through the real transport, under the given limits.
DirectExchange TransportDirectExchange(const ExchangeLimits& limits);

// Carries out parsed options: fills out (standard output) and err (standard
// error) and returns the exit status: 0 or 1 for a lookup, 0 for help and
// version, 2 for a usage error. The lookup chain goes through net; -h makes
// one exchange through direct instead, filters the answer by that host's
// notice rule and prints it without a heading: 0 when the server answered
// something and closed, otherwise 1 with a one-line message on err (and
// what arrived before the failure on out).
//
// With verbose, every exchange (and every extension of the lookup chain that
// fires) gives one line "ostrabel-cli: ..." as it ends: to progress when it is
// set (so the user sees it at once), otherwise appended to err.
using CliProgress = std::function<void(const std::string& line)>;
int RunCli(const CliOptions& options, WhoisNetwork& net, const DirectExchange& direct,
           std::string& out, std::string& err, const CliProgress& progress = {});

// The values of a batch record's row: query, kind, owner, network (range, or
// the domain), country, abuse, registrar, source ("cache (...)" when
// answered from the cache), error.
std::vector<std::string> BatchRowValues(const batch::Record& record);
// The header line of the format (empty for jsonl).
std::string BatchHeader(CliOptions::Format format);
// One record as one line of the format: tsv (tabs and line ends in values
// made spaces, LF), csv (RFC 4180: CR LF, a value holding a comma, a quote or
// a line end quoted, quotes doubled), jsonl (the --json object on one line,
// with "cache": true for an answer from the cache and error the record's).
std::string BatchLine(CliOptions::Format format, const batch::Record& record);
// The progress line (without line end) after seconds.
std::string BatchProgressLine(const batch::Progress& progress, long long seconds);

// Runs --batch: reads lines with readLine, writes the header and the records
// with write as they are ready (in input order), fills err with warnings and
// returns 0 when every query got a record, 1 otherwise. The cache file
// (batch-ranges.txt in net's RDAP cache folder) is read first and written at
// the end unless --no-cache. stop ends the run early (the lines not yet read
// are read and written as "interrupted", except from standard input);
// progress, when set, gets the progress line a few times a second.
int RunCliBatch(const CliOptions& options, WhoisNetwork& net,
                const std::function<bool(std::string&)>& readLine,
                const std::function<void(const std::string&)>& write, std::string& err,
                const std::atomic<bool>* stop = nullptr,
                const std::function<void(const std::string&)>& progress = {});
