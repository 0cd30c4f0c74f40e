#pragma once
// The record scan behind the Python module, in plain C++: a form's selected records decoded by the typed
// value scan into column buffers, a batch at a time, so that the interpreter's lock can be released while the
// files are read and the values decoded. Python objects are made from the buffers afterwards.

#include "database/DEInfoRec.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "export/TypedExport.h"
#include "text/CodePage.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace corvane::python {

// What a column holds, from the field's type: whole numbers, other numbers, dates, times, texts and
// choices.
enum class TColumnKind : std::uint8_t { Integer, Real, Date, Time, Text };

// The state of one value of a column.
enum class TCellState : std::uint8_t {
    Null,
    Value,     // Integers / Reals / Days / Seconds / the text, by the column's kind
    WholeReal, // a whole number beyond the 64-bit range, in Reals
    Text,      // a date or time that is no calendar date or time of day: the text the typed scan gives
};

struct TColumnBuffer {
    std::string Name; // the heading name (UTF-8, unique within the form)
    TColumnKind Kind = TColumnKind::Text;
    const TFieldRec* Field = nullptr;
    std::vector<TCellState> States;
    std::vector<std::int64_t> Integers; // Integer: the value; Date: days since 1970-01-01; Time: seconds
    std::vector<double> Reals;          // Real, and WholeReal cells of an Integer column
    // Texts of the Text kind and of Text cells, one after another; TextEnds[i] is the end of row i's text.
    std::string TextBytes;
    std::vector<std::size_t> TextEnds;
    bool AnyWholeReal = false;
    bool AnyText = false; // a Date or Time column holds Text cells
    bool AnyNull = false;

    std::size_t Rows() const { return States.size(); }
    std::string_view TextOf(std::size_t row) const {
        const std::size_t begin = row == 0 ? 0 : TextEnds[row - 1];
        return std::string_view(TextBytes).substr(begin, TextEnds[row] - begin);
    }
};

struct TRecordBatch {
    std::vector<TColumnBuffer> Columns;
    std::vector<std::uint8_t> Deleted; // one flag per row when the selection takes deleted records
    bool WithDeleted = false;
    std::size_t Rows() const { return Columns.empty() ? Deleted.size() : Columns.front().Rows(); }
};

// Reads one form's selected records. The constructor reads the field list and opens the data file; both
// throw what the library throws (EInOutError for files, EDELibError, ERangeError). A missing data file is an
// error unless the catalogue says the form holds no records (DataEase creates the file with the first one).
class TFormReader {
public:
    // raw: texts are delivered as the stored bytes (codePage is then ignored for them).
    TFormReader(TDEInfoRec& database, TFormRec& form, char selection, TCodePage codePage, bool raw);
    TFormReader(const TFormReader&) = delete;
    TFormReader& operator=(const TFormReader&) = delete;

    // An empty batch with the form's columns.
    TRecordBatch NewBatch() const;
    // Appends up to maxRows selected records to batch (which it clears first); 0 rows at the end. Throws
    // EInOutError on a read error.
    std::size_t ReadBatch(TRecordBatch& batch, std::size_t maxRows);
    // After the end: the warning line when the data file held fewer records than the catalogue says, or "".
    std::string ShortFileWarning() const;

private:
    static constexpr std::size_t kChunkRows = 16384;
    static constexpr std::size_t kValuesPerThread = 32768;

    // Decodes the first slots of chunk_ into batch's columns, spread over the processor's cores.
    void DecodeChunk(TRecordBatch& batch, std::size_t slots);

    TDEInfoRec& database_;
    TFormRec& form_;
    char selection_;
    bool raw_;
    std::vector<TTypedColumn> columns_;
    std::vector<TColumnKind> kinds_;
    TTypedContext context_;
    std::unique_ptr<TReadOnlyFile> data_;
    std::unique_ptr<TSlotReader> reader_;
    std::vector<TTypedValue> value_; // one per column, so that threads decoding columns share none
    std::vector<std::uint8_t> chunk_;
    std::uint8_t cutoff_ = 0;
    std::exception_ptr cutoffError_;
    unsigned threads_ = 1;
};

// The form of database whose name is name: first the exact stored bytes, then by name key of the name as
// decoded from codePage. nullptr when none.
TFormRec* FindFormByName(const TDEInfoRec& database, const std::string& name, bool utf8, TCodePage codePage);

// Days since 1970-01-01 of a "YYYY-MM-DD" text naming a calendar date of the years 1 to 9999; false for any
// other text.
bool IsoDateDays(std::string_view text, std::int64_t& days);
// Seconds since midnight of an "HH:MM:SS" text naming a time of day; false for any other text.
bool IsoTimeSeconds(std::string_view text, std::int64_t& seconds);

// Where a database named by a path lies: a dictionary file, or a directory that holds exactly one.
struct TDatabaseLocation {
    std::string Directory; // with a trailing separator
    std::string DictionaryName;
};
// Throws EInOutError (ENOENT) for a path that does not exist or a directory without a dictionary, and
// std::invalid_argument for a directory with several or a dictionary name longer than 12 characters.
TDatabaseLocation LocateDatabase(const std::string& path);

// The DataEase program directory a database is opened with: the one given, else for version 3 the "depath"
// variable of the environment, else none.
std::string DEPathFor(std::uint8_t version, const std::string& given);

} // namespace corvane::python
