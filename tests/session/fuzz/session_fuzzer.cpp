// libFuzzer entry: any bytes through the session reader.
#include "tests/session/fuzz/SessionInvariants.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem =
        fuzzcheck::CheckSessionBytes(std::string(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "session: %s\n", problem.c_str());
        __builtin_trap();
    }
    return 0;
}
