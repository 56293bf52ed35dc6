#include "cli/cli.h"

#include "engine/driver.h"
#include "engine/filters.h"
#include "engine/rdap/cache.h"
#include "base/text.h"
#include "platform/file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#ifndef OSTRABEL_VERSION
#define OSTRABEL_VERSION "0"
#endif

namespace {

CliOptions UsageError(const std::string& message) {
    CliOptions options;
    options.action = CliAction::UsageError;
    options.error = "ostrabel-cli: " + message + " (try --help)";
    return options;
}

} // namespace

bool ParseCliPort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(text);
    if (value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

bool ParseCliTimeout(const std::string& text, int& timeoutMs) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    const auto digitsOnly = [](const std::string& s) {
        return s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (whole.empty() || !digitsOnly(whole) || !digitsOnly(fraction) || fraction.size() > 3 ||
        (point != std::string::npos && fraction.empty()))
        return false;
    const std::size_t firstDigit = whole.find_first_not_of('0');
    if (firstDigit != std::string::npos && whole.size() - firstDigit > 5)
        return false; // far beyond the longest limit
    long long ms = std::stoll(whole) * 1000;
    if (!fraction.empty())
        ms += std::stoll((fraction + "00").substr(0, 3));
    if (ms > static_cast<long long>(kMaxCliTimeoutSeconds) * 1000)
        return false;
    timeoutMs = static_cast<int>(ms);
    return true;
}

namespace {

// A host for -h: a name or dotted address, optionally ":PORT" (port is 0
// without one). Anything the resolver could not take (blanks, control
// characters, a leading "-" that is most likely a misplaced option, IPv6
// colons) is refused here, so that every later message about the host stays
// on one line.
bool ParseCliHost(const std::string& text, std::string& host, int& port, std::string& problem) {
    const std::size_t colon = text.rfind(':');
    host = text.substr(0, colon);
    port = 0;
    if (host.empty() || host[0] == '-') {
        problem = "-h needs a host name or address";
        return false;
    }
    for (unsigned char c : host) {
        if (c <= ' ' || c == 0x7f || c == ':') {
            problem = "-h takes HOST or HOST:PORT (an IPv4 address or a name)";
            return false;
        }
    }
    if (colon != std::string::npos && !ParseCliPort(text.substr(colon + 1), port)) {
        problem = "the port in -h must be a number from 1 to 65535";
        return false;
    }
    return true;
}

} // namespace

CliOptions ParseCliArguments(const std::vector<std::string>& args) {
    bool raw = false, help = false, version = false, classic = false, verbose = false;
    bool rdap = false, rdapNotices = false, json = false, noCache = false;
    bool hasBatch = false, batchOnly = false;
    std::string batchFile;
    CliOptions::Format format = CliOptions::Format::Tsv;
    double pace = 2.0;
    long long cacheSeconds = 24 * 3600;
    bool convertOn = false, convertOff = false;
    std::string host;
    int hostPort = 0;   // 0: no port in -h
    int portOption = 0; // 0: no -p
    int timeoutMs = 0;
    std::vector<std::string> queries;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            queries.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // The options without a value: each sets its flag.
        const std::pair<const char*, bool*> flags[] = {
            {"--raw", &raw},
            {"--classic", &classic},
            {"--verbose", &verbose},
            {"--rdap", &rdap},
            {"--rdap-notices", &rdapNotices},
            {"--json", &json},
            {"--no-cache", &noCache},
            {"--convert-to-ip", &convertOn},
            {"--no-convert-to-ip", &convertOff},
            {"--help", &help},
            {"--version", &version},
        };
        const auto flag = std::find_if(std::begin(flags), std::end(flags),
                                       [&](const auto& f) { return arg == f.first; });
        if (flag != std::end(flags)) {
            *flag->second = true;
            continue;
        }

        // The options with a value: "-h VALUE", "--host VALUE", "--host=VALUE".
        std::string name = arg, value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
            hasValue = true;
        }
        const bool isHost = name == "-h" || name == "--host";
        const bool isPort = name == "-p" || name == "--port";
        const bool isTimeout = name == "--timeout";
        const bool isBatchValue =
            name == "--batch" || name == "--format" || name == "--pace" || name == "--cache-hours";
        if (!isHost && !isPort && !isTimeout && !isBatchValue)
            return UsageError("unknown option '" + arg + "'");
        if (!hasValue) {
            if (i + 1 >= args.size())
                return UsageError("option " + name + " needs a value");
            value = args[++i];
        }
        int thousandths = 0;
        if (name == "--batch") {
            if (value.empty())
                return UsageError("--batch needs a file name, or - for standard input");
            hasBatch = true;
            batchFile = value;
        } else if (name == "--format") {
            batchOnly = true;
            if (value == "tsv")
                format = CliOptions::Format::Tsv;
            else if (value == "csv")
                format = CliOptions::Format::Csv;
            else if (value == "jsonl")
                format = CliOptions::Format::Jsonl;
            else
                return UsageError("--format takes tsv, csv or jsonl");
        } else if (name == "--pace") {
            batchOnly = true;
            if (!ParseCliTimeout(value, thousandths) || thousandths == 0)
                return UsageError("--pace takes queries per second, more than 0");
            pace = thousandths / 1000.0;
        } else if (name == "--cache-hours") {
            batchOnly = true;
            if (!ParseCliTimeout(value, thousandths) || thousandths == 0)
                return UsageError("--cache-hours takes hours, more than 0 (or use --no-cache)");
            cacheSeconds = static_cast<long long>(thousandths) * 3600 / 1000;
        } else if (isHost) {
            std::string problem;
            if (!ParseCliHost(value, host, hostPort, problem))
                return UsageError(problem);
        } else if (isPort) {
            if (!ParseCliPort(value, portOption))
                return UsageError("the port must be a number from 1 to 65535");
        } else if (!ParseCliTimeout(value, timeoutMs)) {
            return UsageError("--timeout takes seconds from 0 to " +
                              std::to_string(kMaxCliTimeoutSeconds) +
                              ", with up to three decimals");
        }
    }

    CliOptions options;
    if (help) {
        options.action = CliAction::Help;
        return options;
    }
    if (version) {
        options.action = CliAction::Version;
        return options;
    }
    if (convertOn && convertOff)
        return UsageError("--convert-to-ip and --no-convert-to-ip exclude each other");
    if (rdap && classic)
        return UsageError(
            "--rdap and --classic exclude each other (the classic chain has no RDAP)");
    if (rdap && !host.empty())
        return UsageError("--rdap and -h exclude each other (-h asks one WHOIS server)");
    if (json && !host.empty())
        return UsageError("--json and -h exclude each other (-h prints one answer as it came)");
    if (json && raw)
        return UsageError("--json and --raw exclude each other");
    if (portOption != 0 && host.empty())
        return UsageError("-p needs -h (lookups without -h always use port 43)");
    if ((batchOnly || noCache) && !hasBatch)
        return UsageError("--format, --pace, --cache-hours and --no-cache go with --batch");
    // What a batch and a single lookup both take.
    options.action = CliAction::Lookup;
    options.rdap = rdap;
    options.rdapNotices = rdapNotices;
    options.convertToIp = convertOff ? 0 : 1;
    options.timeoutMs = timeoutMs;
    if (hasBatch) {
        if (!queries.empty())
            return UsageError("--batch reads its queries from the file; no query argument");
        if (!host.empty() || json || raw || classic || verbose)
            return UsageError("--batch excludes -h, --json, --raw, --classic and --verbose "
                              "(--format jsonl gives JSON)");
        options.batch = batchFile;
        options.format = format;
        options.pace = pace;
        options.cacheSeconds = cacheSeconds;
        options.noCache = noCache;
        return options;
    }
    if (queries.empty())
        return UsageError("no query given");
    if (queries.size() > 1)
        return UsageError("one query only, got " + std::to_string(queries.size()));
    options.query = text::Trim(queries.front());
    if (options.query.empty())
        return UsageError("the query is blank");
    if (!host.empty()) {
        if (options.query.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            return UsageError("the query holds a line break");
        options.host = host;
        options.port = hostPort != 0 ? hostPort : portOption != 0 ? portOption : kWhoisPort;
    }
    options.raw = raw;
    options.classic = classic;
    options.verbose = verbose;
    options.json = json;
    return options;
}

