// ostrabel-cli: one lookup from the command line, with the program's engine.
//
//   ostrabel-cli [--raw] [--convert-to-ip | --no-convert-to-ip] QUERY
//   ostrabel-cli --help | --version
//
// The parts below are kept apart from main() so they can be tested.
#pragma once

#include "engine/whois_network.h"

#include <string>
#include <vector>

enum class CliAction { Lookup, Help, Version, UsageError };

struct CliOptions {
    CliAction action = CliAction::UsageError;
    bool raw = false;    // write the result byte for byte
    int convertToIp = 1; // the program's default: on
    std::string query;   // trimmed
    std::string error;   // one line, for UsageError
};

// Parses the arguments after the program name. A blank query, a missing or
// second query, an unknown option and both convert options together are
// usage errors. "--" ends the options (a query may then start with "-").
// --help and --version win over everything but an unknown option.
CliOptions ParseCliArguments(const std::vector<std::string>& args);

// 0 when the result is not empty and is not one of the two fixed failure
// texts of the engine; 1 otherwise.
int CliExitStatus(const std::string& result);

// The bytes for standard output: with raw the result as it is; otherwise
// every CR LF written as LF and one final newline added.
std::string FormatCliOutput(const std::string& result, bool raw);

std::string CliUsageLine();
std::string CliHelpText();
std::string CliVersionText();

// Carries out parsed options: fills out (standard output) and err (standard
// error) and returns the exit status: 0 or 1 for a lookup as CliExitStatus
// says, 0 for help and version, 2 for a usage error.
int RunCli(const CliOptions& options, WhoisNetwork& net, std::string& out, std::string& err);

// Standard output carries bytes as they are (no LF to CR LF on Windows).
void SetStdoutBinary();
