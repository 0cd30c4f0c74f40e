// libFuzzer target: Definition5x (see fuzz/FuzzEntryPoints.h).

#include "fuzz/FuzzEntryPoints.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::RunDefinition5x({data, size});
    return 0;
}
