#include "cli/Args.h"
#include "cli/Commands.h"

int RunDb(const Tokens&) {
    throw UsageError{"'db' is not available in this build yet"};
}
