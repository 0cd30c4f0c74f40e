"""Every failure is a Python exception of the right class with a message that says what went wrong; hostile
files never crash the interpreter."""

import errno
import os
import warnings

import pytest

import corvane
from conftest import database_path, run_python


def test_missing_database(tmp_path):
    missing = tmp_path / "nowhere" / "RDRRAAAA.DBM"
    with pytest.raises(FileNotFoundError) as raised:
        corvane.open(missing)
    assert raised.value.errno == errno.ENOENT
    assert raised.value.filename == str(missing)


def test_directory_without_database(tmp_path):
    with pytest.raises(FileNotFoundError, match=r"No DataEase dictionary \(rdrr\?aaa\.dbm\)") as raised:
        corvane.open(tmp_path)
    assert raised.value.filename == str(tmp_path)


def test_damaged_dictionary(fixtures):
    dictionary = fixtures / "damaged-dictionary" / "RDRRAAAA.DBM"
    with pytest.raises(corvane.DatabaseError, match="RDRRAAAA.DBM: Read beyond end of file"):
        corvane.open(dictionary)
    # The listing of a directory names the dictionary it could not read rather than leave it out.
    with pytest.raises(corvane.DatabaseError, match="damaged-dictionary/RDRRAAAA.DBM"):
        corvane.databases(fixtures, recursive=True)


def test_damaged_definition(fixtures):
    with corvane.open(fixtures / "hostile-definition") as db:
        with pytest.raises(corvane.DatabaseError, match=r"form Customers: .*CUSTOMER\.tdf: field name position"):
            db.fields("Customers")
        with pytest.raises(corvane.DatabaseError, match=r"CUSTOMER\.tdf"):
            db.read("Customers")


def test_missing_form(fixtures):
    with corvane.open(fixtures / "typed-v5") as db:
        for call in (db.read, db.fields, db.iter_records):
            with pytest.raises(corvane.FormNotFoundError, match='no form named "Kund" in .*RDRRAAAA.DBM'):
                call("Kund")
    assert issubclass(corvane.FormNotFoundError, LookupError)


@pytest.mark.parametrize(
    "name, error, code",
    [("unreadable-data", IsADirectoryError, errno.EISDIR), ("missing-data", FileNotFoundError, errno.ENOENT)],
)
def test_unreadable_data_file(name, error, code, fixtures):
    with corvane.open(fixtures / name) as db:
        for call in (db.read, db.iter_records):
            with pytest.raises(error) as raised:
                call("Customers")
            assert raised.value.errno == code
            assert raised.value.filename == str(fixtures / name / "CUSTOMER.DBM")


@pytest.mark.skipif(os.geteuid() == 0, reason="permission bits do not stop root from reading")
def test_data_file_without_permission(fixtures, tmp_path):
    import shutil

    copy = tmp_path / "db"
    shutil.copytree(fixtures / "typed-v5", copy)
    (copy / "KUNDEN.DBM").chmod(0)
    with corvane.open(copy) as db, pytest.raises(PermissionError):
        db.read("Kunden")


def test_short_data_file_warns(fixtures):
    with corvane.open(fixtures / "short-data") as db:
        with pytest.warns(corvane.DataFileWarning, match="holds 2 whole records of 5"):
            assert len(db.read("Customers")) == 2
        with pytest.warns(corvane.DataFileWarning):
            assert sum(len(b) for b in db.iter_records("Customers", batch=1)) == 2


def test_system_form_without_depath(fixtures):
    with corvane.open(database_path("v5", fixtures)) as db:
        with pytest.raises(corvane.DatabaseError, match="form Configuration: DEPath is not defined"):
            db.read("Configuration")


@pytest.mark.parametrize(
    "arguments, message",
    [
        ({"records": "some"}, 'records must be "live", "deleted" or "all"'),
        ({"encoding": "utf-9"}, 'unknown encoding "utf-9"; known: raw, cp437'),
    ],
)
def test_bad_arguments(arguments, message, fixtures):
    with corvane.open(fixtures / "typed-v5") as db, pytest.raises(ValueError, match=message):
        db.read("Kunden", **arguments)
    with corvane.open(fixtures / "typed-v5") as db, pytest.raises(ValueError, match="batch must be at least 1"):
        db.iter_records("Kunden", batch=0)


def test_closed_database(fixtures):
    with corvane.open(fixtures / "typed-v5") as db:
        batches = db.iter_records("Kunden", batch=1)
        next(batches)
    assert db.closed
    with pytest.raises(corvane.Error, match="is closed"):
        db.read("Kunden")
    with pytest.raises(corvane.Error, match="is closed"):
        next(batches)


HOSTILE = """
import corvane, sys, warnings
warnings.simplefilter("ignore")
for path in sys.argv[1:]:
    try:
        db = corvane.open(path)
    except (corvane.Error, OSError):
        continue
    for form in db.forms:
        for call in (lambda: db.fields(form.name), lambda: db.read(form.name, records="all").to_pandas(),
                     lambda: [b.rows() for b in db.iter_records(form.name, batch=1)]):
            try:
                call()
            except (corvane.Error, OSError):
                pass
print("survived")
"""


def test_hostile_files_never_crash(fixtures):
    paths = sorted(str(p) for p in fixtures.iterdir() if p.name != "large")
    done = run_python(HOSTILE.replace("sys.argv[1:]", repr(paths)))
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "survived"
