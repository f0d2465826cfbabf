// Runs the built ranvista-cli and captures what it prints.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct CliResult {
    int status = -1;
    std::string out;
    nlohmann::json Json() const { return nlohmann::json::parse(out); }
};

// Runs a shell command line, capturing its stdout and exit status.
inline CliResult RunShell(const std::string& cmd) {
    CliResult r;
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

// args are appended to the command line as given (quote them yourself).
inline CliResult RunCli(const std::string& args) {
    return RunShell(std::string("'") + RANVISTA_CLI + "' " + args + " 2>/dev/null");
}

// As RunCli, also keeping what the command wrote on stderr.
struct CliResultWithErr : CliResult {
    std::string err;
};

inline CliResultWithErr RunCliWithErr(const std::string& args) {
    char path[] = "/tmp/ranvista-cli-err-XXXXXX";
    const int fd = mkstemp(path);
    CliResultWithErr r;
    if (fd < 0) {
        return r;
    }
    close(fd);
    static_cast<CliResult&>(r) =
        RunShell(std::string("'") + RANVISTA_CLI + "' " + args + " 2>'" + path + "'");
    if (FILE* f = std::fopen(path, "rb")) {
        std::array<char, 4096> buf{};
        size_t n = 0;
        while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
            r.err.append(buf.data(), n);
        }
        std::fclose(f);
    }
    unlink(path);
    return r;
}
