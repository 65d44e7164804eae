#!/usr/bin/env python3
"""Whole database search runs against ripgrep over the same generated store.

Usage: bench_search.py --qh-bench PROGRAM --engine PROGRAM [--store FILE] [--mb SIZE] [--runs N]

The engine benchmark (bench_stream_search) makes the store when it is missing (default
1 GB, 20,000 documents) and prints its own table: the stream search alone. Then the store
becomes a database in a base folder beside it (hard link, description, title positions
from a first run) and every query runs as a whole `qh-bench search` process: process
start, title positions, snippets and result pages included. Each time is the median of
N hot-cache runs; ripgrep counts matching lines of the same file with the matching flags.
Peak memory is the largest resident set of the search runs.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

QUERIES = [
    # name, text, qh-bench options, ripgrep options
    ("rare, case-sensitive", "Quarzsandgrube", [], []),
    ("rare, ignore case", "quarzsandgrube", [], ["-i"]),
    ("rare, ignore case, words", "quarzsandgrube", ["--words"], ["-i", "-w"]),
    ("rare non-ASCII, case-sensitive", "Müllabfuhrgebühren", ["--case"], []),
    ("rare non-ASCII, ignore case", "müllabfuhrgebühren", [], ["-i"]),
    ("frequent, case-sensitive", "Rathaus", ["--case"], []),
    ("frequent, ignore case", "rathaus", [], ["-i"]),
    ("frequent, ignore case, words", "rathaus", ["--words"], ["-i", "-w"]),
    ("frequent non-ASCII, ignore case", "bürger", [], ["-i"]),
]


GNU_TIME = "/usr/bin/time"


def timed(cmd, env=None):
    """Seconds, peak resident MB and output of one run. The peak comes from GNU time when
    it is there: the rusage of a child forked from this interpreter counts the
    interpreter's own pages from before the exec."""
    rss_file = None
    if os.path.exists(GNU_TIME):
        rss_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"qh-bench-rss-{os.getpid()}")
        cmd = [GNU_TIME, "-f", "%M", "-o", rss_file, *cmd]
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    out = proc.stdout.read().decode("utf-8", "replace")
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(cmd)}\n{out}{proc.stderr.read().decode('utf-8', 'replace')}")
    rss = usage.ru_maxrss / 1024.0
    if rss_file:
        with open(rss_file) as f:
            rss = int(f.read().split()[-1]) / 1024.0
        os.remove(rss_file)
    return seconds, rss, out


def median_run(cmd, runs):
    timed(cmd)  # hot cache
    results = [timed(cmd) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results), results[-1][2]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qh-bench", required=True)
    ap.add_argument("--engine", required=True)
    ap.add_argument("--store", default="/tmp/qh-bench-store.txt")
    ap.add_argument("--mb", type=int, default=1024)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    if not shutil.which("rg"):
        sys.exit("ripgrep (rg) is not installed: apt-get install ripgrep")

    print("== the stream search alone (bench_stream_search)")
    subprocess.run([args.engine, args.store, str(args.mb)], check=True)

    base = args.store + ".base"
    db = os.path.join(base, "Datenbank")
    os.makedirs(os.path.join(db, "Temp"), exist_ok=True)
    store = os.path.join(db, "bench_UTF8Dokument.txt")
    if not os.path.exists(store) or os.stat(store).st_ino != os.stat(args.store).st_ino:
        for name in os.listdir(db):
            if name.startswith("bench"):
                os.remove(os.path.join(db, name))
        os.link(args.store, store)
    with open(os.path.join(db, "bench.dat"), "wb") as f:
        f.write(b"PFAD_UND_ENDUNGEN= C:\\Daten\\Archiv *.htm    \r\n")
    timed([args.qh_bench, "search", "--base", base, "--name", "bench", "Quarzsandgrube"])  # title positions

    size = os.path.getsize(args.store) / 1e9
    print(f"\n== whole runs over {size:.2f} GB, median of {args.runs}")
    print(f"{'query':<34} {'hits':>6} {'ours s':>8} {'rg s':>8} {'ours/rg':>8} {'peak MB':>8}")
    peak = 0.0
    for name, text, options, rg_options in QUERIES:
        ours, rss, out = median_run([args.qh_bench, "search", "--base", base, "--name", "bench", *options, text],
                                    args.runs)
        rg, _, _ = median_run(["rg", "-c", *rg_options, "--", text, args.store], args.runs)
        peak = max(peak, rss)
        hits = out.split()[0] if out else "?"
        print(f"{name:<34} {hits:>6} {ours:>8.3f} {rg:>8.3f} {ours / rg:>8.2f} {rss:>8.1f}")
    print(f"peak resident memory of a search run: {peak:.1f} MB")


if __name__ == "__main__":
    main()
