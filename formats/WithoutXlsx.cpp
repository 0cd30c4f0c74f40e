#include "formats/Formats.h"

namespace corvane {

// This build has no workbook library: the run reports the format as not available.
void RegisterXlsxIfBuilt(TFormatRegistry& /*registry*/) {}

} // namespace corvane
