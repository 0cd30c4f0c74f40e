// libFuzzer target: Dictionary (see fuzz/FuzzEntryPoints.h).

#include "fuzz/FuzzEntryPoints.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::RunDictionary({data, size});
    return 0;
}
