"""The workbook read back with openpyxl: sheet names, header, typed cells of every field kind of every version,
continuation sheets with a small row limit, and every sample database against its SQLite export."""

import datetime
import math
import os
import sqlite3
import subprocess

import openpyxl
import pytest

TOOL = os.environ.get("CORVANE_WRITE_FORMATS", "")
SOURCE = os.environ.get("CORVANE_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))


def write(tmp_path, source, *options, sqlite=False):
    book = os.path.join(str(tmp_path), "export.xlsx")
    args = [TOOL, "--xlsx", book] + list(source) + list(options)
    lite = os.path.join(str(tmp_path), "export.sqlite")
    if sqlite:
        args += ["--sqlite", lite]
    result = subprocess.run(args, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert sorted(os.listdir(str(tmp_path))) == sorted(["export.xlsx"] + (["export.sqlite"] if sqlite else [])), \
        "no temporary file is left"
    return (openpyxl.load_workbook(book), lite) if sqlite else openpyxl.load_workbook(book)


def sample_source(name):
    directory = os.path.join(SOURCE, "examples", name)
    source = ["--database", directory]
    if os.path.isdir(os.path.join(directory, "depath")):
        source += ["--depath", os.path.join(directory, "depath")]
    return source


def rows_of(sheet):
    return [list(row) for row in sheet.iter_rows(values_only=True)]


def forms_sheet(book):
    rows = rows_of(book["_forms"])
    assert rows[0] == ["form_name", "sheet_name", "sheet_count", "data_file", "record_count", "version",
                       "code_page", "error"]
    return rows[1:]


@pytest.mark.parametrize("version", [3, 5, 6, 7])
def test_typed_fixture_cells(tmp_path, version):
    book = write(tmp_path, ["--fixture", str(version)], "--select", "A")
    assert book.sheetnames == ["Kunden", "_forms"]
    sheet = book["Kunden"]
    header = [c.value for c in sheet[1]]
    assert header == ["Name", "Count", "Price", "Ratio", "Since", "At", "Colour", "Straße", "_deleted"]
    assert all(c.font.b for c in sheet[1])
    assert sheet.freeze_panes == "A2"
    assert sheet.auto_filter.ref == "A1:I4"

    live, empty, deleted = (list(r) for r in sheet.iter_rows(min_row=2))
    values = [c.value for c in live]
    assert values[0] == "Café Müller" and values[6] == "Green" and values[7] == "Größe"
    assert values[1] == 3 and isinstance(values[1], int)
    assert values[2] == pytest.approx(0.1) and live[2].number_format == "0.00"
    assert isinstance(values[3], float) and values[3] == pytest.approx(0.1, rel=1e-6)
    assert values[4] == datetime.datetime(1997, 3, 15) and live[4].number_format == "dd/mm/yyyy"
    assert live[4].is_date
    assert values[5] == datetime.time(9, 30, 15) and live[5].number_format == "hh:mm:ss"
    assert values[8] is False
    assert [c.value for c in empty] == ['Empty "values"', None, None, None, None, None, None, None, False]
    assert [c.value for c in deleted][:3] == ["Gone", 7, pytest.approx(-0.13)]
    assert deleted[6].value == "Red" and deleted[8].value is True

    forms = forms_sheet(book)
    assert forms[-1] == ["Kunden", "Kunden", 1, "KUNDEN.DBM", 3, version,
                         "cp1252" if version >= 6 else "cp437", None]


@pytest.mark.parametrize("order, pattern", [("B", "dd/mm/yyyy"), ("A", "mm/dd/yyyy"), ("M", "yyyy/mm/dd"),
                                            ("iso", "yyyy-mm-dd")])
def test_date_format_follows_the_date_order(tmp_path, order, pattern):
    book = write(tmp_path, ["--fixture", "5"], "--dates", order)
    cell = book["Kunden"]["E2"]
    assert cell.value == datetime.datetime(1997, 3, 15)
    assert cell.number_format == pattern


def test_a_form_past_the_row_limit_continues_on_sheets_of_its_own(tmp_path):
    # Three rows a sheet: the header and two records, so the four customers take two sheets.
    book = write(tmp_path, sample_source("v5"), "--sheet-rows", "3")
    assert "Customers" in book.sheetnames and "Customers (2)" in book.sheetnames
    assert "Customers (3)" not in book.sheetnames
    first, second = rows_of(book["Customers"]), rows_of(book["Customers (2)"])
    assert first[0] == second[0]
    assert len(first) == 3 and len(second) == 3
    assert book["Customers (2)"].freeze_panes == "A2"
    assert book["Customers (2)"].auto_filter.ref.endswith("3")
    forms = {row[0]: row for row in forms_sheet(book)}
    assert forms["Customers"][1:5] == ["Customers", 2, "CUSTOMER.DBM", 4]
    # The one-record form stays on one sheet.
    assert forms["Configuration"][2] == 1


def lite_rows(path, sql, *parameters):
    db = sqlite3.connect(path)
    try:
        return db.execute(sql, parameters).fetchall()
    finally:
        db.close()


@pytest.mark.parametrize("sample", ["v3", "v5", "v6", "v7"])
def test_every_sample_database_matches_its_sqlite_export(tmp_path, sample):
    book, lite = write(tmp_path, sample_source(sample), "--select", "A", "--dates", "iso", sqlite=True)
    tables = lite_rows(lite, 'SELECT form_name, table_name, record_count FROM "_forms" ORDER BY rowid')
    forms = {row[0]: row for row in forms_sheet(book)}
    for form, table, count in tables:
        assert forms[form][4] == count
        sheet_rows = rows_of(book[forms[form][1]])
        columns = [r[0] for r in lite_rows(lite, "SELECT name FROM pragma_table_info(?) ORDER BY cid", table)]
        assert list(sheet_rows[0]) == columns
        expected = lite_rows(lite, 'SELECT * FROM "%s" ORDER BY rowid' % table.replace('"', '""'))
        assert len(sheet_rows) - 1 == len(expected)
        for got, want in zip(sheet_rows[1:], expected):
            for name, cell, value in zip(columns, got, want):
                if name == "_deleted":
                    assert cell is bool(value)
                elif isinstance(cell, datetime.datetime):
                    assert cell.date().isoformat() == value, (table, name)
                elif isinstance(cell, datetime.time):
                    assert cell.isoformat() == value, (table, name)
                elif isinstance(value, float):
                    assert math.isclose(cell, value, rel_tol=1e-12), (table, name)
                else:
                    assert cell == value, (table, name, cell, value)


def test_sheet_names_are_cleaned_cut_and_unique(tmp_path):
    # The sample forms "Orders/Returns" hold a character that sheet names refuse.
    book = write(tmp_path, sample_source("v7"))
    assert "Orders_Returns" in book.sheetnames
    assert all(len(name) <= 31 for name in book.sheetnames)