ExchangeLimits CliExchangeLimits(const CliOptions& options) {
    if (options.timeoutMs > 0)
        return ExchangeLimits::Uniform(options.timeoutMs);
    return options.classic ? ExchangeLimits() : kDefaultModeLimits;
}

namespace {

nlohmann::json LookupJsonObject(const std::string& query, const LookupDetails& details) {
    using nlohmann::json;
    json fields = json::object();
    for (std::size_t f = 0; f < summary::kFieldCount; ++f) {
        const auto field = static_cast<summary::Field>(f);
        const std::vector<std::string>& values = details.summary.Get(field);
        if (values.empty() || !summary::InLayout(field, details.layout))
            continue;
        const std::string key = summary::KeyOf(field, details.layout);
        if (summary::Info(field).list)
            fields[key] = values;
        else
            fields[key] = values.front();
    }
    json sources = json::array();
    for (const summary::Source& source : details.summary.sources)
        sources.push_back(
            {{"protocol", source.protocol}, {"server", source.server}, {"query", source.query}});
    std::string text = FormatCliOutput(details.text, false);
    text.pop_back(); // the newline FormatCliOutput adds
    json out = {{"query", query},
                {"kind", details.kind},
                {"summary", fields},
                {"sources", sources},
                {"text", text}};
    if (!details.error.empty())
        out["error"] = details.error;
    return out;
}

} // namespace

