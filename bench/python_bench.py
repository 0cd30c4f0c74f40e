"""The Python module against the CSV export, on the benchmark's form (scripts/bench-python runs it).

    python_bench.py --cli CORVANE_CLI --db DATABASE_DIR [--runs R]

Prints, as medians of R runs on warm files: the CSV export of the form by corvane-cli; read().to_pandas();
the CSV export followed by pandas.read_csv; and the peak resident set of a fresh interpreter that streams the
form with iter_records (and, for comparison, of one that reads it whole into pandas).
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

FORM = "Customers"


def timed(action, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def peak_rss_mib(code):
    """Peak resident set (MiB) of a fresh interpreter running code."""
    # VmHWM rather than ru_maxrss, which Linux carries over from the parent through fork and exec.
    probe = code + (
        "\nprint([l.split()[1] for l in open('/proc/self/status') if l.startswith('VmHWM:')][0])\n"
    )
    done = subprocess.run([sys.executable, "-c", probe], capture_output=True, text=True, check=True)
    return int(done.stdout.split()[-1]) / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--db", required=True)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    import pandas as pd

    import corvane

    out = tempfile.mkdtemp(prefix="corvane-python-bench-")
    csv = os.path.join(out, FORM + ".csv")
    export = [args.cli, "export", args.db, "--out", out, "--form", FORM, "--short-date-format", "%d/%m/%Y"]

    def export_csv():
        subprocess.run(export, check=True, capture_output=True)

    def read_pandas():
        with corvane.open(args.db) as db:
            return db.read(FORM).to_pandas()

    def export_and_read_csv():
        export_csv()
        return pd.read_csv(csv)

    with open(os.path.join(args.db, "CUSTOMER.DBM"), "rb") as data:
        while data.read(1 << 24):
            pass  # warm the page cache
    frame = read_pandas()
    records = len(frame)
    t_csv = timed(export_csv, args.runs)
    t_read = timed(read_pandas, args.runs)
    t_csv_pandas = timed(export_and_read_csv, args.runs)
    setup = f"import corvane\ndb = corvane.open({args.db!r})\n"
    rss_iter = peak_rss_mib(setup + f"for t in db.iter_records({FORM!r}):\n    pass\n")
    rss_iter_small = peak_rss_mib(setup + f"for t in db.iter_records({FORM!r}, batch=16384):\n    pass\n")
    rss_base = peak_rss_mib("import corvane, numpy")
    rss_read = peak_rss_mib(setup + f"df = db.read({FORM!r}).to_pandas()\n")

    print(f"python_bench: {records} live records of {FORM} (medians of {args.runs} runs; {os.cpu_count()} cores, "
          f"load average {' '.join(open('/proc/loadavg').read().split()[:3])})")
    print()
    print("| measure | value |")
    print("|---|---:|")
    print(f"| CSV export (corvane-cli) s | {t_csv:.3f} |")
    print(f"| read().to_pandas() s | {t_read:.3f} |")
    print(f"| read().to_pandas() / CSV export | {t_read / t_csv:.2f} |")
    print(f"| CSV export + pandas.read_csv s | {t_csv_pandas:.3f} |")
    print(f"| read().to_pandas() / (CSV export + read_csv) | {t_read / t_csv_pandas:.2f} |")
    print(f"| iter_records peak RSS MiB (batches of 65536) | {rss_iter:.1f} |")
    print(f"| iter_records peak RSS MiB (batches of 16384) | {rss_iter_small:.1f} |")
    print(f"| interpreter with corvane and NumPy imported, peak RSS MiB | {rss_base:.1f} |")
    print(f"| read().to_pandas() peak RSS MiB | {rss_read:.1f} |")


if __name__ == "__main__":
    main()
