// Runs the built ranvista-cli and captures what it prints.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

struct CliResult {
    int status = -1;
    std::string out;
    nlohmann::json Json() const { return nlohmann::json::parse(out); }
};

// args are appended to the command line as given (quote them yourself).
inline CliResult RunCli(const std::string& args) {
    CliResult r;
    const std::string cmd = std::string("'") + RANVISTA_CLI + "' " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return r;
    }
    std::array<char, 4096> buf{};
    size_t n = 0;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) {
        r.out.append(buf.data(), n);
    }
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
