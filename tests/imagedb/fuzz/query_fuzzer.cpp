// libFuzzer entry: any bytes as a query export file.
#include "tests/imagedb/fuzz/Invariants.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string problem = fuzzcheck::CheckQueryBytes(bytes);
    if (!problem.empty()) {
        std::fprintf(stderr, "query reader: %s\n", problem.c_str());
        __builtin_trap();
    }
    // The number reader on the same bytes, as one field.
    volatile double v = ParseQueryNumber(bytes);
    (void)v;
    return 0;
}