std::string LookupJson(const std::string& query, const LookupDetails& details) {
    return LookupJsonObject(query, details)
               .dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
           "\n";
}

int CliExitStatus(const std::string& result) {
    return result.empty() || IsFixedFailureText(result) ? 1 : 0;
}

std::string FormatCliOutput(const std::string& result, bool raw) {
    if (raw)
        return result;
    std::string out;
    out.reserve(result.size() + 1);
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (result[i] == '\r') {
            const std::size_t end = result.find_first_not_of('\r', i);
            if (end != std::string::npos && result[end] == '\n') {
                i = end - 1; // the CRs before a line feed go
                continue;
            }
        }
        out += result[i];
    }
    out += '\n';
    return out;
}

std::string DirectExchangeMessage(ExchangeOutcome outcome, bool answered, const std::string& host,
                                  int port, int timeoutMs) {
    const std::string server = host + ":" + std::to_string(port);
    switch (outcome) {
    case ExchangeOutcome::Completed:
        return answered ? "" : "empty answer from " + server;
    case ExchangeOutcome::NotResolved:
        return "cannot reach " + server + " (unknown host)";
    case ExchangeOutcome::NotConnected:
    case ExchangeOutcome::Unreachable:
        return "cannot reach " + server + " (no connection)";
    case ExchangeOutcome::Refused:
        return "cannot reach " + server + " (connection refused)";
    case ExchangeOutcome::ConnectTimedOut:
        return "cannot reach " + server + " (connection timed out)";
    case ExchangeOutcome::NoSocket:
        return "cannot reach " + server + " (no socket)";
    case ExchangeOutcome::NotSent:
    case ExchangeOutcome::SendFailed:
        return "cannot send the query to " + server;
    case ExchangeOutcome::ReceiveFailed:
    case ExchangeOutcome::Reset:
        return "the answer from " + server + " broke off";
    case ExchangeOutcome::TimedOut:
        return "timed out after " + FormatSeconds(timeoutMs) + " s waiting for " + server;
    case ExchangeOutcome::TooLong:
        return "the answer from " + server + " is longer than " + std::to_string(kMaxAnswerBytes) +
               " bytes; the rest was not read";
    }
    return "the exchange with " + server + " failed";
}

