// ranvista-cli: the measurement core of Ranvista on the command line.
#include "cli/Args.h"
#include "cli/Help.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

namespace {

std::vector<std::string> CommandNames() {
    std::vector<std::string> names;
    for (const auto& c : CliCommands()) {
        names.push_back(c.name);
    }
    return names;
}

int Print(const std::string& text, std::FILE* to, int status) {
    std::fputs(text.c_str(), to);
    return status;
}

// Standard output is buffered: a full disk or a closed pipe shows only when
// it is flushed. Output that did not arrive whole is a failure.
int FinishOutput(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int err = errno;
        std::fprintf(stderr, "ranvista-cli: write error on standard output: %s\n",
                     std::strerror(err != 0 ? err : EIO));
        return status == 0 ? 1 : status;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Print(CliUsageText(), stderr, 2);
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        if (argc > 2) {
            if (const CommandHelp* c = FindCliCommand(argv[2])) {
                return FinishOutput(Print(CommandHelpText(*c), stdout, 0));
            }
        }
        return FinishOutput(Print(CliUsageText(), stdout, 0));
    }
    if (first == "--version") {
        return FinishOutput(Print(CliVersionText(), stdout, 0));
    }
    const CommandHelp* command = FindCliCommand(first);
    if (command == nullptr) {
        std::string message = "ranvista-cli: unknown command '" + first + "'";
        const std::string_view typed = first.compare(0, 2, "--") == 0
                                           ? std::string_view(first).substr(2)
                                           : std::string_view(first);
        if (const auto near = ClosestName(typed, CommandNames())) {
            message += " (did you mean " + *near + "?)";
        }
        return Print(message + "\n\n" + CliUsageText(), stderr, 2);
    }
    const Tokens tokens(argv + 2, argv + argc);
    switch (FindHelpRequest(*command, tokens)) {
    case HelpRequest::Help:
        return FinishOutput(Print(CommandHelpText(*command), stdout, 0));
    case HelpRequest::Version:
        return FinishOutput(Print(CliVersionText(), stdout, 0));
    case HelpRequest::None:
        break;
    }
    int status = 0;
    try {
        status = command->run(tokens);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "ranvista-cli %s: %s\n(see 'ranvista-cli %s --help')\n",
                     command->name.c_str(), e.message.c_str(), command->name.c_str());
        status = 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ranvista-cli %s: out of memory; the command was stopped\n",
                     command->name.c_str());
        status = 1;
    } catch (const std::exception& e) {
        // A read error deep in a stream (say a file buffer's): a message and
        // a failure, never an abort.
        std::fprintf(stderr, "ranvista-cli %s: %s; the command was stopped\n",
                     command->name.c_str(), e.what());
        status = 1;
    }
    return FinishOutput(status);
}
