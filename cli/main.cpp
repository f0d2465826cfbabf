// ranvista-cli: the measurement core of Ranvista on the command line.
#include "cli/Args.h"
#include "cli/Commands.h"

#include <cstdio>
#include <cstring>

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
    {"epipolar", RunEpipolar,
     "epipolar --left PATH --right PATH --pixel X,Y [--from left|right] [--near M]   where the\n"
     "          partner of a pixel can lie in the other image"},
    {"match", RunMatch,
     "match --left PATH --right PATH --pixel X,Y [--from left|right] [--window N]   the partner\n"
     "          of a pixel, matched, and its measurement"},
    {"detect", RunDetect,
     "detect --left PATH --right PATH [--max N] [--rect X,Y,W,H]   corners of the left image\n"
     "          matched into the right, one vertex pair a line"},
};

void PrintUsage(std::FILE* to) {
    std::fprintf(to, "usage: ranvista-cli COMMAND [ARGS] [--json]\n\ncommands:\n");
    for (const auto& c : kCommands) {
        std::fprintf(to, "  %s\n", c.usage);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    for (const auto& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            Tokens tokens(argv + 2, argv + argc);
            try {
                return c.run(tokens);
            } catch (const UsageError& e) {
                std::fprintf(stderr, "ranvista-cli %s: %s\n", c.name, e.message.c_str());
                return 2;
            }
        }
    }
    std::fprintf(stderr, "ranvista-cli: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