std::string CliUsageLine() {
    return "usage: ostrabel-cli [--raw | --json] [--classic | --rdap] [--rdap-notices] "
           "[--verbose]\n"
           "                    [--convert-to-ip | --no-convert-to-ip]\n"
           "                    [-h HOST[:PORT] [-p PORT]] [--timeout SECONDS] QUERY\n"
           "       ostrabel-cli --batch FILE|- [--format tsv|csv|jsonl] [--pace N]\n"
           "                    [--cache-hours N | --no-cache] [--rdap] [--timeout SECONDS]\n";
}

std::string CliHelpText() {
    return CliUsageLine() +
           "\n"
           "Looks up who owns an IPv4 address, a host or domain name, or a network\n"
           "handle over WHOIS, the way the Ostrabel window does, and prints the answer.\n"
           "\n"
           "  --raw                print the whole result text byte for byte (CR LF\n"
           "                       line ends, no final newline added; the window\n"
           "                       shows at most its first 256 KiB)\n"
           "  --json               one JSON object instead of the text: query, kind,\n"
           "                       summary (the owner's fields), sources (protocol,\n"
           "                       server, query of each answer), text (the records)\n"
           "                       and error (why there is no answer, or why it was\n"
           "                       cut off) where there is one\n"
           "  --classic            the classic lookup chain only (see below)\n"
           "  --rdap               RDAP only: ask the registry's RDAP service (HTTPS)\n"
           "                       for the domain, address (IPv4 or IPv6) or AS number\n"
           "                       (AS15169), never WHOIS; why it failed goes to\n"
           "                       standard error\n"
           "  --rdap-notices       show the notices (terms of use) of RDAP answers too\n"
           "  --verbose            on standard error, one line per exchange as it ends\n"
           "                       (server, port, query, bytes, how it ended, ms),\n"
           "                       one whenever the extended chain goes beyond the\n"
           "                       classic one or leaves RDAP for WHOIS (and why),\n"
           "                       and at the end the protocol and server that\n"
           "                       answered; standard output is unchanged\n"
           "  --convert-to-ip      look a name up by its IPv4 address (the default)\n"
           "  --no-convert-to-ip   look a domain name up at its registry\n"
           "  -h, --host HOST[:PORT]\n"
           "                       ask this one server directly: the query is sent as\n"
           "                       typed, no referral is followed and no heading added;\n"
           "                       a server the program knows has its legal notice\n"
           "                       cut; the convert options have no effect\n"
           "  -p, --port PORT      the port of -h (1 to 65535, default 43); only with -h,\n"
           "                       and a PORT given in -h wins\n"
           "  --timeout SECONDS    bound connecting and every single read of each\n"
           "                       exchange (up to three decimals, at most 86400; 0:\n"
           "                       no limit); without it connecting is bounded by 10 s\n"
           "                       and each wait for the next byte by 15 s, except\n"
           "                       with --classic, which waits as long as it takes; a\n"
           "                       timed-out exchange keeps what arrived; name\n"
           "                       resolution is not bounded; an RDAP request is\n"
           "                       bounded by SECONDS to connect and to wait for a\n"
           "                       byte, and three times SECONDS in all\n"
           "  --batch FILE         one query per line of FILE (- for standard input;\n"
           "                       blank lines and lines starting with # skipped), one\n"
           "                       record each on standard output, in input order\n"
           "  --format FORMAT      the records as tsv (the default: a header line, then\n"
           "                       query, kind, owner, network, country, abuse,\n"
           "                       registrar, source, error), csv (RFC 4180) or jsonl\n"
           "                       (the --json object on one line)\n"
           "  --pace N             at most N queries a second to any one server\n"
           "                       (default 2); one at a time per server, at most 8 at\n"
           "                       once in all\n"
           "  --cache-hours N      reuse answers of earlier runs for N hours (default\n"
           "                       24); an address inside a network already asked is\n"
           "                       answered from it without a query\n"
           "  --no-cache           neither read nor write the cache file\n"
           "  --help               show this text\n"
           "  --version            show the version\n"
           "  --                   end of options: the next argument is the query\n"
           "\n"
           "Options take their value as the next argument or, for the long ones, after\n"
           "'=' (--host=HOST, --port=PORT, --timeout=SECONDS); given twice, the last\n"
           "counts.\n"
           "\n"
           "The server list is whoislist.txt beside this program (a built-in list\n"
           "when it is missing).\n"
           "\n"
           "By default the authoritative source is asked first: a domain whose\n"
           "top-level domain has a known RDAP server is looked up over RDAP (the\n"
           "registry's record, then the registrar's); its \"no match\" is the answer,\n"
           "and any other failure runs the WHOIS chain. Addresses, AS numbers and\n"
           "handles keep WHOIS first. The WHOIS chain goes beyond the classic one only\n"
           "where that one dead-ends: a name without an address is looked up at its\n"
           "registry, a top-level domain the server list lacks is asked of\n"
           "whois.iana.org (once per domain and run; where IANA names itself, it is\n"
           "asked the full name), any registry's \"Registrar WHOIS Server:\" line and\n"
           "ARIN's \"ReferralServer: whois://\" line are followed, and a name typed\n"
           "with non-ASCII letters is sent in its ASCII (xn--) form. Where port 43\n"
           "gives nothing at all, RDAP is asked instead. An answer begins with a\n"
           "summary of its owner (registrant or owner, registrar, dates, name servers,\n"
           "network, country, abuse contact, the servers it came from), then an empty\n"
           "line, then the records; a lookup that finds nothing prints one line saying\n"
           "why (\"No answer: ...\") and exits 1. --classic asks exactly what the\n"
           "classic chain asks, never RDAP, and prints its text alone.\n"
           "RDAP's servers come from IANA's bootstrap registries (a copy built in, and\n"
           "fresh copies fetched at most once a week into the cache folder\n"
           "($XDG_CACHE_HOME/ostrabel/rdap, or %LOCALAPPDATA%\\Ostrabel\\rdap on Windows)\n"
           "and, for domains IANA's registry lacks, a built-in list taken from a\n"
           "maintained public RDAP client (engine/rdap/data/extra_servers.txt in the\n"
           "source); IANA's registry wins where both name a server.\n"
           "Exit status: 0 when an answer was printed, 1 when the lookup gave none\n"
           "(RDAP's \"No match\" and \"too many queries\" lines included),\n"
           "2 for a usage error. With --batch: 0 when every query got a record, 1 when\n"
           "some did not (the error column says why), 2 for a usage error. With -h, a\n"
           "server that cannot be resolved, refuses,\n"
           "breaks off, times out or sends nothing gives a one-line message on\n"
           "standard error and exit status 1; what arrived is still printed.\n";
}

