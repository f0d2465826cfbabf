// libFuzzer entry: any bytes as a store stream.
#include "tests/imagedb/fuzz/Invariants.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// One folder for the whole run, in memory when the system has such a place.
const std::string& Folder() {
    static const std::string folder = [] {
        std::string pattern =
            (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
            "/rv_store_fuzz_XXXXXX";
        return mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string problem = fuzzcheck::CheckStoreBytes(bytes);
    if (problem.empty()) {
        problem = fuzzcheck::CheckStoreFileBytes(bytes, Folder());
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "store reader: %s\n", problem.c_str());
        __builtin_trap();
    }
    return 0;
}
