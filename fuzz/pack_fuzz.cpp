#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fraglane::fuzz::PackInput(data, size);
    return 0;
}
