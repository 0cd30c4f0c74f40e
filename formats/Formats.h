#pragma once
// The one-file formats of this build: PostgreSQL always, SQLite and the workbook where their libraries were
// found when the build was configured.

#include "export/ExportRun.h"

namespace corvane {

// Adds every one-file format this build has to registry.
void RegisterBuildFormats(TFormatRegistry& registry);

// Each adds its format when this build has it, and nothing otherwise.
void RegisterSqliteIfBuilt(TFormatRegistry& registry);
void RegisterXlsxIfBuilt(TFormatRegistry& registry);

} // namespace corvane
