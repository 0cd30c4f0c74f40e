#include "formats/Formats.h"

#include "sqlite/SqliteExport.h"

namespace corvane {

void RegisterSqliteIfBuilt(TFormatRegistry& registry) {
    RegisterSqliteFormat(registry);
}

} // namespace corvane
