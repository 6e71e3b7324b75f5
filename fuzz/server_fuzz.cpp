#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fraglane::fuzz::ServerInput(data, size);
    return 0;
}
