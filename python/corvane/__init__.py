"""Read DataEase 4.x, 5.x and DataEase for Windows databases, read-only, into Python.

    import corvane
    with corvane.open("examples/v5") as db:
        df = db.read("Customers").to_pandas()

Values keep their types: whole numbers are int, other numbers float, dates datetime.date, times
datetime.time, texts and choices str (bytes with encoding="raw"), empty values None. Failures raise
corvane.Error (corvane.DatabaseError for damaged databases, corvane.FormNotFoundError for an unknown form)
or OSError for files that cannot be opened or read.
"""

from __future__ import annotations

import os
import warnings
from typing import Any, Iterator, List, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np

from . import _corvane
from ._corvane import DatabaseError, DataFileWarning, Error, ExportWarning, FormNotFoundError

__all__ = [
    "Database",
    "DatabaseError",
    "DatabaseInfo",
    "DataFileWarning",
    "Error",
    "ExportResult",
    "ExportWarning",
    "Field",
    "Form",
    "FormNotFoundError",
    "Table",
    "databases",
    "open",
]

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

_TYPE_NAMES = {1: "text", 2: "text", 3: "number", 4: "date", 5: "time", 8: "choice"}


class DatabaseInfo(NamedTuple):
    """One database of a directory, as databases() lists it."""

    path: str  #: the dictionary file
    version: int  #: 3 DataEase 4.x, 5 DataEase 5.x, 6 and 7 DataEase for Windows
    label: str  #: "4.x  ", "5.x  ", "DfW  ", or "" for other codes
    name: str


class Form(NamedTuple):
    """One form (table) of a database's catalogue."""

    name: str
    data_file: str
    record_length: int
    record_count: int  #: as the catalogue states it; the data file may hold fewer
    system_form: bool
    variant_level: int  #: 0 an ordinary form, 1 or more a variant form


class Field(NamedTuple):
    """One field of a form, in definition order."""

    name: str
    type: int  #: 1 and 2 text, 3 number, 4 date, 5 time, 8 choice; other codes are kept
    type_name: str  #: "text", "number", "date", "time", "choice" or "unknown"
    length: int
    subtype: int  #: numbers: 0 whole, 1 fixed point, 2 floating; dates: 1 a day count
    integer_digits: int
    choices: Tuple[str, ...]  #: the choice texts, choice 1 first
    first: bool  #: exported before the other fields
    hidden: bool  #: left out of the exports and of read()


class ExportResult(NamedTuple):
    """What the export run did with one form of its plan."""

    form: Optional[str]  #: the catalogue's form, None when the entry named none
    label: str  #: the form as asked for
    selection: str  #: "L" live, "D" deleted, "A" all records
    found: bool
    written: bool  #: its records are in file under its final name
    file: Optional[str]
    table: Optional[str]  #: one-file formats: its table or sheet
    records_written: int
    slots_read: int
    columns: int
    data_file_short: bool  #: the data file held fewer records than the catalogue says
    error: Optional[str]  #: None when the form was exported

    @property
    def ok(self) -> bool:
        return self.error is None


def _fsencode(path: PathLike) -> bytes:
    # The C++ side takes the file system's bytes, so names that are no valid UTF-8 survive.
    return os.fsencode(os.fspath(path))


def databases(path: PathLike, recursive: bool = False) -> List[DatabaseInfo]:
    """The databases (one dictionary file "rdrr?aaa.dbm" each) of the directory path, with recursive also
    of every directory below it, in path order. Raises OSError when path is no directory and
    DatabaseError naming the dictionary that cannot be read."""
    return [DatabaseInfo(*entry) for entry in _corvane.databases(_fsencode(path), bool(recursive))]


def open(path: PathLike, depath: Optional[PathLike] = None) -> "Database":  # noqa: A001 - the module's verb
    """Opens the database of path: a dictionary file, or a directory that holds exactly one. depath is the
    DataEase program directory holding the definitions of the system forms (default for DataEase 4.x: the
    "depath" environment variable). Raises FileNotFoundError for a missing database, DatabaseError for a
    damaged dictionary, Error for a directory with several databases."""
    return Database(path, depath)