std::string CliVersionText() {
    return std::string("ostrabel-cli ") + OSTRABEL_VERSION + "\n";
}

DirectExchange TransportDirectExchange(const ExchangeLimits& limits) {
    return
        [limits](const std::string& query, const std::string& host, int port, std::string& result) {
            ExchangeOutcome outcome = ExchangeOutcome::NotSent;
            WhoisExchange(query, host, result, port, limits, &outcome);
            return outcome;
        };
}

int RunCli(const CliOptions& options, WhoisNetwork& net, const DirectExchange& direct,
           std::string& out, std::string& err, const CliProgress& progress) {
    const CliProgress trace = [&](const std::string& line) {
        if (progress)
            progress("ostrabel-cli: " + line + "\n");
        else
            err += "ostrabel-cli: " + line + "\n";
    };
    switch (options.action) {
    case CliAction::Help:
        out = CliHelpText();
        return 0;
    case CliAction::Version:
        out = CliVersionText();
        return 0;
    case CliAction::UsageError:
        err = options.error + "\n";
        return 2;
    case CliAction::Lookup:
        break;
    }
    std::string result;
    if (options.host.empty()) {
        LookupOptions lookup;
        lookup.convertToIp = options.convertToIp;
        lookup.classic = options.classic;
        lookup.rdapOnly = options.rdap;
        lookup.rdapNotices = options.rdapNotices;
        // With --rdap, the last reason RDAP gave is told even without --verbose.
        std::string rdapWhy;
        if (options.verbose || options.rdap)
            lookup.trace = [&](const std::string& line) {
                if (line.rfind("rdap", 0) == 0)
                    rdapWhy = line;
                if (options.verbose)
                    trace(line);
            };
        // RDAP's one line for no match or too many queries is printed, but
        // it is no answer.
        bool noRecord = false;
        lookup.rdapGaveNoRecord = &noRecord;
        LookupDetails details;
        lookup.details = &details;
        RunWhoisLookup(options.query, result, lookup, net);
        if (options.rdap && details.text.empty() && !options.verbose)
            err += "ostrabel-cli: " +
                   (rdapWhy.empty() ? std::string("RDAP gave no answer") : rdapWhy) + "\n";
        out = options.json ? LookupJson(options.query, details)
                           : FormatCliOutput(result, options.raw);
        // The reason line alone, and RDAP's one line for no match or too many
        // queries, are no answer.
        if (noRecord || (details.text.empty() && !details.error.empty()))
            return 1;
        return CliExitStatus(result);
    }

    const auto start = std::chrono::steady_clock::now();
    const ExchangeOutcome outcome = direct(options.query, options.host, options.port, result);
    if (options.verbose)
        trace(WhoisExchangeTraceLine(options.host, options.port, options.query, result.size(),
                                     outcome,
                                     std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count()));
    StripLegalNotice(result, options.host);
    // Nothing at all for an exchange that failed before a byte arrived.
    if (outcome == ExchangeOutcome::Completed || !result.empty())
        out = FormatCliOutput(result, options.raw);
    const std::string message =
        DirectExchangeMessage(outcome, !result.empty(), options.host, options.port,
                              CliExchangeLimits(options).readTimeoutMs);
    if (message.empty())
        return 0;
    err += "ostrabel-cli: " + message + "\n";
    return 1;
}

