#include "formats/Formats.h"

namespace corvane {

// This build has no SQLite library: the run reports the format as not available.
void RegisterSqliteIfBuilt(TFormatRegistry& /*registry*/) {}

} // namespace corvane
