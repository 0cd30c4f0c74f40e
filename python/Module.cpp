// The C++ half of the Python module "corvane" (imported as corvane._corvane; the package's __init__.py
// builds the public classes on it). Every C++ exception is turned into a Python one here; the interpreter's
// lock is released while files are read and values decoded, and each database is guarded by a lock of its own
// so that threads sharing one never meet inside the library.

#include "python/FormReader.h"

#include "database/DatabaseList.h"
#include "database/Errors.h"
#include "export/ExportRun.h"
#include "formats/Formats.h"
#include "text/TextUtils.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <datetime.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace py = pybind11;

namespace corvane::python {

namespace {

// The module's own failures that are not the library's: a closed database, a form that does not exist.
class EModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EFormNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

PyObject* gError = nullptr;
PyObject* gDatabaseError = nullptr;
PyObject* gFormNotFoundError = nullptr;
PyObject* gDataFileWarning = nullptr;
PyObject* gExportWarning = nullptr;

py::object FsDecode(const std::string& path) {
    return py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(path.data(), path.size()));
}

py::str Utf8(std::string_view text) {
    return py::reinterpret_steal<py::str>(PyUnicode_DecodeUTF8(text.data(), text.size(), "replace"));
}

void SetInOutError(const EInOutError& e) {
    if (e.ErrorCode() == kIOReadBeyondEnd) {
        // A file shorter than its own contents say: the database is damaged, not unreachable.
        PyErr_SetString(gDatabaseError, DescribeError(e).c_str());
        return;
    }
    py::object fileName = e.FileName().empty() ? py::none() : FsDecode(e.FileName());
    // OSError picks the subclass of the code (FileNotFoundError, IsADirectoryError ...).
    py::tuple args = py::make_tuple(e.ErrorCode(), Utf8(e.what()), fileName);
    PyErr_SetObject(PyExc_OSError, args.ptr());
}

void TranslateException(std::exception_ptr error) {
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const py::error_already_set&) {
        throw;
    } catch (const py::builtin_exception&) {
        throw;
    } catch (const EInOutError& e) {
        SetInOutError(e);
    } catch (const EFormNotFound& e) {
        PyErr_SetString(gFormNotFoundError, e.what());
    } catch (const EDatabaseError& e) {
        PyErr_SetString(gDatabaseError, e.what());
    } catch (const EDELibError& e) {
        PyErr_SetString(gDatabaseError, e.what());
    } catch (const ERangeError& e) {
        PyErr_SetString(gDatabaseError, e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::invalid_argument& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const std::exception& e) {
        PyErr_SetString(gError, e.what());
    }
}

// Runs reading, which may throw the library's errors, and names the form in those that do not name a file.
template <class F> auto NamingForm(const std::string& formName, F&& reading) {
    try {
        return reading();
    } catch (const EDELibError& e) {
        throw EDatabaseError("form " + formName + ": " + e.what());
    } catch (const ERangeError& e) {
        throw EDatabaseError("form " + formName + ": " + e.what());
    }
}

char SelectionOf(const std::string& records) {
    if (records == "live") {
        return kSelectLive;
    }
    if (records == "deleted") {
        return kSelectDeleted;
    }
    if (records == "all") {
        return kSelectAll;
    }
    throw std::invalid_argument("records must be \"live\", \"deleted\" or \"all\", not \"" + records + "\"");
}

struct TDatabaseState {
    std::mutex Lock;
    std::unique_ptr<TDEInfoRec> Database; // nullptr once closed
    std::string Path;
    std::uint8_t Version = 0;
    TCodePage NameCodePage = TCodePage::Cp437; // names, field names and choices are decoded with it
};

// ---------------------------------------------------------------------------------------------------------
// Column buffers to Python objects (the interpreter's lock held).

template <class T> py::array VectorArray(std::vector<T>&& values, py::dtype dtype) {
    auto* owned = new std::vector<T>(std::move(values));
    py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    const std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(owned->size())};
    const std::vector<py::ssize_t> strides{static_cast<py::ssize_t>(sizeof(T))};
    return py::array(dtype, shape, strides, owned->data(), owner);
}