namespace {

// The cache file, beside the copies of IANA's RDAP registries.
std::filesystem::path BatchCachePath(WhoisNetwork& net) {
    const std::filesystem::path dir = net.RdapCacheDirectory();
    return dir.empty() ? dir : dir / "batch-ranges.txt";
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

std::vector<std::string> BatchRowValues(const batch::Record& record) {
    const summary::Summary& s = record.details.summary;
    using summary::Field;
    const bool domain = record.details.layout == summary::Layout::Domain;
    std::string source = summary::SourcesText(s.sources);
    if (record.fromCache)
        source = source.empty() ? "cache" : "cache (" + source + ")";
    return {record.query,
            record.details.kind,
            text::Join(s.Get(Field::Registrant), ", "),
            text::Join(s.Get(domain ? Field::Domain : Field::Network), ", "),
            text::Join(s.Get(Field::Country), ", "),
            text::Join(s.Get(Field::Abuse), ", "),
            text::Join(s.Get(Field::Registrar), ", "),
            source,
            record.error};
}

std::string BatchHeader(CliOptions::Format format) {
    switch (format) {
    case CliOptions::Format::Tsv:
        return "query\tkind\towner\tnetwork\tcountry\tabuse\tregistrar\tsource\terror\n";
    case CliOptions::Format::Csv:
        return "query,kind,owner,network,country,abuse,registrar,source,error\r\n";
    case CliOptions::Format::Jsonl:
        break;
    }
    return std::string();
}

std::string BatchLine(CliOptions::Format format, const batch::Record& record) {
    if (format == CliOptions::Format::Jsonl) {
        LookupDetails details = record.details;
        details.error = record.error;
        nlohmann::json object = LookupJsonObject(record.query, details);
        if (record.fromCache)
            object["cache"] = true;
        return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    std::string line;
    for (const std::string& value : BatchRowValues(record)) {
        if (format == CliOptions::Format::Tsv) {
            if (!line.empty())
                line += '\t';
            for (char c : value)
                line += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
            continue;
        }
        if (!line.empty())
            line += ',';
        if (value.find_first_of(",\"\r\n") == std::string::npos) {
            line += value;
            continue;
        }
        line += '"';
        for (char c : value)
            line += c == '"' ? std::string("\"\"") : std::string(1, c);
        line += '"';
    }
    return line + (format == CliOptions::Format::Csv ? "\r\n" : "\n");
}

std::string BatchProgressLine(const batch::Progress& p, long long seconds) {
    std::string line = "ostrabel-cli: " + std::to_string(p.done) +
                       (p.inputEnded ? "/" + std::to_string(p.read) : std::string()) + " done, " +
                       std::to_string(p.exchanges) + " exchanges, " + std::to_string(p.fromCache) +
                       " from the cache";
    if (p.pausedServers > 0)
        line += ", " + std::to_string(p.pausedServers) + " server" +
                (p.pausedServers == 1 ? "" : "s") + " paused (rate limit)";
    return line + ", " + std::to_string(seconds) + " s";
}

int RunCliBatch(const CliOptions& options, WhoisNetwork& net,
                const std::function<bool(std::string&)>& readLine,
                const std::function<void(const std::string&)>& write, std::string& err,
                const std::atomic<bool>* stop,
                const std::function<void(const std::string&)>& progress) {
    const std::filesystem::path cachePath =
        options.noCache ? std::filesystem::path() : BatchCachePath(net);
    batch::RangeCache cache(options.cacheSeconds);
    if (!cachePath.empty())
        cache.Load(ReadWholeFile(cachePath), batch::UnixSeconds());

    batch::Options run;
    run.lookup.convertToIp = options.convertToIp;
    run.lookup.rdapOnly = options.rdap;
    run.lookup.rdapNotices = options.rdapNotices;
    run.polite.perSecond = options.pace;
    run.stop = stop;
    run.readRestAfterStop = options.batch != "-";
    const auto start = std::chrono::steady_clock::now();
    if (progress)
        run.progress = [&](const batch::Progress& p) {
            progress(BatchProgressLine(p, std::chrono::duration_cast<std::chrono::seconds>(
                                              std::chrono::steady_clock::now() - start)
                                              .count()));
        };
    write(BatchHeader(options.format));
    bool allAnswered = true;
    bool firstLine = true;
    const auto next = [&](std::string& query) {
        std::string line;
        while (readLine(line)) {
            // A file saved by a Windows editor may begin with a byte-order mark.
            if (firstLine && line.rfind("\xEF\xBB\xBF", 0) == 0)
                line.erase(0, 3);
            firstLine = false;
            if (const auto q = batch::QueryOfLine(line)) {
                query = *q;
                return true;
            }
        }
        return false;
    };
    batch::Run(next, net, cache, run, [&](const batch::Record& record) {
        allAnswered = allAnswered && record.answered && record.error != "interrupted";
        write(BatchLine(options.format, record));
    });

    if (!cachePath.empty()) {
        // Another process may have written the file meanwhile: both keep
        // theirs. The read, merge and replace happen under a lock file beside
        // it, so two runs ending together never replace each other's entries.
        // A lock older than a minute was left by a run that died; after 5 s
        // without the lock the file is written all the same.
        const std::int64_t now = batch::UnixSeconds();
        std::error_code ec;
        std::filesystem::create_directories(cachePath.parent_path(), ec);
        std::filesystem::path lock = cachePath;
        lock += ".lock";
        bool locked = false;
        for (int attempt = 0; attempt < 250 && !(locked = platform::CreateExclusiveFile(lock));
             ++attempt) {
            const auto age = std::filesystem::file_time_type::clock::now() -
                             std::filesystem::last_write_time(lock, ec);
            if (!ec && age > std::chrono::minutes(1))
                std::filesystem::remove(lock, ec);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        batch::RangeCache merged(options.cacheSeconds);
        merged.Load(ReadWholeFile(cachePath), now);
        merged.Load(cache.Serialize(now), now);
        std::string reason;
        if (!platform::ReplaceFileContents(cachePath, merged.Serialize(now), reason))
            err += "ostrabel-cli: the cache " + rdap::PathText(cachePath) + " was not written (" +
                   reason + ")\n";
        if (locked)
            std::filesystem::remove(lock, ec);
    }
    // Ctrl+C ends the run with status 1, even when nothing read was left.
    return allAnswered && !(stop != nullptr && *stop) ? 0 : 1;
}
