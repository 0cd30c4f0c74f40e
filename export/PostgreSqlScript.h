#pragma once
// The PostgreSQL script of an export run: one transaction that creates a table of typed columns per form,
// loads its records in a COPY block of the text format, and lists the forms in the table "_forms". psql runs
// it as it is (psql -v ON_ERROR_STOP=1 -f FILE, or from standard output through a pipe).

#include "export/ExportRun.h"
#include "export/SqlSchema.h"
#include "export/TypedValues.h"

#include <memory>
#include <string>
#include <string_view>

namespace corvane {

// Appends text escaped for a COPY block of the text format: backslash, tab, line feed and carriage return
// as \\, \t, \n and \r. A NUL byte, which no PostgreSQL text can hold, is left out.
void AppendCopyText(std::string& out, std::string_view text);

// Appends the COPY text of value in a column of type: \N for NULL, and for a value that the column cannot
// hold (a date or time that is not one on the calendar or the clock, a number beyond its numeric or
// integer range), so that one odd value does not abort the script's transaction.
void AppendCopyValue(std::string& out, const TTypedValue& value, const TPostgreSqlType& type);

// The writer of the script fileName, created through context.Output (the file system when it is null).
// Throws EInOutError when the output cannot be created.
std::unique_ptr<IOneFileWriter> MakePostgreSqlWriter(const std::string& fileName,
                                                     const TOneFileContext& context);

// Adds TOutputFormat::PostgreSql to registry. The writer needs no library, so every build has it.
void RegisterPostgreSqlFormat(TFormatRegistry& registry);

} // namespace corvane