py::array MaskOf(const TColumnBuffer& column) {
    std::vector<std::uint8_t> mask(column.Rows());
    for (std::size_t i = 0; i < mask.size(); ++i) {
        mask[i] = column.States[i] == TCellState::Null ? 1 : 0;
    }
    return VectorArray(std::move(mask), py::dtype("bool"));
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

// One Python object per cell, in a NumPy object array.
py::array ObjectColumn(const TColumnBuffer& column, bool raw) {
    const std::size_t rows = column.Rows();
    py::array cells = py::module_::import("numpy").attr("empty")(rows, "object");
    auto** data = static_cast<PyObject**>(cells.mutable_data());
    // Choices repeat a few texts: one object each.
    std::unordered_map<std::string_view, py::object> choices;
    const bool choice = column.Field != nullptr && column.Field->FieldType == kFieldChoice;
    for (std::size_t i = 0; i < rows; ++i) {
        py::object value = py::none();
        switch (column.States[i]) {
        case TCellState::Null:
            break;
        case TCellState::WholeReal:
            value = py::reinterpret_steal<py::object>(PyLong_FromDouble(column.Reals[i]));
            break;
        case TCellState::Text:
            value = Utf8(column.TextOf(i));
            break;
        case TCellState::Value:
            switch (column.Kind) {
            case TColumnKind::Integer:
                value = py::int_(column.Integers[i]);
                break;
            case TColumnKind::Real:
                value = py::float_(column.Reals[i]);
                break;
            case TColumnKind::Date: {
                int y = 0;
                int m = 0;
                int d = 0;
                CivilFromDays(column.Integers[i], y, m, d);
                value = py::reinterpret_steal<py::object>(PyDate_FromDate(y, m, d));
                break;
            }
            case TColumnKind::Time: {
                const auto s = static_cast<int>(column.Integers[i]);
                value = py::reinterpret_steal<py::object>(PyTime_FromTime(s / 3600, s / 60 % 60, s % 60, 0));
                break;
            }
            case TColumnKind::Text: {
                const std::string_view text = column.TextOf(i);
                if (raw) {
                    value = py::bytes(text.data(), text.size());
                } else if (choice) {
                    auto [it, added] = choices.try_emplace(text);
                    if (added) {
                        it->second = Utf8(text);
                    }
                    value = it->second;
                } else {
                    value = Utf8(text);
                }
                break;
            }
            }
            break;
        }
        if (!value) {
            throw py::error_already_set();
        }
        Py_XDECREF(data[i]);
        data[i] = value.release().ptr();
    }
    return cells;
}

const char* KindName(TColumnKind kind) {
    switch (kind) {
    case TColumnKind::Integer:
        return "int";
    case TColumnKind::Real:
        return "float";
    case TColumnKind::Date:
        return "date";
    case TColumnKind::Time:
        return "time";
    case TColumnKind::Text:
        return "text";
    }
    return "text";
}

// A list of (name, kind, data, mask) per column: data a NumPy array (int64, float64, int64 days for dates
// with NaT for none, or objects), mask a boolean array of the empty values or None.
py::list BatchToPython(TRecordBatch& batch, bool raw) {
    py::list columns;
    for (TColumnBuffer& column : batch.Columns) {
        py::object data;
        py::object mask = py::none();
        if (column.Kind == TColumnKind::Integer && !column.AnyWholeReal) {
            mask = MaskOf(column);
            data = VectorArray(std::move(column.Integers), py::dtype("int64"));
        } else if (column.Kind == TColumnKind::Real) {
            mask = MaskOf(column);
            data = VectorArray(std::move(column.Reals), py::dtype("float64"));
        } else if (column.Kind == TColumnKind::Date && !column.AnyText) {
            for (std::size_t i = 0; i < column.Rows(); ++i) {
                if (column.States[i] == TCellState::Null) {
                    column.Integers[i] = INT64_MIN; // NumPy's NaT
                }
            }
            data = VectorArray(std::move(column.Integers), py::dtype("int64"));
        } else {
            data = ObjectColumn(column, raw);
        }
        columns.append(py::make_tuple(Utf8(column.Name), KindName(column.Kind), data, mask));
        // Released column by column, so the buffers and the objects made of them are not all held at once.
        column = TColumnBuffer{};
    }
    if (batch.WithDeleted) {
        columns.append(py::make_tuple(py::str(std::string(kDeletedColumn)), "bool",
                                      VectorArray(std::move(batch.Deleted), py::dtype("bool")), py::none()));
    }
    return columns;
}

void WarnShort(const std::string& warning) {
    if (!warning.empty() && PyErr_WarnEx(gDataFileWarning, warning.c_str(), 2) != 0) {
        throw py::error_already_set();
    }
}

// ---------------------------------------------------------------------------------------------------------

struct TEncoding {
    TCodePage CodePage = TCodePage::Cp437;
    bool Raw = false;
};

// Runs f on the open database of state, holding its lock, with the interpreter's lock released.
template <class F> auto WithState(TDatabaseState& state, F&& f) {
    py::gil_scoped_release release;
    std::lock_guard lock(state.Lock);
    if (!state.Database) {
        throw EModuleError("the database " + state.Path + " is closed");
    }
    return f(*state.Database);
}

class TPyDatabase {
public:
    template <class F> auto WithDatabase(F&& f) const { return WithState(*state_, std::forward<F>(f)); }

    TPyDatabase(const std::string& path, const std::string& depath)
        : state_(std::make_shared<TDatabaseState>()) {
        py::gil_scoped_release release;
        TDatabaseLocation location;
        try {
            location = LocateDatabase(path);
        } catch (const std::invalid_argument& e) {
            throw EModuleError(e.what());
        }
        auto database = std::make_unique<TDEInfoRec>();
        database->SetDirectory(location.Directory);
        database->SetDictionaryName(location.DictionaryName);
        const std::string dictionary = location.Directory + location.DictionaryName;
        try {
            database->Load();
        } catch (const ERangeError& e) {
            throw EDatabaseError(dictionary + ": " + e.what());
        } catch (const EDELibError& e) {
            throw EDatabaseError(dictionary + ": " + e.what());
        }
        database->SetDEPath(DEPathFor(database->GetVersion(), depath));
        state_->Version = database->GetVersion();
        state_->NameCodePage = DefaultCodePage(database->GetVersion());
        state_->Path = dictionary;
        state_->Database = std::move(database);
    }

    int Version() const { return state_->Version; }
    py::str Name() {
        const std::string name = WithDatabase([](TDEInfoRec& db) { return db.GetDisplayName(); });
        return Utf8(ToUtf8(name, state_->NameCodePage));
    }
    py::object Path() const { return FsDecode(state_->Path); }
    py::object DEPath() {
        return FsDecode(WithDatabase([](TDEInfoRec& db) { return db.GetDEPath(); }));
    }
    bool Closed() const { return state_->Database == nullptr; }
    void Close() {
        py::gil_scoped_release release;
        std::lock_guard lock(state_->Lock);
        state_->Database.reset();
    }

    py::list Forms() {
        struct TFormInfo {
            std::string Name, DataFile;
            int RecordLength, RecordCount, VariantLevel;
            bool SystemForm;
        };
        const std::vector<TFormInfo> forms = WithDatabase([](TDEInfoRec& db) {
            std::vector<TFormInfo> list;
            for (const TFormRec* form = db.FirstForm(); form != nullptr; form = form->Next.get()) {
                list.push_back({form->Name, form->DataFile, form->RecordLength, form->RecordCount,
                                form->VariantLevel, form->SystemForm});
            }
            return list;
        });
        py::list result;
        for (const TFormInfo& f : forms) {
            result.append(py::make_tuple(Utf8(ToUtf8(f.Name, state_->NameCodePage)),
                                         Utf8(ToUtf8(f.DataFile, state_->NameCodePage)), f.RecordLength,
                                         f.RecordCount, f.SystemForm, f.VariantLevel));
        }
        return result;
    }

    py::list Fields(const py::object& formName) {
        struct TFieldInfo {
            std::string Name;
            int Type, Length, SubType, IntDigits;
            std::vector<std::string> Choices;
            bool First, Hidden;
        };
        const auto [label, bytes, utf8] = FormArgument(formName);
        const std::vector<TFieldInfo> fields = WithDatabase([&](TDEInfoRec& db) {
            TFormRec* form = Find(db, label, bytes, utf8);
            return NamingForm(label, [&] {
                std::vector<TFieldInfo> list;
                for (const TFieldRec* f = form->GetFields(); f != nullptr; f = f->Next.get()) {
                    std::vector<std::string> choices;
                    if (f->FieldType == kFieldChoice && f->Choices.size() > 1) {
                        choices.assign(f->Choices.begin() + 1, f->Choices.end());
                    }
                    list.push_back({f->Name, f->FieldType, f->Length, f->SubType, f->IntDigits, choices,
                                    f->Flag3, f->Flag7});
                }
                return list;
            });
        });
        py::list result;
        for (const TFieldInfo& f : fields) {
            py::list choices;
            for (const std::string& c : f.Choices) {
                choices.append(Utf8(ToUtf8(c, state_->NameCodePage)));
            }
            result.append(py::make_tuple(Utf8(ToUtf8(f.Name, state_->NameCodePage)), f.Type, f.Length,
                                         f.SubType, f.IntDigits, py::tuple(choices), f.First, f.Hidden));
        }
        return result;
    }

    py::list Read(const py::object& formName, const std::string& records, const py::object& encoding) {
        const char selection = SelectionOf(records);
        const auto [label, bytes, utf8] = FormArgument(formName);
        const TEncoding enc = EncodingOf(encoding);
        TRecordBatch batch;
        std::string warning;
        WithDatabase([&](TDEInfoRec& db) {
            TFormRec* form = Find(db, label, bytes, utf8);
            NamingForm(label, [&] {
                TFormReader reader(db, *form, selection, enc.CodePage, enc.Raw);
                batch = reader.NewBatch();
                reader.ReadBatch(batch, 0);
                warning = reader.ShortFileWarning();
                return 0;
            });
            return 0;
        });
        WarnShort(warning);
        return BatchToPython(batch, enc.Raw);
    }

    std::shared_ptr<TDatabaseState> State() const { return state_; }

    // None: the version's code page; "raw": the stored bytes; otherwise a code page's name.
    TEncoding EncodingOf(const py::object& encoding) const {
        if (encoding.is_none()) {
            return {state_->NameCodePage, false};
        }
        const std::string name = py::str(encoding).cast<std::string>();
        const std::optional<TCodePage> codePage = CodePageByName(name);
        if (!codePage) {
            throw std::invalid_argument("unknown encoding \"" + name +
                                        "\"; known: " + std::string(CodePageNames()));
        }
        return {*codePage, *codePage == TCodePage::Raw};
    }

    // The form argument: its label for messages, the bytes to look up, and whether they are a str's UTF-8
    // to be matched against the decoded names.
    std::tuple<std::string, std::string, bool> FormArgument(const py::object& formName) const {
        if (py::isinstance<py::bytes>(formName)) {
            const std::string bytes = formName.cast<std::string>();
            return {ToUtf8(bytes, state_->NameCodePage), bytes, false};
        }
        if (py::isinstance<py::str>(formName)) {
            const std::string text = formName.cast<std::string>();
            return {text, text, true};
        }
        throw py::type_error("a form is named by a str or bytes");
    }

    TFormRec* Find(TDEInfoRec& db, const std::string& label, const std::string& name, bool utf8) const {
        TFormRec* form = FindFormByName(db, name, utf8, state_->NameCodePage);
        if (form == nullptr) {
            throw EFormNotFound("no form named \"" + label + "\" in " + state_->Path);
        }
        return form;
    }

private:
    std::shared_ptr<TDatabaseState> state_;
};

// Streams a form's records in batches. Holds the data file open until the end, or until closed.
class TRecordIterator {
public:
    TRecordIterator(TPyDatabase& database, const py::object& formName, const std::string& records,
                    const py::object& encoding, std::size_t batchRows)
        : state_(database.State()), batchRows_(batchRows) {
        if (batchRows == 0) {
            throw std::invalid_argument("batch must be at least 1");
        }
        const char selection = SelectionOf(records);
        const auto [label, bytes, utf8] = database.FormArgument(formName);
        encoding_ = database.EncodingOf(encoding);
        database.WithDatabase([&](TDEInfoRec& db) {
            TFormRec* form = database.Find(db, label, bytes, utf8);
            NamingForm(label, [&] {
                reader_ =
                    std::make_unique<TFormReader>(db, *form, selection, encoding_.CodePage, encoding_.Raw);
                return 0;
            });
            return 0;
        });
    }

    py::list Next() {
        if (!reader_) {
            throw py::stop_iteration();
        }
        TRecordBatch batch = reader_->NewBatch();
        std::string warning;
        const std::size_t rows = WithState(*state_, [&](TDEInfoRec&) {
            const std::size_t n = reader_->ReadBatch(batch, batchRows_);
            if (n == 0) {
                warning = reader_->ShortFileWarning();
            }
            return n;
        });
        if (rows == 0) {
            Close();
            WarnShort(warning);
            throw py::stop_iteration();
        }
        return BatchToPython(batch, encoding_.Raw);
    }

    void Close() {
        py::gil_scoped_release release;
        std::lock_guard lock(state_->Lock);
        reader_.reset();
    }

private:
    std::shared_ptr<TDatabaseState> state_;
    std::size_t batchRows_;
    TEncoding encoding_;
    std::unique_ptr<TFormReader> reader_;
};

// The export run's messages are kept for the interpreter's thread; an interrupt (Ctrl-C) asked between
// forms and batches ends the run early.
class TPyObserver final : public IExportObserver {
public:
    void Message(const std::string& line) override {
        std::lock_guard lock(lock_);
        messages_.push_back(line);
    }
    bool CancelRequested() override {
        if (interrupted_) {
            return true;
        }
        py::gil_scoped_acquire acquire;
        if (PyErr_CheckSignals() != 0) {
            interrupt_ = std::make_unique<py::error_already_set>();
            interrupted_ = true;
        }
        return interrupted_;
    }
    std::vector<std::string> Messages() {
        std::lock_guard lock(lock_);
        return messages_;
    }
    // Raises the interrupt that ended the run, if one did.
    void RaiseInterrupt() {
        if (interrupt_) {
            interrupt_->restore();
            interrupt_.reset();
            throw py::error_already_set();
        }
    }

private:
    std::mutex lock_;
    std::vector<std::string> messages_;
    std::unique_ptr<py::error_already_set> interrupt_;
    bool interrupted_ = false;
};

template <class T> T TakeOption(py::dict& options, const char* name, T fallback) {
    if (!options.contains(name)) {
        return fallback;
    }
    py::object value = options[name];
    PyDict_DelItemString(options.ptr(), name);
    return value.is_none() ? fallback : value.cast<T>();
}

// Runs the export run over forms (None: every form the form list shows) into out, with options as the
// command-line tool names them. Returns (per-form results, summary, messages).
py::tuple Export(TPyDatabase& db, const std::string& out, const std::string& format, const py::object& forms,
                 py::dict options) {
    TExportOptions run;
    const std::optional<TOutputFormat> outputFormat = FormatByName(format == "delimited" ? "csv" : format);
    if (!outputFormat) {
        throw std::invalid_argument("unknown format \"" + format + "\"");
    }
    run.Format = *outputFormat;
    run.Destination = out;
    const char selection = SelectionOf(TakeOption<std::string>(options, "records", "live"));
    run.Extension = TakeOption<std::string>(options, "extension", run.Extension);
    const std::string delimiter = TakeOption<std::string>(options, "delimiter", ",");
    if (delimiter.size() != 1) {
        throw std::invalid_argument("delimiter takes one character, not \"" + delimiter + "\"");
    }
    run.Delimiter = delimiter[0];
    run.HeadingQualifier = TakeOption<bool>(options, "quote_headings", false) ? "\"" : "";
    const std::string dates = TakeOption<std::string>(options, "dates", "british");
    if (dates == "british") {
        run.OutputDateOrder = TDateOrder::British;
    } else if (dates == "american") {
        run.OutputDateOrder = TDateOrder::American;
    } else if (dates == "metric") {
        run.OutputDateOrder = TDateOrder::Metric;
    } else {
        throw std::invalid_argument("dates must be \"british\", \"american\" or \"metric\", not \"" + dates +
                                    "\"");
    }
    const std::string numericNull = TakeOption<std::string>(options, "numeric_null", "zero");
    if (numericNull != "zero" && numericNull != "blank") {
        throw std::invalid_argument("numeric_null must be \"zero\" or \"blank\", not \"" + numericNull +
                                    "\"");
    }
    run.NumericNull = numericNull == "zero" ? 0 : 1;
    if (options.contains("encoding")) {
        const py::object encoding = options["encoding"];
        PyDict_DelItemString(options.ptr(), "encoding");
        if (!encoding.is_none()) {
            run.Encoding = db.EncodingOf(encoding).CodePage;
        }
    }
    run.ShortDateFormat = TakeOption<std::string>(options, "short_date_format", "");
    run.Schema = TakeOption<std::string>(options, "schema", "");
    run.DropTables = TakeOption<bool>(options, "drop_tables", false);
    if (!options.empty()) {
        throw py::type_error("export() got an unknown option: " +
                             py::str(options.begin()->first).cast<std::string>());
    }
    if (const auto problem = CheckExportOptions(run)) {
        throw std::invalid_argument(*problem);
    }
    std::vector<std::string> entries;
    const bool everyForm = forms.is_none();
    if (!everyForm) {
        for (const py::handle entry : forms) {
            entries.push_back(entry.cast<std::string>());
        }
    }

    TPyObserver observer;
    TRunResult result;
    std::vector<std::string> leftOutLines;
    WithState(*db.State(), [&](TDEInfoRec& database) {
        TExportPlan plan;
        if (everyForm) {
            std::vector<TLeftOutForm> leftOut;
            plan = PlanOfEveryForm(database, selection, &leftOut);
            for (const TLeftOutForm& form : leftOut) {
                leftOutLines.push_back("form " + form.Form->Name +
                                       " left out: its definition is found neither "
                                       "in the DataEase program directory nor beside the database (" +
                                       form.Reason + ")");
            }
        } else {
            for (const std::string& entry : entries) {
                plan.push_back(ResolveFormEntry(database, entry, selection));
            }
        }
        TFormatRegistry formats;
        RegisterBuildFormats(formats);
        TRunSetup setup;
        setup.Formats = &formats;
        result = RunExport(database, plan, run, observer, setup);
        return 0;
    });
    observer.RaiseInterrupt();

    const TCodePage names = DefaultCodePage(db.Version());
    py::list results;
    for (const TFormResult& form : result.Forms) {
        py::dict item;
        item["form"] = form.Form != nullptr ? py::object(Utf8(ToUtf8(form.Form->Name, names))) : py::none();
        item["label"] = Utf8(ToUtf8(form.Label, names));
        item["selection"] = py::str(std::string(1, form.Selection));
        item["found"] = form.Found;
        item["written"] = form.Written;
        item["file"] = form.FileName.empty() ? py::object(py::none()) : FsDecode(form.FileName);
        item["table"] = form.Table.empty() ? py::object(py::none()) : py::object(Utf8(form.Table));
        item["records_written"] = form.RecordsWritten;
        item["slots_read"] = form.SlotsRead;
        item["columns"] = form.Columns;
        item["data_file_short"] = form.DataFileShort;
        item["error"] =
            form.Error.empty() ? py::object(py::none()) : py::object(Utf8(ToUtf8(form.Error, names)));
        results.append(item);
    }
    py::dict summary;
    summary["forms"] = result.Summary.Forms;
    summary["exported"] = result.Summary.Exported;
    summary["failed"] = result.Summary.Failed;
    summary["records"] = result.Summary.Records;
    summary["cancelled"] = result.Summary.Cancelled;
    summary["code_page"] = py::str(std::string(CodePageName(result.Summary.CodePage)));
    summary["file"] =
        result.Summary.OneFile.empty() ? py::object(py::none()) : FsDecode(result.Summary.OneFile);
    py::list messages;
    for (const std::string& line : leftOutLines) {
        messages.append(Utf8(ToUtf8(line, names)));
    }
    for (const std::string& line : observer.Messages()) {
        messages.append(Utf8(ToUtf8(line, names)));
    }
    return py::make_tuple(results, summary, messages);
}

// The databases of directory, and with recursive of every directory below it, in path order.
py::list Databases(const std::string& directory, bool recursive) {
    struct TFound {
        std::string Path;
        TDatabaseEntry Entry;
    };
    std::vector<TFound> found;
    {
        py::gil_scoped_release release;
        if (!IsDirectory(directory)) {
            throw MakeIOError(FileModificationTime(directory) ? ENOTDIR : ENOENT, directory);
        }
        std::vector<std::string> directories{WithTrailingSeparator(directory)};
        if (recursive) {
            std::error_code ec;
            std::vector<std::string> below;
            for (auto it = std::filesystem::recursive_directory_iterator(
                     directory, std::filesystem::directory_options::skip_permission_denied, ec);
                 !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
                if (it->is_directory(ec) && !it->is_symlink(ec)) {
                    below.push_back(WithTrailingSeparator(it->path().string()));
                }
            }
            std::sort(below.begin(), below.end());
            directories.insert(directories.end(), below.begin(), below.end());
        }
        for (const std::string& dir : directories) {
            const TDatabaseListing listing = ListDatabases(dir);
            for (const TDatabaseEntry& entry : listing.Entries) {
                found.push_back({dir + entry.FileName, entry});
            }
            if (listing.Error) {
                try {
                    std::rethrow_exception(listing.Error);
                } catch (const EInOutError& e) {
                    if (!e.FileName().empty() && e.ErrorCode() != kIOReadBeyondEnd) {
                        throw;
                    }
                    throw EDatabaseError(dir + listing.FailedFile + ": " + e.what());
                } catch (const std::exception& e) {
                    throw EDatabaseError(dir + listing.FailedFile + ": " + e.what());
                }
            }
        }
    }
    py::list result;
    for (const TFound& f : found) {
        const TCodePage codePage = DefaultCodePage(f.Entry.Version);
        result.append(py::make_tuple(FsDecode(f.Path), static_cast<int>(f.Entry.Version),
                                     Utf8(VersionLabel(f.Entry.Version)),
                                     Utf8(ToUtf8(f.Entry.DisplayName, codePage))));
    }
    return result;
}

PyObject* NewException(const char* name, const char* doc, PyObject* bases) {
    PyObject* type = PyErr_NewExceptionWithDoc(name, doc, bases, nullptr);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    return type;
}

} // namespace
} // namespace corvane::python

