#include "python/FormReader.h"

#include "database/DatabaseList.h"
#include "database/Errors.h"
#include "text/TextUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace corvane::python {

namespace {

TColumnKind KindOf(const TFieldRec& field) {
    switch (field.FieldType) {
    case kFieldNumber:
        return ColumnTypeOf(field) == TColumnType::Integer ? TColumnKind::Integer : TColumnKind::Real;
    case kFieldDate:
        return TColumnKind::Date;
    case kFieldTime:
        return TColumnKind::Time;
    default:
        return TColumnKind::Text;
    }
}

bool Digits(std::string_view text, std::size_t pos, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// The typed scan's text of a raw code page is latin1 in UTF-8; this gives back the stored bytes.
void AppendLatin1Bytes(std::string& out, std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80 || i + 1 == utf8.size()) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        }
    }
}

// Appends one value to column: every kind keeps its arrays one entry per row (Integer: Integers and Reals;
// Real: Reals; Date, Time: Integers and the texts; Text: the texts).
void AddCell(TColumnBuffer& column, const TTypedValue& value, bool raw) {
    TCellState state = TCellState::Null;
    std::int64_t n = 0;
    double real = 0;
    switch (value.Type) {
    case TValueType::Null:
        column.AnyNull = true;
        break;
    case TValueType::Integer:
        state = TCellState::Value;
        n = value.Integer;
        break;
    case TValueType::Real:
        state = column.Kind == TColumnKind::Integer ? TCellState::WholeReal : TCellState::Value;
        column.AnyWholeReal = column.AnyWholeReal || state == TCellState::WholeReal;
        real = value.Real;
        break;
    case TValueType::Text:
        if (column.Kind == TColumnKind::Text) {
            state = TCellState::Value;
            if (raw) {
                AppendLatin1Bytes(column.TextBytes, value.Text);
            } else {
                column.TextBytes += value.Text;
            }
        } else if ((column.Kind == TColumnKind::Date && IsoDateDays(value.Text, n)) ||
                   (column.Kind == TColumnKind::Time && IsoTimeSeconds(value.Text, n))) {
            state = TCellState::Value;
        } else {
            // Stored characters that make no date or time are kept as the text rather than lost.
            state = TCellState::Text;
            column.AnyText = true;
            column.TextBytes += value.Text;
        }
        break;
    }
    column.States.push_back(state);
    switch (column.Kind) {
    case TColumnKind::Integer:
        column.Integers.push_back(n);
        column.Reals.push_back(real);
        break;
    case TColumnKind::Real:
        column.Reals.push_back(real);
        break;
    case TColumnKind::Date:
    case TColumnKind::Time:
        column.Integers.push_back(n);
        column.TextEnds.push_back(column.TextBytes.size());
        break;
    case TColumnKind::Text:
        column.TextEnds.push_back(column.TextBytes.size());
        break;
    }
}

} // namespace

bool IsoDateDays(std::string_view text, std::int64_t& days) {
    int y = 0;
    int m = 0;
    int d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !Digits(text, 0, 4, y) ||
        !Digits(text, 5, 2, m) || !Digits(text, 8, 2, d)) {
        return false;
    }
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) {
        return false;
    }
    days = DaysFromCivil(y, m, d);
    return true;
}

bool IsoTimeSeconds(std::string_view text, std::int64_t& seconds) {
    int h = 0;
    int m = 0;
    int s = 0;
    if (text.size() != 8 || text[2] != ':' || text[5] != ':' || !Digits(text, 0, 2, h) ||
        !Digits(text, 3, 2, m) || !Digits(text, 6, 2, s) || h > 23 || m > 59 || s > 59) {
        return false;
    }
    seconds = h * 3600 + m * 60 + s;
    return true;
}

TFormReader::TFormReader(TDEInfoRec& database, TFormRec& form, char selection, TCodePage codePage, bool raw)
    : database_(database), form_(form), selection_(selection), raw_(raw) {
    const bool withDeleted = selection == kSelectDeleted || selection == kSelectAll;
    const TCodePage textCodePage = raw ? TCodePage::Raw : codePage;
    columns_ = TypedColumns(form.GetFields(), textCodePage == TCodePage::Raw ? TCodePage::Latin1 : codePage,
                            withDeleted);
    for (const TTypedColumn& column : columns_) {
        kinds_.push_back(KindOf(*column.Field));
    }
    value_.resize(columns_.size());
    context_.Version = database.GetVersion();
    context_.StoredDateOrder = ReadDateOrder(database);
    context_.CodePage = textCodePage;
    // Read once here, so that decoding threads never touch the database: a cutoff that cannot be read
    // makes each six-character date NULL, as it would when read at the first such date.
    try {
        cutoff_ = ReadCenturyCutoff(database);
    } catch (const EInOutError&) {
        cutoffError_ = std::current_exception();
    }
    context_.CenturyCutoff = [this]() {
        if (cutoffError_) {
            std::rethrow_exception(cutoffError_);
        }
        return cutoff_;
    };
    threads_ = std::max(1u, std::thread::hardware_concurrency());

    const std::string path = DataFilePath(form);
    try {
        data_ = std::make_unique<TReadOnlyFile>(path);
    } catch (const EInOutError& e) {
        if (e.ErrorCode() != ENOENT || form.RecordCount > 0) {
            throw;
        }
        return;
    }
    reader_ =
        std::make_unique<TSlotReader>(*data_, form.RecordLength, form.RecordCount > 0 ? form.RecordCount : 0);
}

