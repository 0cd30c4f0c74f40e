#include "formats/Formats.h"

#include "export/PostgreSqlScript.h"

namespace corvane {

void RegisterBuildFormats(TFormatRegistry& registry) {
    RegisterPostgreSqlFormat(registry);
    RegisterSqliteIfBuilt(registry);
    RegisterXlsxIfBuilt(registry);
}

} // namespace corvane
