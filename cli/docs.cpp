// ranvista-cli-docs: writes the manual page or a shell completion of
// ranvista-cli, rendered from the same table as its --help. Used by the build.
#include "cli/Help.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const std::string what = argc == 2 ? argv[1] : "";
    std::string text;
    if (what == "man") {
        text = CliManPage();
    } else if (what == "bash") {
        text = CliBashCompletion();
    } else if (what == "zsh") {
        text = CliZshCompletion();
    } else {
        std::fputs("usage: ranvista-cli-docs man|bash|zsh\n", stderr);
        return 2;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}
