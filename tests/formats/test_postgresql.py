"""The PostgreSQL script loaded into a throwaway server and compared with the SQLite export of the same forms.

The server is initialised in a temporary directory and listens only on a Unix socket there (no TCP). initdb
refuses to run as root, so under root the server runs as the user "nobody"; the server is stopped whatever
the tests do.
"""

import glob
import math
import os
import pwd
import shutil
import sqlite3
import subprocess
import tempfile

import pytest

TOOL = os.environ.get("CORVANE_WRITE_FORMATS", "")
SOURCE = os.environ.get("CORVANE_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
SAMPLES = ["v3", "v5", "v6", "v7"]


def server_bindir():
    found = shutil.which("initdb")
    if found:
        return os.path.dirname(found)
    candidates = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"))
    return os.path.dirname(candidates[-1]) if candidates else None


class Server:
    def __init__(self, bindir, home, as_user):
        self.bindir, self.home, self.as_user = bindir, home, as_user
        self.count = 0

    def run_as_owner(self, *args):
        command = list(args)
        if self.as_user:
            command = ["runuser", "-u", self.as_user, "--"] + command
        return subprocess.run(command, cwd=self.home, capture_output=True, text=True)

    def psql(self, database, *args, check=True, stdin=None):
        command = ["psql", "-X", "-q", "-h", self.home, "-U", "corvane", "-d", database,
                   "-v", "ON_ERROR_STOP=1"] + list(args)
        env = dict(os.environ, PGOPTIONS="-c DateStyle=ISO -c extra_float_digits=0")
        result = subprocess.run(command, capture_output=True, text=True, env=env, input=stdin)
        if check and result.returncode != 0:
            raise AssertionError("psql failed: " + result.stderr)
        return result

    def new_database(self):
        self.count += 1
        name = "load%d" % self.count
        self.psql("postgres", "-c", 'CREATE DATABASE "%s" ENCODING \'UTF8\' TEMPLATE template0' % name)
        return name

    def query(self, database, sql):
        """The rows of sql as lists of texts, None for NULL (read through COPY's text format)."""
        out = self.psql(database, "-c", "COPY (%s) TO STDOUT" % sql).stdout
        return [[unescape(field) for field in line.split("\t")] for line in out.split("\n") if line != ""]


def unescape(field):
    if field == "\\N":
        return None
    result, i = [], 0
    while i < len(field):
        c = field[i]
        if c == "\\" and i + 1 < len(field):
            result.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}.get(field[i + 1], field[i + 1]))
            i += 2
        else:
            result.append(c)
            i += 1
    return "".join(result)


@pytest.fixture(scope="module")
def server():
    bindir = server_bindir()
    if bindir is None:
        pytest.skip("no PostgreSQL server programs (Debian postgresql) are installed")
    if shutil.which("psql") is None:
        pytest.skip("no psql")
    as_user = None
    if os.geteuid() == 0:
        try:
            pwd.getpwnam("nobody")
        except KeyError:
            pytest.skip("initdb refuses root and there is no unprivileged user 'nobody' to run it")
        if shutil.which("runuser") is None:
            pytest.skip("runuser is needed to start the server as 'nobody'")
        as_user = "nobody"
    home = tempfile.mkdtemp(prefix="corvane-pg-")
    if as_user:
        entry = pwd.getpwnam(as_user)
        os.chown(home, entry.pw_uid, entry.pw_gid)
    os.chmod(home, 0o755)
    srv = Server(bindir, home, as_user)
    data = os.path.join(home, "data")
    started = False
    try:
        init = srv.run_as_owner(os.path.join(bindir, "initdb"), "-D", data, "-U", "corvane", "--auth=trust",
                                "-E", "UTF8", "--locale=C", "--no-sync")
        assert init.returncode == 0, init.stdout + init.stderr
        options = "-c listen_addresses='' -c unix_socket_directories='%s' -c fsync=off" % home
        start = srv.run_as_owner(os.path.join(bindir, "pg_ctl"), "-D", data, "-l", os.path.join(home, "log"),
                                 "-o", options, "-w", "start")
        started = True
        assert start.returncode == 0, start.stdout + start.stderr
        yield srv
    finally:
        if started:
            srv.run_as_owner(os.path.join(bindir, "pg_ctl"), "-D", data, "-m", "immediate", "-w", "stop")
        shutil.rmtree(home, ignore_errors=True)


