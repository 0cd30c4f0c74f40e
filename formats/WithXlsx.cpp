#include "formats/Formats.h"

#include "xlsx/XlsxExport.h"

namespace corvane {

void RegisterXlsxIfBuilt(TFormatRegistry& registry) {
    RegisterXlsxFormat(registry);
}

} // namespace corvane
