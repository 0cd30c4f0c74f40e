"""Shared pieces of the Python module's tests: where the databases are, and the SQLite export of the
command-line tool to compare read() against."""

import datetime
import os
import sqlite3
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLES = Path(os.environ.get("CORVANE_EXAMPLES", Path(__file__).resolve().parents[2] / "examples"))
CLI = os.environ.get("CORVANE_CLI", "corvane-cli")


@pytest.fixture(scope="session")
def fixtures() -> Path:
    """The databases make_python_fixtures wrote (CTest writes them before these tests run)."""
    path = os.environ.get("CORVANE_FIXTURES")
    if not path or not Path(path, "large").is_dir():
        pytest.fail("CORVANE_FIXTURES does not name the directory make_python_fixtures wrote; run under CTest")
    return Path(path)


def database_path(name: str, fixtures: Path) -> Path:
    """examples/vN for "vN", a fixture database otherwise."""
    return EXAMPLES / name if name.startswith("v") else fixtures / name


def depath_of(path: Path):
    """The DataEase program directory of the sample databases (their system form definitions), or None."""
    candidate = path / "depath"
    return str(candidate) if candidate.is_dir() else None


def sqlite_export(database: Path, out: Path, records: str, encoding=None, depath=None) -> Path:
    """Exports every listed form of database with corvane-cli into one SQLite file."""
    command = [CLI, "export", str(database), "--format", "sqlite", "--out", str(out), "--records", records]
    if encoding:
        command += ["--encoding", encoding]
    if depath:
        command += ["--depath", depath]
    done = subprocess.run(command, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return out


def sqlite_tables(path: Path):
    """{form name: (column names, rows)} of an SQLite export."""
    tables = {}
    with sqlite3.connect(path) as connection:
        for form, table in connection.execute("SELECT form_name, table_name FROM _forms"):
            if table is None:
                continue
            cursor = connection.execute(f'SELECT * FROM "{table}" ORDER BY rowid')
            tables[form] = ([d[0] for d in cursor.description], cursor.fetchall())
    return tables


def _is_iso_date(text: str) -> bool:
    try:
        datetime.date.fromisoformat(text)
        return True
    except ValueError:
        return False


def _is_iso_time(text: str) -> bool:
    try:
        datetime.time.fromisoformat(text)
        return len(text) == 8
    except ValueError:
        return False


def agrees(value, stored, kind: str) -> bool:
    """True when a value read by the module is the value the SQLite export stored, of the type its kind asks."""
    if stored is None:
        return value is None
    if kind == "bool":
        return isinstance(value, bool) and int(value) == stored
    if isinstance(value, datetime.date):
        return kind == "date" and value.isoformat() == stored
    if isinstance(value, datetime.time):
        return kind == "time" and value.isoformat() == stored
    if isinstance(value, bytes):
        return kind == "text" and value.decode("latin-1") == stored
    if isinstance(stored, float):
        # Whole numbers beyond 64 bits are stored as REAL and read as int.
        return (type(value) is float or (kind == "int" and type(value) is int)) and value == stored
    if isinstance(stored, int):
        return kind == "int" and type(value) is int and value == stored
    if type(value) is not str or value != stored:
        return False
    # A date or time comes as text only when its characters make no date or time.
    return not ((kind == "date" and _is_iso_date(stored)) or (kind == "time" and _is_iso_time(stored)))


def run_python(code: str, env_extra=None) -> subprocess.CompletedProcess:
    """Runs code in a fresh interpreter (for checks that a crash would otherwise take the test run with it)."""
    env = dict(os.environ, **(env_extra or {}))
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, timeout=300)