def write_formats(out_dir, source, *options):
    """Runs the writer tool on a sample database or a fixture; returns the paths of script and SQLite file."""
    script = os.path.join(out_dir, "export.sql")
    sqlite_file = os.path.join(out_dir, "export.sqlite")
    args = [TOOL, "--postgresql", script, "--sqlite", sqlite_file] + list(source) + list(options)
    result = subprocess.run(args, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return script, sqlite_file


def sample_source(name):
    directory = os.path.join(SOURCE, "examples", name)
    source = ["--database", directory]
    if os.path.isdir(os.path.join(directory, "depath")):
        source += ["--depath", os.path.join(directory, "depath")]
    return source


def sqlite_rows(path, sql, *parameters):
    db = sqlite3.connect(path)
    try:
        return db.execute(sql, parameters).fetchall()
    finally:
        db.close()


def quoted(name):
    return '"' + name.replace('"', '""') + '"'


PG_TYPES_OF_SQLITE = {
    "INTEGER": {"smallint", "integer", "bigint"},
    "REAL": {"numeric", "real", "double precision"},
    "TEXT": {"text", "date", "time without time zone"},
}


def same_value(sqlite_value, pg_text, pg_type):
    if sqlite_value is None or pg_text is None:
        return sqlite_value is None and pg_text is None
    if pg_type == "boolean":
        return pg_text == ("t" if sqlite_value else "f")
    if pg_type in ("smallint", "integer", "bigint"):
        return int(pg_text) == sqlite_value
    if pg_type in ("numeric", "double precision"):
        return math.isclose(float(pg_text), sqlite_value, rel_tol=1e-12, abs_tol=1e-12)
    if pg_type == "real":
        return math.isclose(float(pg_text), sqlite_value, rel_tol=1e-6)
    return pg_text == sqlite_value


def compare_with_sqlite(srv, database, sqlite_file):
    """Every table of the SQLite file against the loaded one: columns, pg_typeof, row count and values."""
    tables = [row[0] for row in sqlite_rows(sqlite_file, 'SELECT table_name FROM "_forms" '
                                                         "WHERE table_name IS NOT NULL")]
    assert tables
    all_types = {}
    for table in tables:
        columns = sqlite_rows(sqlite_file, "SELECT name, type FROM pragma_table_info(?) ORDER BY cid", table)
        names = [c[0] for c in columns]
        pg_columns = srv.query(database, "SELECT attname FROM pg_attribute WHERE attrelid = '%s'::regclass "
                                         "AND attnum > 0 ORDER BY attnum" % quoted(table).replace("'", "''"))
        assert [c[0] for c in pg_columns] == names, table
        select = ", ".join(quoted(n) for n in names)
        types = srv.query(database, "SELECT %s FROM %s LIMIT 1" % (
            ", ".join("pg_typeof(%s)::text" % quoted(n) for n in names), quoted(table)))
        lite = sqlite_rows(sqlite_file, "SELECT %s FROM %s ORDER BY rowid" % (select, quoted(table)))
        pg = srv.query(database, "SELECT %s FROM %s" % (select, quoted(table)))
        assert len(pg) == len(lite), table
        if not lite:
            continue
        types = types[0]
        for (name, declared), pg_type in zip(columns, types):
            expected = {"boolean"} if name == "_deleted" else PG_TYPES_OF_SQLITE[declared.split()[0]]
            assert pg_type in expected, (table, name, declared, pg_type)
            all_types[(table, name)] = pg_type
        for lite_row, pg_row in zip(lite, pg):
            for name, lite_value, pg_text, pg_type in zip(names, lite_row, pg_row, types):
                assert same_value(lite_value, pg_text, pg_type), (table, name, lite_value, pg_text)
    lite_forms = sqlite_rows(sqlite_file, 'SELECT form_name, table_name, data_file, record_count, version, '
                                          'code_page FROM "_forms" ORDER BY rowid')
    pg_forms = srv.query(database, 'SELECT form_name, table_name, data_file, record_count, version, code_page '
                                   'FROM "_forms"')
    assert [tuple(str(v) if isinstance(v, int) else v for v in row) for row in lite_forms] == \
        [tuple(row) for row in pg_forms]
    return all_types


@pytest.mark.parametrize("sample", SAMPLES)
def test_every_sample_database_loads_and_matches_the_sqlite_export(server, tmp_path, sample):
    script, sqlite_file = write_formats(str(tmp_path), sample_source(sample), "--select", "A")
    database = server.new_database()
    server.psql(database, "-f", script)
    compare_with_sqlite(server, database, sqlite_file)


@pytest.mark.parametrize("version", [3, 5, 6, 7])
def test_typed_fixture_types_and_values(server, tmp_path, version):
    script, sqlite_file = write_formats(str(tmp_path), ["--fixture", str(version)], "--select", "A")
    database = server.new_database()
    server.psql(database, "-f", script)
    types = compare_with_sqlite(server, database, sqlite_file)
    assert {name: t for (table, name), t in types.items() if table == "Kunden"} == {
        "Name": "text", "Count": "integer", "Price": "numeric", "Ratio": "real", "Since": "date",
        "At": "time without time zone", "Colour": "text", "Straße": "text", "_deleted": "boolean"}
    rows = server.query(database, 'SELECT "Name", "Price"::text, "Since"::text, "At"::text, "_deleted" '
                                  'FROM "Kunden"')
    assert rows == [["Café Müller", "0.10", "1997-03-15", "09:30:15", "f"],
                    ['Empty "values"', None, None, None, "f"],
                    ["Gone", "-0.13", None, None, "t"]]
    scale = server.query(database, "SELECT numeric_precision, numeric_scale FROM information_schema.columns "
                                   "WHERE table_name = 'Kunden' AND column_name = 'Price'")
    assert scale == [["6", "2"]]


def test_texts_that_copy_escapes_arrive_unchanged(server, tmp_path):
    script, sqlite_file = write_formats(str(tmp_path), ["--fixture", "escapes"])
    database = server.new_database()
    server.psql(database, "-f", script)
    compare_with_sqlite(server, database, sqlite_file)
    rows = server.query(database, 'SELECT "Text" FROM "Escapes" ORDER BY "Row"')
    assert [r[0] for r in rows] == ["back\\slash", "tab\there", "line\nfeed", "carriage\rreturn", "\\.",
                                    "\\N", "end\\", "N"]


def test_script_through_standard_input_into_a_schema_and_again_with_drop(server, tmp_path):
    script, _ = write_formats(str(tmp_path), sample_source("v5"), "--schema", "Legacy Data", "--drop")
    database = server.new_database()
    with open(script, encoding="utf-8") as f:
        text = f.read()
    server.psql(database, stdin=text)
    server.psql(database, stdin=text)  # the tables are dropped first, so a second load succeeds
    count = server.query(database, 'SELECT count(*) FROM "Legacy Data"."Customers"')
    assert count == [["4"]]
    public = server.query(database, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'")
    assert public == [["0"]]


def test_a_failing_load_leaves_nothing_behind(server, tmp_path):
    script, _ = write_formats(str(tmp_path), sample_source("v6"))
    database = server.new_database()
    server.psql(database, "-f", script)
    server.psql(database, "-c", 'INSERT INTO "Customers" SELECT * FROM "Customers"')
    # Without --drop the second load fails at its first CREATE TABLE and its one transaction is rolled back.
    result = server.psql(database, "-f", script, check=False)
    assert result.returncode != 0
    assert "already exists" in result.stderr
    assert server.query(database, 'SELECT count(*) FROM "Customers"') == [["8"]]


def test_schema_ddl_creates_the_tables_of_the_script(server, tmp_path):
    ddl = os.path.join(str(tmp_path), "schema.sql")
    result = subprocess.run([TOOL, "--ddl-postgresql", ddl, "--fixture", "6", "--select", "D"],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    script, _ = write_formats(str(tmp_path), ["--fixture", "6"], "--select", "D")
    described = []
    for path in (ddl, script):
        database = server.new_database()
        server.psql(database, "-1", "-f", path) if path == ddl else server.psql(database, "-f", path)
        described.append(server.query(database, "SELECT table_name, column_name, data_type, "
                                                "coalesce(numeric_precision, 0), coalesce(numeric_scale, 0) "
                                                "FROM information_schema.columns WHERE table_schema = 'public' "
                                                "ORDER BY table_name, ordinal_position"))
    assert described[0] == described[1]
    assert ["Kunden", "_deleted", "boolean", "0", "0"] in described[0]
