"""read() agrees value by value with the SQLite export (the same typed scan), on the sample databases and the
typed fixture of every version, for live, deleted and all records and several code pages."""

import codecs
import datetime
import math
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

import corvane
from conftest import EXAMPLES, agrees, database_path, depath_of, sqlite_export, sqlite_tables

DATABASES = ["v3", "v5", "v6", "v7", "typed-v3", "typed-v5", "typed-v6", "typed-v7", "odd-values", "far-dates"]
CASES = (
    [(name, records, None) for name in DATABASES for records in ("live", "deleted", "all")]
    + [(f"typed-v{v}", "all", enc) for v in (3, 5, 6, 7) for enc in ("cp850", "cp1252", "cp437", "raw")]
    + [("large", "all", None)]
)


@pytest.mark.parametrize("name, records, encoding", CASES)
def test_read_agrees_with_sqlite_export(name, records, encoding, fixtures, tmp_path):
    path = database_path(name, fixtures)
    depath = depath_of(path)
    exported = sqlite_tables(sqlite_export(path, tmp_path / "out.sqlite", records, encoding, depath))
    assert exported, "the export wrote no table"
    with corvane.open(path, depath=depath) as db:
        # The export names forms in UTF-8 of the text's code page; the stored bytes find the form.
        codec = "latin-1" if encoding == "raw" else (encoding or ("cp1252" if db.version >= 6 else "cp437"))
        for form, (columns, stored_rows) in exported.items():
            table = db.read(codecs.encode(form, codec), records=records, encoding=encoding)
            assert table.columns == columns, form
            assert len(table) == len(stored_rows), form
            for row, stored in zip(table.rows(), stored_rows):
                for value, stored_value, kind, column in zip(row, stored, table.kinds, columns):
                    assert agrees(value, stored_value, kind), (form, column, value, stored_value)


@pytest.mark.parametrize(
    "name, encoding, expected",
    [
        ("typed-v5", None, ["Café Müller", 'Empty "values"']),
        ("typed-v6", None, ["Café Müller", 'Empty "values"']),
        # cp1252 has no character for byte 0x81.
        ("typed-v5", "cp1252", ["Caf\u201a M\ufffdller", 'Empty "values"']),
        ("typed-v5", "raw", [b"Caf\x82 M\x81ller", b'Empty "values"']),
        ("typed-v7", "raw", [b"Caf\xe9 M\xfcller", b'Empty "values"']),
    ],
)
def test_texts_follow_the_encoding(name, encoding, expected, fixtures):
    with corvane.open(fixtures / name) as db:
        assert db.read("kunden", encoding=encoding).column("Name") == expected


def test_values_are_typed(fixtures):
    with corvane.open(fixtures / "typed-v5") as db:
        rows = db.read("Kunden", records="all").rows()
    assert rows[0] == (
        "Café Müller", 3, 0.1, 0.1, datetime.date(1997, 3, 15), datetime.time(9, 30, 15), "Green", "Größe", False
    )
    assert rows[1] == ('Empty "values"', None, None, None, None, None, None, None, False)
    assert rows[2][0] == "Gone" and rows[2][-1] is True


def test_numpy_columns(fixtures):
    with corvane.open(fixtures / "typed-v5") as db:
        table = db.read("Kunden", records="all")
    count = table["Count"]
    assert isinstance(count, np.ma.MaskedArray) and count.dtype == np.int64
    assert count.tolist() == [3, None, 7]
    assert table["Price"].dtype == np.float64 and table["Price"].mask.tolist() == [False, True, False]
    assert table["Since"].dtype == np.dtype("datetime64[D]")
    assert np.isnat(table["Since"]).tolist() == [False, True, True]
    assert table["_deleted"].dtype == np.bool_ and table["_deleted"].tolist() == [False, False, True]
    assert table["At"].dtype == object
    with pytest.raises(KeyError):
        table["Nothing"]