class Table:
    """The records of one form (or one batch of them) as typed columns.

    table[name] gives a column as a NumPy array: numbers as numpy.ma.MaskedArray (int64 or float64, masked
    where empty), dates as datetime64[D] (NaT where empty), everything else as an object array of Python
    values (None where empty). Dates and times whose stored characters make no date or time keep their text
    (str), as the SQLite export does; such a date column is then an object array.
    """

    __slots__ = ("_names", "_kinds", "_data", "_masks")

    def __init__(self, columns: Sequence[Tuple[str, str, np.ndarray, Optional[np.ndarray]]]):
        self._names = [c[0] for c in columns]
        self._kinds = [c[1] for c in columns]
        self._data = [c[2] for c in columns]
        self._masks = [c[3] for c in columns]

    @property
    def columns(self) -> List[str]:
        """The column names: the heading names of the delimited export, then "_deleted" when deleted
        records were asked for."""
        return list(self._names)

    @property
    def kinds(self) -> List[str]:
        """The kind of each column: "int", "float", "date", "time", "text" or "bool"."""
        return list(self._kinds)

    def __len__(self) -> int:
        return len(self._data[0]) if self._data else 0

    def __repr__(self) -> str:
        return f"<corvane.Table {len(self)} rows x {len(self._names)} columns>"

    def _index(self, name: Union[str, int]) -> int:
        if isinstance(name, int):
            return name
        try:
            return self._names.index(name)
        except ValueError:
            raise KeyError(name) from None

    def __getitem__(self, name: Union[str, int]) -> np.ndarray:
        i = self._index(name)
        data, mask = self._data[i], self._masks[i]
        if mask is not None:
            return np.ma.MaskedArray(data, mask=mask)
        if self._kinds[i] == "date" and data.dtype == np.int64:
            return data.view("datetime64[D]")
        return data

    def column(self, name: Union[str, int]) -> list:
        """The column as a list of Python values (None where empty)."""
        i = self._index(name)
        data, mask = self._data[i], self._masks[i]
        if mask is not None:
            return np.ma.MaskedArray(data, mask=mask).tolist()
        if self._kinds[i] == "date" and data.dtype == np.int64:
            return data.view("datetime64[D]").tolist()
        return data.tolist()

    def rows(self) -> List[tuple]:
        """The records as tuples of Python values, in column order."""
        if not self._names:
            return []
        return list(zip(*(self.column(i) for i in range(len(self._names)))))

    def to_pandas(self):
        """A pandas DataFrame with nullable dtypes: Int64, Float64, string, datetime64[ns] for dates (object
        holding datetime.date when a date lies outside pandas' range or a stored date is no date), object
        for times and raw bytes, bool for "_deleted"."""
        import pandas as pd

        series = {}
        for name, kind, data, mask in zip(self._names, self._kinds, self._data, self._masks):
            if mask is not None and kind == "int":
                column = pd.arrays.IntegerArray(data, mask)
            elif mask is not None:
                column = pd.arrays.FloatingArray(data, mask)
            elif kind == "date" and data.dtype == np.int64:
                column = _pandas_dates(data)
            elif kind == "text" and not _holds_bytes(data):
                column = pd.array(data, dtype="string")
            else:
                column = data
            series[name] = column
        return pd.DataFrame(series)


# datetime64[ns] holds the days from 1677-09-22 to 2262-04-11.
_NS_FIRST_DAY = -106751
_NS_LAST_DAY = 106750


def _pandas_dates(days: np.ndarray):
    present = days[days != np.iinfo(np.int64).min]
    if present.size and (present.min() < _NS_FIRST_DAY or present.max() > _NS_LAST_DAY):
        return np.array(days.view("datetime64[D]").tolist(), dtype=object)
    return days.view("datetime64[D]").astype("datetime64[ns]")


def _holds_bytes(data: np.ndarray) -> bool:
    for value in data:
        if value is not None:
            return isinstance(value, bytes)
    return False



