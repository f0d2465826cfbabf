// libFuzzer entry: any bytes through the session reader, then through the
// CSV and PLY exports of whatever it reads.
#include "tests/session/fuzz/SessionInvariants.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem =
        fuzzcheck::CheckExportBytes(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "export: %s\n", problem.c_str());
        __builtin_trap();
    }
    return 0;
}