TRecordBatch TFormReader::NewBatch() const {
    TRecordBatch batch;
    batch.WithDeleted = selection_ == kSelectDeleted || selection_ == kSelectAll;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        TColumnBuffer column;
        column.Name = columns_[i].Name;
        column.Kind = kinds_[i];
        column.Field = columns_[i].Field;
        batch.Columns.push_back(std::move(column));
    }
    return batch;
}

std::size_t TFormReader::ReadBatch(TRecordBatch& batch, std::size_t maxRows) {
    for (TColumnBuffer& column : batch.Columns) {
        column.States.clear();
        column.Integers.clear();
        column.Reals.clear();
        column.TextBytes.clear();
        column.TextEnds.clear();
        column.AnyWholeReal = column.AnyText = column.AnyNull = false;
    }
    batch.Deleted.clear();
    if (!reader_) {
        return 0;
    }
    const std::size_t length = form_.RecordLength;
    std::size_t rows = 0;
    while (maxRows == 0 || rows < maxRows) {
        // The selected slots of a chunk side by side, then decoded column by column.
        const std::size_t want = maxRows == 0 ? kChunkRows : std::min(kChunkRows, maxRows - rows);
        chunk_.resize(want * length);
        std::size_t taken = 0;
        while (taken < want) {
            const ByteSpan slot = reader_->Next();
            if (slot.empty()) {
                break;
            }
            if (!SlotSelected(slot[0], selection_)) {
                continue;
            }
            std::copy(slot.begin(), slot.end(), chunk_.begin() + static_cast<std::ptrdiff_t>(taken * length));
            if (batch.WithDeleted) {
                batch.Deleted.push_back(SlotSelected(slot[0], kSelectLive) ? 0 : 1);
            }
            ++taken;
        }
        if (taken == 0) {
            break;
        }
        DecodeChunk(batch, taken);
        rows += taken;
        if (taken < want) {
            break;
        }
    }
    return rows;
}

void TFormReader::DecodeChunk(TRecordBatch& batch, std::size_t slots) {
    const std::size_t length = form_.RecordLength;
    auto decodeColumns = [&](std::size_t first, std::size_t step) {
        for (std::size_t i = first; i < columns_.size(); i += step) {
            TColumnBuffer& column = batch.Columns[i];
            for (std::size_t r = 0; r < slots; ++r) {
                const ByteSpan slot(chunk_.data() + r * length, length);
                DecodeTypedValue(slot, *columns_[i].Field, context_, value_[i]);
                AddCell(column, value_[i], raw_);
            }
        }
    };
    // Columns are independent, so each thread takes every n-th one; a small chunk is not worth a thread.
    const std::size_t threads = std::min<std::size_t>(threads_, columns_.size());
    if (threads <= 1 || slots * columns_.size() < kValuesPerThread) {
        decodeColumns(0, 1);
        return;
    }
    std::vector<std::thread> workers;
    std::vector<std::exception_ptr> errors(threads);
    for (std::size_t t = 1; t < threads; ++t) {
        workers.emplace_back([&, t] {
            try {
                decodeColumns(t, threads);
            } catch (...) {
                errors[t] = std::current_exception();
            }
        });
    }
    try {
        decodeColumns(0, threads);
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (const std::exception_ptr& error : errors) {
        if (error) {
            std::rethrow_exception(error);
        }
    }
}

std::string TFormReader::ShortFileWarning() const {
    if (!reader_) {
        return {};
    }
    std::ostringstream messages;
    WarnIfDataFileShort(messages, form_, *reader_);
    std::string line = messages.str();
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return line;
}

TFormRec* FindFormByName(const TDEInfoRec& database, const std::string& name, bool utf8, TCodePage codePage) {
    if (TFormRec* form = database.FindForm(name); form != nullptr && !utf8) {
        return form;
    }
    if (!utf8) {
        return nullptr;
    }
    const std::string key = UpperCaseAscii(name);
    for (TFormRec* form = database.FirstForm(); form != nullptr; form = form->Next.get()) {
        if (UpperCaseAscii(ToUtf8(form->Name, codePage)) == key) {
            return form;
        }
    }
    return nullptr;
}

TDatabaseLocation LocateDatabase(const std::string& path) {
    if (path.empty()) {
        throw std::invalid_argument("no database given");
    }
    if (IsDirectory(path)) {
        const std::string directory = WithTrailingSeparator(path);
        const std::vector<std::string> found = FindDictionaryFiles(directory);
        if (found.empty()) {
            throw EInOutError(ENOENT, "No DataEase dictionary (rdrr?aaa.dbm) in this directory", path);
        }
        if (found.size() > 1) {
            std::string names;
            for (const std::string& name : found) {
                names += (names.empty() ? "" : ", ") + name;
            }
            throw std::invalid_argument(path + ": several databases in this directory (" + names +
                                        "); name the dictionary file");
        }
        return {directory, found.front()};
    }
    const std::size_t slash = path.find_last_of(kPathSeparator);
    TDatabaseLocation location;
    if (slash == std::string::npos) {
        location.Directory = std::string(".") + kPathSeparator;
        location.DictionaryName = path;
    } else {
        location.Directory = path.substr(0, slash + 1);
        location.DictionaryName = path.substr(slash + 1);
    }
    if (!FileModificationTime(ResolveExistingPath(path))) {
        throw MakeIOError(ENOENT, path);
    }
    if (location.DictionaryName.size() > 12) {
        throw std::invalid_argument(path + ": a dictionary file name has at most 12 characters");
    }
    return location;
}

std::string DEPathFor(std::uint8_t version, const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    if (version == kVersion4x) {
        for (const char* name : {"depath", "DEPATH"}) {
            if (const char* value = std::getenv(name)) {
                return value;
            }
        }
    }
    return {};
}

} // namespace corvane::python
