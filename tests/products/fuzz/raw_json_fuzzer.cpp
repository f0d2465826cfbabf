// libFuzzer entry: any bytes through the raw json reader.
#include "tests/products/fuzz/ProductInvariants.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem =
        fuzzcheck::CheckRawJsonBytes(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "raw json reader: %s\n", problem.c_str());
        __builtin_trap();
    }
    return 0;
}
