#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fraglane::fuzz::ShaderInput(data, size);
    return 0;
}
