// The help of ranvista-cli: one table of subcommands with their synopsis,
// options and examples. --help, the manual page and the shell completion are
// all rendered from it, so they cannot disagree.
#pragma once

#include "base/ClosestName.h"
#include "cli/Commands.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct OptionHelp {
    std::string name;  // without the leading "--"
    std::string value; // the value's placeholder; empty for a flag
    std::string text;
};

struct CommandHelp {
    std::string name;
    int (*run)(const Tokens&) = nullptr;
    std::string summary;               // one line, lower case, no full stop
    std::vector<std::string> synopses; // each after "ranvista-cli NAME "
    std::string description;           // paragraphs separated by blank lines
    std::vector<OptionHelp> options;   // --json, --help and --version are added
    std::vector<std::string> examples; // each after "ranvista-cli "
};

// Every subcommand, in the order the help lists them.
const std::vector<CommandHelp>& CliCommands();
const CommandHelp* FindCliCommand(std::string_view name);

// The options every subcommand takes besides its own.
const std::vector<OptionHelp>& CommonOptions();

// "ranvista-cli 5.0" and a line on where it comes from.
std::string CliVersionText();
// The global usage: every subcommand with its summary.
std::string CliUsageText();
// One subcommand's help: synopses, description, options, examples.
std::string CommandHelpText(const CommandHelp& command);

// What a subcommand's tokens ask before it runs: its help or the version.
// "--help"/"-h" and "--version" count anywhere before "--" except as the
// value of an option that takes one.
enum class HelpRequest { None, Help, Version };
HelpRequest FindHelpRequest(const CommandHelp& command, const Tokens& tokens);

// ranvista-cli(1) in man(7) roff.
std::string CliManPage();
// A bash completion script for ranvista-cli.
std::string CliBashCompletion();
// A zsh completion script for ranvista-cli.
std::string CliZshCompletion();
