// libFuzzer target: ExportForm (see fuzz/FuzzEntryPoints.h).

#include "fuzz/FuzzEntryPoints.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::RunExportForm({data, size});
    return 0;
}
