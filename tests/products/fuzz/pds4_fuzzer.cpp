// libFuzzer entry: any bytes through the pds4 reader.
#include "tests/products/fuzz/ProductInvariants.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem =
        fuzzcheck::CheckPds4Bytes(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "pds4 reader: %s\n", problem.c_str());
        __builtin_trap();
    }
    return 0;
}