PYBIND11_MODULE(_corvane, m) {
    using namespace corvane::python;
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) {
        throw py::error_already_set();
    }
    m.doc() = "The C++ half of corvane; use the corvane package.";

    gError = NewException("corvane.Error", "Every error of corvane that is not an OSError.", PyExc_Exception);
    gDatabaseError = NewException("corvane.DatabaseError",
                                  "A damaged or unreadable database: a file shorter than its contents say, a "
                                  "definition that cannot be read, a system form without DEPath.",
                                  gError);
    py::tuple notFoundBases = py::make_tuple(py::handle(gError), py::handle(PyExc_LookupError));
    gFormNotFoundError = NewException("corvane.FormNotFoundError",
                                      "No form of the database has the name asked for.", notFoundBases.ptr());
    gDataFileWarning = NewException("corvane.DataFileWarning",
                                    "A data file held fewer records than the catalogue says; the records it "
                                    "holds were read.",
                                    PyExc_UserWarning);
    m.add_object("Error", py::handle(gError));
    m.add_object("DatabaseError", py::handle(gDatabaseError));
    m.add_object("FormNotFoundError", py::handle(gFormNotFoundError));
    gExportWarning = NewException("corvane.ExportWarning",
                                  "A message of an export run: a form left out, a data file shorter than the "
                                  "catalogue says.",
                                  PyExc_UserWarning);
    m.add_object("DataFileWarning", py::handle(gDataFileWarning));
    m.add_object("ExportWarning", py::handle(gExportWarning));
    py::register_exception_translator(&TranslateException);

    m.def("databases", &Databases, py::arg("directory"), py::arg("recursive") = false,
          "List of (dictionary path, version code, version label, name) of the databases of directory.");

    py::class_<TRecordIterator>(m, "RecordIterator")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &TRecordIterator::Next, "The next batch as (name, kind, data, mask) columns.")
        .def("close", &TRecordIterator::Close, "Closes the data file; the iteration ends.");

    py::class_<TPyDatabase>(m, "Database")
        .def(py::init<const std::string&, const std::string&>(), py::arg("path"), py::arg("depath") = "")
        .def_property_readonly("version", &TPyDatabase::Version)
        .def_property_readonly("name", &TPyDatabase::Name)
        .def_property_readonly("path", &TPyDatabase::Path)
        .def_property_readonly("depath", &TPyDatabase::DEPath)
        .def_property_readonly("closed", &TPyDatabase::Closed)
        .def("close", &TPyDatabase::Close)
        .def("forms", &TPyDatabase::Forms,
             "(name, data file, record length, record count, system form, variant level) of every form.")
        .def("fields", &TPyDatabase::Fields, py::arg("form"),
             "(name, type, length, subtype, integer digits, choices, first, hidden) of every field.")
        .def("read", &TPyDatabase::Read, py::arg("form"), py::arg("records") = "live",
             py::arg("encoding") = py::none(), "The selected records as (name, kind, data, mask) columns.")
        .def(
            "iter_records",
            [](TPyDatabase& db, const py::object& form, const std::string& records,
               const py::object& encoding, std::size_t batch) {
                return std::make_unique<TRecordIterator>(db, form, records, encoding, batch);
            },
            py::arg("form"), py::arg("records") = "live", py::arg("encoding") = py::none(),
            py::arg("batch") = 65536, "An iterator of batches of at most batch records.")
        .def("export", &Export, py::arg("out"), py::arg("format"), py::arg("forms"), py::arg("options"),
             "Runs the export run: (per-form results, summary, messages).");
}
