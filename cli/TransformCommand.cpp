#include "cli/Args.h"
#include "cli/Commands.h"

int RunTransform(const Tokens&) {
    throw UsageError{"'transform' is not available in this build yet"};
}
