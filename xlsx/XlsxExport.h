#pragma once
// The workbook of an export run (.xlsx): a worksheet per form with a bold, frozen header row and an
// autofilter, typed cells (numbers, dates, times, texts), and the sheet "_forms" that lists what was
// written. Rows are streamed to disk as they come, so memory stays bounded for forms of millions of records.

#include "export/ExportRun.h"
#include "export/OutputFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// The rows of a worksheet, its header row included.
inline constexpr std::int64_t kXlsxSheetRows = 1048576;
// The characters of a worksheet name.
inline constexpr std::size_t kXlsxSheetNameChars = 31;

// The workbook library refused a write or could not complete the file.
class EXlsxError : public EOutputWriteError {
public:
    using EOutputWriteError::EOutputWriteError;
};

// A worksheet name for utf8Name followed by suffix (" (2)" for a form's second sheet): the characters
// []:*?/\ and control characters replaced by "_", as is an apostrophe at either end; an empty name "Form";
// the name cut so that it and suffix fit 31 characters; unique among taken without regard to case (ASCII
// and Latin-1 letters) by "_2", "_3" ... before suffix. The result is added to taken.
std::string XlsxSheetName(const std::string& utf8Name, std::vector<std::string>& taken,
                          const std::string& suffix = {});

// The writer of the workbook fileName (context.Output is not used: the workbook is built as a file beside
// fileName, under a temporary name until Commit). A form with more rows than a sheet holds (sheetRows, the
// header row included) continues on sheets of its own, "Customers (2)" ... Throws EInOutError when the
// file cannot be created or fileName is a directory or a read-only file.
std::unique_ptr<IOneFileWriter> MakeXlsxWriter(const std::string& fileName, const TOneFileContext& context,
                                               std::int64_t sheetRows = kXlsxSheetRows);

// Adds TOutputFormat::Xlsx to registry.
void RegisterXlsxFormat(TFormatRegistry& registry);

} // namespace corvane
