#include "cli/Args.h"

#include "cli/Help.h"

#include <cerrno>
#include <cstdlib>

std::optional<Args> Args::Parse(const std::vector<std::string>& tokens, const OptionSet& options,
                                std::string& error) {
    Args out;
    bool onlyPositional = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (onlyPositional || t.size() < 3 || t.compare(0, 2, "--") != 0) {
            if (!onlyPositional && t == "--") {
                onlyPositional = true;
                continue;
            }
            out.m_vPositionals.push_back(t);
            continue;
        }
        const auto eq = t.find('=');
        const std::string name = t.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        if (name == "json" || options.flags.count(name) != 0) {
            if (eq != std::string::npos) {
                error = "option --" + name + " takes no value";
                return std::nullopt;
            }
            out.m_setFlags.insert(name);
        } else if (options.values.count(name) != 0) {
            if (eq != std::string::npos) {
                out.m_vOptions.emplace_back(name, t.substr(eq + 1));
            } else if (i + 1 < tokens.size()) {
                out.m_vOptions.emplace_back(name, tokens[++i]);
            } else {
                error = "option --" + name + " needs a value";
                return std::nullopt;
            }
        } else {
            error = "unknown option --" + name;
            std::vector<std::string> known(options.flags.begin(), options.flags.end());
            known.insert(known.end(), options.values.begin(), options.values.end());
            for (const auto& common : CommonOptions()) {
                known.push_back(common.name);
            }
            if (const auto near = ClosestName(name, known)) {
                error += " (did you mean --" + *near + "?)";
            }
            return std::nullopt;
        }
    }
    return out;
}

bool Args::Has(const std::string& name) const {
    if (m_setFlags.count(name) != 0) {
        return true;
    }
    for (const auto& [n, v] : m_vOptions) {
        if (n == name) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> Args::Value(const std::string& name) const {
    std::optional<std::string> v;
    for (const auto& [n, val] : m_vOptions) {
        if (n == name) {
            v = val;
        }
    }
    return v;
}

std::vector<std::string> Args::Values(const std::string& name) const {
    std::vector<std::string> v;
    for (const auto& [n, val] : m_vOptions) {
        if (n == name) {
            v.push_back(val);
        }
    }
    return v;
}

std::optional<double> ParseNumber(std::string_view text) {
    const std::string s(text);
    if (s.empty() || s.find_first_of(" \t\n") != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE) {
        return std::nullopt;
    }
    return v;
}

std::optional<std::vector<double>> ParseNumberList(std::string_view text, size_t count) {
    std::vector<double> out;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const auto part =
            text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        const auto v = ParseNumber(part);
        if (!v) {
            return std::nullopt;
        }
        out.push_back(*v);
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (out.size() != count) {
        return std::nullopt;
    }
    return out;
}

std::optional<unsigned long> ParseIndex(std::string_view text) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    unsigned long v = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') {
            return std::nullopt;
        }
        v = v * 10 + static_cast<unsigned long>(ch - '0');
    }
    if (v > 0xFFFFFFFFul) {
        return std::nullopt;
    }
    return v;
}