def test_to_pandas_dtypes_and_values(fixtures):
    with corvane.open(fixtures / "typed-v6") as db:
        frame = db.read("Kunden", records="all").to_pandas()
    assert {c: str(t) for c, t in frame.dtypes.items()} == {
        "Name": "string", "Count": "Int64", "Price": "Float64", "Ratio": "Float64", "Since": "datetime64[ns]",
        "At": "object", "Colour": "string", "Straße": "string", "_deleted": "bool",
    }
    assert frame["Count"].tolist()[0] == 3 and frame["Count"].isna().tolist() == [False, True, False]
    assert frame["Price"].tolist()[2] == -0.13
    assert frame["Since"].iloc[0] == pd.Timestamp(1997, 3, 15) and pd.isna(frame["Since"].iloc[1])
    assert frame["At"].tolist() == [datetime.time(9, 30, 15), None, None]
    assert frame["Name"].iloc[0] == "Café Müller" and frame["Colour"].isna().tolist() == [False, True, False]
    assert frame["_deleted"].tolist() == [False, False, True]


def test_dates_outside_pandas_range_stay_dates(fixtures):
    with corvane.open(fixtures / "far-dates") as db:
        table = db.read("Far")
        frame = table.to_pandas()
    # datetime64[ns] ends in 2262; a day count beyond the year 9999 keeps the export's text.
    assert table.column("Day") == [datetime.date(2300, 1, 1), datetime.date(1997, 3, 15), None, "5881386-07-11"]
    assert table.column("Near") == [datetime.date(2001, 2, 3), None, None, None]
    assert frame["Day"].dtype == object and frame["Day"].tolist() == table.column("Day")
    assert str(frame["Near"].dtype) == "datetime64[ns]"


def test_dates_and_times_that_are_no_dates_keep_their_text(fixtures):
    with corvane.open(fixtures / "odd-values") as db:
        table = db.read("Odd")
    assert table.column("Day") == ["1997-13-15", "1997-02-31", datetime.date(2000, 1, 1)]
    assert table.column("At") == ["25:00:00", "12:ab:00", datetime.time(23, 59, 59)]
    assert table.to_pandas()["Day"].dtype == object


def test_catalogue_and_fields(fixtures):
    with corvane.open(database_path("v6", fixtures)) as db:
        assert (db.version, db.name) == (6, "Sample DfW")
        forms = {f.name: f for f in db.forms}
        assert forms["Customer View"].variant_level == 1
        customers = forms["Customers"]
        assert (customers.data_file, customers.system_form) == ("CUSTOMER.DBM", False)
        assert customers.record_count == 5 and customers.record_length > 0
        fields = {f.name: f for f in db.fields("Customers")}
    assert fields["Colour"].type_name == "choice" and fields["Colour"].choices == ("Red", "Green", "Blue")
    assert fields["Colour"].first and fields["Internal"].hidden
    assert (fields["Price"].type, fields["Price"].subtype, fields["Price"].integer_digits) == (3, 1, 4)


def test_databases_lists_a_tree(fixtures):
    found = corvane.databases(EXAMPLES, recursive=True)
    assert [(Path(i.path).parent.name, i.version, i.label, i.name) for i in found] == [
        ("v3", 3, "4.x  ", "Sample 4.x"),
        ("v5", 5, "5.x  ", "Sample 5.x"),
        ("v6", 6, "DfW  ", "Sample DfW"),
        ("v7", 7, "", "Sample DfW 7"),
    ]
    assert corvane.databases(EXAMPLES) == []
    assert [i.name for i in corvane.databases(fixtures / "typed-v5")] == ["Accents"]


def test_whole_numbers_keep_their_precision(fixtures):
    with corvane.open(database_path("v5", fixtures)) as db:
        column = db.read("Customers").column("Big_Whole")
    assert all(v is None or type(v) is int for v in column)
    assert not any(isinstance(v, float) and math.isnan(v) for v in column)
