// libFuzzer entry: any bytes as a store stream.
#include "tests/imagedb/fuzz/Invariants.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem =
        fuzzcheck::CheckStoreBytes(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "store reader: %s\n", problem.c_str());
        __builtin_trap();
    }
    return 0;
}
