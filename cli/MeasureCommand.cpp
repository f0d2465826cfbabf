#include "cli/Args.h"
#include "cli/Commands.h"

int RunMeasure(const Tokens&) {
    throw UsageError{"'measure' is not available in this build yet"};
}
