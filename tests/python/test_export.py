"""export() runs the export run of the command-line tool: the same files for the same options, per-form
results, and its failures as results rather than exceptions."""

import filecmp
import sqlite3
import subprocess

import pytest

import corvane
from conftest import CLI, EXAMPLES, depath_of


@pytest.mark.parametrize(
    "options, arguments",
    [
        ({}, []),
        (
            {"records": "all", "delimiter": ";", "quote_headings": True, "dates": "metric",
             "numeric_null": "blank", "short_date_format": "%Y-%m-%d", "extension": "txt"},
            ["--records", "all", "--delimiter", ";", "--quote-headings", "--dates", "metric",
             "--numeric-null", "blank", "--short-date-format", "%Y-%m-%d", "--ext", "txt"],
        ),
        ({"format": "jsonl", "encoding": "cp850"}, ["--format", "jsonl", "--encoding", "cp850"]),
    ],
)
@pytest.mark.parametrize("version", ["v3", "v5", "v6", "v7"])
def test_files_equal_the_command_line_tool(version, options, arguments, tmp_path):
    path = EXAMPLES / version
    # Both with the same DataEase program directory (the tool's own for version 7 is beside the program).
    depath = depath_of(path) or str(tmp_path)
    short = [] if "short_date_format" in options else ["--short-date-format", "%d/%m/%Y"]
    cli_out, py_out = tmp_path / "cli", tmp_path / "py"
    cli_out.mkdir()
    py_out.mkdir()
    command = [CLI, "export", str(path), "--out", str(cli_out)] + arguments + short
    command += ["--depath", depath]
    done = subprocess.run(command, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    options = dict(options)
    options.setdefault("short_date_format", "%d/%m/%Y")
    with corvane.open(path, depath=depath) as db:
        results = db.export(py_out, **options)
    assert results and all(r.ok and r.written for r in results)
    names = sorted(p.name for p in cli_out.iterdir())
    assert sorted(p.name for p in py_out.iterdir()) == names
    match, mismatch, errors = filecmp.cmpfiles(cli_out, py_out, names, shallow=False)
    assert (mismatch, errors) == ([], [])


def test_sqlite_export_and_its_results(fixtures, tmp_path):
    out = tmp_path / "accents.sqlite"
    with corvane.open(fixtures / "typed-v6") as db:
        results = db.export(out, format="sqlite", forms=["Kunden=A", "Nowhere"])
        table = db.read("Kunden", records="all")
    kunden, nowhere = results
    assert (kunden.form, kunden.selection, kunden.written, kunden.records_written) == ("Kunden", "A", True, 3)
    assert kunden.file == str(out) and kunden.table == "Kunden" and kunden.ok
    assert (nowhere.form, nowhere.found, nowhere.written, nowhere.ok) == (None, False, False, False)
    assert "Nowhere" in nowhere.error
    with sqlite3.connect(out) as connection:
        rows = connection.execute('SELECT "Name", "Count", "_deleted" FROM "Kunden" ORDER BY rowid').fetchall()
    assert rows == [(r[0], r[1], int(r[-1])) for r in table.rows()]


def test_a_failing_form_does_not_stop_the_run(fixtures, tmp_path):
    with corvane.open(fixtures / "hostile-definition") as db:
        (result,) = db.export(tmp_path, forms=["Customers"])
    assert not result.ok and not result.written and "field name position" in result.error
    assert list(tmp_path.iterdir()) == []


def test_short_data_file_warns(fixtures, tmp_path):
    with corvane.open(fixtures / "short-data") as db:
        with pytest.warns(corvane.ExportWarning, match="holds 2 whole records of 5"):
            (result,) = db.export(tmp_path, forms=["Customers"])
    assert result.ok and result.data_file_short and result.records_written == 2


@pytest.mark.parametrize(
    "arguments, error, message",
    [
        ({"format": "dbf"}, ValueError, 'unknown format "dbf"'),
        ({"colour": "red"}, TypeError, "unknown option: colour"),
        ({"dates": "roman"}, ValueError, 'dates must be "british"'),
        ({"records": "most"}, ValueError, 'records must be "live"'),
        ({"delimiter": '"'}, ValueError, "delimiter"),
    ],
)
def test_bad_options(arguments, error, message, fixtures, tmp_path):
    with corvane.open(fixtures / "typed-v5") as db, pytest.raises(error, match=message):
        db.export(tmp_path, **arguments)
