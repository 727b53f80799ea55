// Entry for clang's libFuzzer; the target is chosen at build time.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return MJR_FUZZ_TARGET(data, size);
}
