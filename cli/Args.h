// Command-line parsing shared by every ranvista-cli subcommand.
// Options are long only ("--name VALUE" or "--name=VALUE") and may appear
// anywhere after the subcommand; a value is taken verbatim even when it
// starts with '-'. Every other token, "-5" included, is positional; "--"
// makes all following tokens positional.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct OptionSet {
    std::set<std::string> flags;  // options without a value ("--json" is always known)
    std::set<std::string> values; // options that take a value (the last one counts,
                                  // or all of them through Args::Values)
};

class Args {
public:
    // Parses tokens; on error returns nothing and fills error.
    static std::optional<Args> Parse(const std::vector<std::string>& tokens,
                                     const OptionSet& options, std::string& error);

    bool Has(const std::string& name) const;
    std::optional<std::string> Value(const std::string& name) const;
    std::vector<std::string> Values(const std::string& name) const;
    const std::vector<std::string>& Positionals() const { return m_vPositionals; }
    bool Json() const { return Has("json"); }

private:
    std::vector<std::pair<std::string, std::string>> m_vOptions;
    std::set<std::string> m_setFlags;
    std::vector<std::string> m_vPositionals;
};

// Strict number parsing: the whole text must be one number.
std::optional<double> ParseNumber(std::string_view text);
// "a,b,c": exactly count comma-separated numbers.
std::optional<std::vector<double>> ParseNumberList(std::string_view text, size_t count);
std::optional<unsigned long> ParseIndex(std::string_view text);

// Thrown by commands for bad arguments: main prints the text and exits 2.
struct UsageError {
    std::string message;
};
