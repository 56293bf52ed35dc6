#include "cli/cli.h"

#include "engine/driver.h"
#include "engine/text.h"

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

CliOptions ParseCliArguments(const std::vector<std::string>& args) {
    bool raw = false, help = false, version = false;
    bool convertOn = false, convertOff = false;
    std::vector<std::string> queries;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--")
                optionsEnded = true;
            else if (arg == "--raw")
                raw = true;
            else if (arg == "--convert-to-ip")
                convertOn = true;
            else if (arg == "--no-convert-to-ip")
                convertOff = true;
            else if (arg == "--help")
                help = true;
            else if (arg == "--version")
                version = true;
            else
                return UsageError("unknown option '" + arg + "'");
        } else {
            queries.push_back(arg);
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
    if (queries.empty())
        return UsageError("no query given");
    if (queries.size() > 1)
        return UsageError("one query only, got " + std::to_string(queries.size()));
    options.query = text::Trim(queries.front());
    if (options.query.empty())
        return UsageError("the query is blank");
    options.action = CliAction::Lookup;
    options.raw = raw;
    options.convertToIp = convertOff ? 0 : 1;
    return options;
}

int CliExitStatus(const std::string& result) {
    if (result.empty() || result == kUnableToResolveText || result == kUnknownDomainServerText)
        return 1;
    return 0;
}

std::string FormatCliOutput(const std::string& result, bool raw) {
    if (raw)
        return result;
    return text::ReplaceAll(result, "\r\n", "\n") + "\n";
}

std::string CliUsageLine() {
    return "usage: ostrabel-cli [--raw] [--convert-to-ip | --no-convert-to-ip] QUERY\n";
}

std::string CliHelpText() {
    return CliUsageLine() +
           "\n"
           "Looks up who owns an IPv4 address, a host or domain name, or a network\n"
           "handle over WHOIS, the way the Ostrabel window does, and prints the answer.\n"
           "\n"
           "  --raw                print the result exactly as the window shows it\n"
           "                       (CR LF line ends, no final newline added)\n"
           "  --convert-to-ip      look a name up by its IPv4 address (the default)\n"
           "  --no-convert-to-ip   look a domain name up at its registry\n"
           "  --help               show this text\n"
           "  --version            show the version\n"
           "\n"
           "The server list is whoislist.txt beside this program (a built-in list\n"
           "when it is missing).\n"
           "Exit status: 0 when an answer was printed, 1 when the lookup gave none,\n"
           "2 for a usage error.\n";
}

std::string CliVersionText() {
    return std::string("ostrabel-cli ") + OSTRABEL_VERSION + "\n";
}

int RunCli(const CliOptions& options, WhoisNetwork& net, std::string& out, std::string& err) {
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
    RunWhoisLookup(options.query, result, options.convertToIp, net);
    out = FormatCliOutput(result, options.raw);
    return CliExitStatus(result);
}
