// ranvista-cli: the measurement core of Ranvista on the command line.
#include "cli/Args.h"
#include "cli/Commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

struct Command {
    const char* name;
    int (*run)(const Tokens&);
    const char* usage;
};

const Command kCommands[] = {
    {"decode", RunDecode, "decode NAME                      camera and sol time of a product name"},
    {"ray", RunRay, "ray CAMERA X Y [--record S,QX,QY,QZ,AZ,EL]   viewing ray of a pixel"},
    {"intersect", RunIntersect,
     "intersect LEFT RIGHT XL YL XR YR [--2d] [--az-corr L,R] [--left-record R]\n"
     "          [--right-record R] [--rl-vector X,Y,Z]   stereo intersection"},
    {"db", RunDb, "db info|find|import|init|update|merge|reload|dump [--db PATH]   image database"},
    {"measure", RunMeasure,
     "measure --left PATH --right PATH --pixels XL,YL,XR,YR [...] | --batch FILE   range "
     "calculation"},
    {"transform", RunTransform,
     "transform SOURCE REFERENCE S1 S2 S3 R1 R2 R3   register one vertex file onto another"},
};

void PrintUsage(std::FILE* to) {
    std::fprintf(to, "usage: ranvista-cli COMMAND [ARGS] [--json]\n\ncommands:\n");
    for (const auto& c : kCommands) {
        std::fprintf(to, "  %s\n", c.usage);
    }
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
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return FinishOutput(0);
    }
    for (const auto& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            Tokens tokens(argv + 2, argv + argc);
            int status = 0;
            try {
                status = c.run(tokens);
            } catch (const UsageError& e) {
                std::fprintf(stderr, "ranvista-cli %s: %s\n", c.name, e.message.c_str());
                status = 2;
            } catch (const std::bad_alloc&) {
                std::fprintf(stderr, "ranvista-cli %s: out of memory; the command was stopped\n",
                             c.name);
                status = 1;
            }
            return FinishOutput(status);
        }
    }
    std::fprintf(stderr, "ranvista-cli: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