class Database:
    """An open DataEase database (read-only). Use it in a with statement, or call close().

    Methods may be called from several threads; each database serialises its own reads, and the
    interpreter's lock is released while files are read and values decoded.
    """

    def __init__(self, path: PathLike, depath: Optional[PathLike] = None):
        self._core = _corvane.Database(_fsencode(path), "" if depath is None else _fsencode(depath))

    def __enter__(self) -> "Database":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"version {self.version}"
        return f"<corvane.Database {self.path!r} {state}>"

    def close(self) -> None:
        """Releases the database; later calls raise Error. Iterators of it stop with Error too."""
        self._core.close()

    @property
    def closed(self) -> bool:
        return self._core.closed

    @property
    def path(self) -> str:
        """The dictionary file."""
        return self._core.path

    @property
    def version(self) -> int:
        """The version code: 3 DataEase 4.x, 5 DataEase 5.x, 6 and 7 DataEase for Windows."""
        return self._core.version

    @property
    def name(self) -> str:
        """The database's name as the dictionary stores it."""
        return self._core.name

    @property
    def depath(self) -> str:
        """The DataEase program directory used for the system forms ("" when none)."""
        return self._core.depath

    @property
    def forms(self) -> List[Form]:
        """Every form of the catalogue, in name order."""
        return [Form(*f) for f in self._core.forms()]

    def _encode_name(self, name: Union[str, bytes]) -> bytes:
        if isinstance(name, bytes):
            return name
        return name.encode("cp1252" if self.version in (6, 7) else "cp437")

    def export(
        self,
        out: PathLike,
        format: str = "csv",
        forms: Optional[Sequence[Union[str, bytes]]] = None,
        **options: Any,
    ) -> List[ExportResult]:
        """Runs the export run of the command-line tool and returns one ExportResult per form.

        out: the directory of the per-form files (csv, jsonl), or the one file (sqlite). forms: form
        entries ("Customers", "Customers=D" ...; default every form the form list shows). options, as the
        command-line tool names them: records ("live", "deleted", "all"), extension, delimiter,
        quote_headings, dates ("british", "american", "metric"), numeric_null ("zero", "blank"), encoding,
        short_date_format (day-count dates of delimited text; default: the process's LC_TIME locale),
        schema, drop_tables. A form that fails is reported in its result's error and the run goes on;
        the run's messages are issued as ExportWarning. Raises ValueError and TypeError for bad options,
        KeyboardInterrupt when interrupted (the files of forms not completed are not left behind).
        """
        if isinstance(forms, (str, bytes)):
            forms = [forms]
        entries = None if forms is None else [self._encode_name(f) for f in forms]
        results, _summary, messages = self._core.export(_fsencode(out), format, entries, options)
        for message in messages:
            warnings.warn(message, ExportWarning, stacklevel=2)
        return [ExportResult(**r) for r in results]

    def fields(self, form: Union[str, bytes]) -> List[Field]:
        """The fields of form in definition order. Raises FormNotFoundError, DatabaseError or OSError."""
        return [
            Field(name, kind, _TYPE_NAMES.get(kind, "unknown"), length, subtype, digits, choices, first, hidden)
            for name, kind, length, subtype, digits, choices, first, hidden in self._core.fields(form)
        ]

    def read(self, form: Union[str, bytes], records: str = "live", encoding: Optional[str] = None) -> Table:
        """The records of form, typed, as a Table.

        records: "live", "deleted" or "all" (the last two add a "_deleted" column). encoding: the code page
        of the stored text (default: cp437 for versions 3 and 5, cp1252 for 6 and 7); "raw" gives texts as
        the stored bytes. A form is named by its name (compared without regard to ASCII case) as str, or
        by its stored bytes. Raises FormNotFoundError, DatabaseError, OSError (a data file that cannot be
        read), ValueError (records or encoding); warns with DataFileWarning when the data file holds fewer
        records than the catalogue says.
        """
        return Table(self._core.read(form, records, encoding))

    def iter_records(
        self,
        form: Union[str, bytes],
        records: str = "live",
        encoding: Optional[str] = None,
        batch: int = 65536,
    ) -> Iterator[Table]:
        """The records of form as Tables of at most batch records each, read as they are asked for: the
        memory held does not grow with the form. Arguments and errors as for read()."""
        # Created now, so that a missing form or file raises here rather than at the first batch.
        return _batches(self._core.iter_records(form, records, encoding, int(batch)))


def _batches(iterator) -> Iterator[Table]:
    try:
        for columns in iterator:
            yield Table(columns)
    finally:
        iterator.close()
