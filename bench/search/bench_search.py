#!/usr/bin/env python3
"""Whole database search runs against ripgrep over the same generated store.

Usage: bench_search.py --qh-bench PROGRAM --engine PROGRAM [--store FILE] [--mb SIZES]
                       [--runs N] [--engine-table] [--docs FOLDER]

For every size in --mb (MB, comma-separated, default 100,1024) the engine benchmark
(bench_stream_search) makes the store FILE-<size> when it is missing (with
--engine-table it also prints its own table: the stream search alone). The store becomes
a database in a base folder beside it (hard link, description, title positions from a
first run) and every query runs as a whole `qh-bench search` process: process start,
title positions, snippets and result pages included. Each time is the median of N
hot-cache runs with the spread (fastest-slowest), and the ratio of the median CPU times
(user + system, steadier than the wall clock on a busy machine); ripgrep counts matching lines of the
same file with the matching flags. Memory per run: the peak resident set (GNU time) and
the peak of the private memory (anonymous pages, sampled from /proc while it runs; the
read buffers are in it). ripgrep maps a single file by default; where page faults are
dear (a virtual machine) its --no-mmap run is faster, so that one is timed as well and
"o/best" compares with the faster of the two.

--docs FOLDER (e.g. /usr/share/doc) builds a database of the real HTML files there with
`qh-bench index` and runs the same queries over its store.
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
    # The first or last letter with three forms: i (İ), k (the Kelvin sign).
    ("i-word, ignore case", "iterator", [], ["-i"]),
    ("i-word, ignore case, words", "ist", ["--words"], ["-i", "-w"]),
    ("k-word frequent, ignore case", "kirche", [], ["-i"]),
    ("k-word frequent, case-sensitive", "Kirche", ["--case"], []),
]

# The real documentation is English: its own words.
DOC_QUERIES = [
    ("rare, ignore case", "quarzsandgrube", [], ["-i"]),
    ("frequent, case-sensitive", "Debian", ["--case"], []),
    ("frequent, ignore case", "debian", [], ["-i"]),
    ("frequent, ignore case, words", "license", ["--words"], ["-i", "-w"]),
    ("i-word, ignore case", "install", [], ["-i"]),
    ("k-word, ignore case", "kernel", [], ["-i"]),
    ("non-ASCII, ignore case", "über", [], ["-i"]),
]

GNU_TIME = "/usr/bin/time"


def peak_private_mb(proc, under_time):
    """The largest RssAnon of a running program, sampled until it ends (under GNU time,
    of time's child)."""
    peak = 0
    path = None
    while proc.poll() is None:
        if path is None:
            if not under_time:
                path = f"/proc/{proc.pid}/status"
            else:
                try:
                    children = open(f"/proc/{proc.pid}/task/{proc.pid}/children").read().split()
                except OSError:
                    children = []
                if not children:
                    time.sleep(0.0005)
                    continue
                path = f"/proc/{children[0]}/status"
        try:
            with open(path) as f:
                for line in f:
                    if line.startswith("RssAnon:"):
                        peak = max(peak, int(line.split()[1]))
        except OSError:
            break
        time.sleep(0.002)
    return peak / 1024.0


def timed(cmd, env=None, sample=False, ok_codes=()):
    """Seconds, peak resident MB, peak private MB and output of one run. The peak resident
    set comes from GNU time when it is there: the rusage of a child forked from this
    interpreter counts the interpreter's own pages from before the exec."""
    rss_file = None
    if os.path.exists(GNU_TIME):
        rss_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"qh-bench-rss-{os.getpid()}")
        cmd = [GNU_TIME, "-f", "%M %U %S", "-o", rss_file, *cmd]
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    private = 0.0
    if sample:
        private = peak_private_mb(proc, rss_file is not None)
    out_bytes, err_bytes = proc.communicate()
    seconds = time.perf_counter() - start
    out = out_bytes.decode("utf-8", "replace")
    if proc.returncode != 0 and not (ok_codes and proc.returncode in ok_codes):
        sys.exit(f"failed: {' '.join(cmd)}\n{out}{err_bytes.decode('utf-8', 'replace')}")
    rss = cpu = 0.0
    if rss_file:
        with open(rss_file) as f:
            fields = f.read().split()[-3:]
        rss = int(fields[0]) / 1024.0
        cpu = float(fields[1]) + float(fields[2])
        os.remove(rss_file)
    return seconds, rss, private, out, cpu


def median_run(cmd, runs, sample=False, env=None, ok_codes=()):
    timed(cmd, env=env, ok_codes=ok_codes)  # hot cache
    results = [timed(cmd, env=env, ok_codes=ok_codes) for _ in range(runs)]
    private = max(timed(cmd, env=env, sample=True)[2] for _ in range(2)) if sample else 0.0
    times = [r[0] for r in results]
    cpu = statistics.median(r[4] for r in results)
    return statistics.median(times), min(times), max(times), max(r[1] for r in results), private, results[-1][3], cpu


def make_base(store_file, base, description):
    db = os.path.join(base, "Datenbank")
    os.makedirs(os.path.join(db, "Temp"), exist_ok=True)
    store = os.path.join(db, "bench_UTF8Dokument.txt")
    if not os.path.exists(store) or os.stat(store).st_ino != os.stat(store_file).st_ino:
        for name in os.listdir(db):
            if name.startswith("bench"):
                os.remove(os.path.join(db, name))
        os.link(store_file, store)
    with open(os.path.join(db, "bench.dat"), "wb") as f:
        f.write(description)


def run_queries(qh_bench, base, store_file, runs, env=None, queries=QUERIES):
    size = os.path.getsize(store_file) / 1e9
    timed([qh_bench, "search", "--base", base, "--name", "bench", "Quarzsandgrube"], env=env)  # title positions
    print(f"\n== whole runs over {size:.3f} GB ({store_file}), median of {runs} (fastest-slowest)")
    print(f"{'query':<34} {'hits':>6} {'ours s':>8} {'spread':>13} {'rg s':>8} {'spread':>13} {'ours/rg':>8}"
          f" {'rg -nm s':>8} {'o/best':>6} {'cpu o/r':>8} {'RSS MB':>7} {'priv MB':>7}")
    peak = private_peak = 0.0
    for name, text, options, rg_options in queries:
        ours, lo, hi, rss, private, out, ours_cpu = median_run(
            [qh_bench, "search", "--base", base, "--name", "bench", *options, text], runs, sample=True, env=env)
        rg, rlo, rhi, _, _, _, rg_cpu = median_run(["rg", "-c", *rg_options, "--", text, store_file], runs, ok_codes=(1,))
        rg_read = median_run(["rg", "-c", "--no-mmap", *rg_options, "--", text, store_file], runs, ok_codes=(1,))[0]
        peak = max(peak, rss)
        private_peak = max(private_peak, private)
        hits = out.split()[0] if out.split() else "?"
        print(f"{name:<34} {hits:>6} {ours:>8.3f} {lo:>6.3f}-{hi:<6.3f} {rg:>8.3f} {rlo:>6.3f}-{rhi:<6.3f}"
              f" {ours / rg:>8.2f} {rg_read:>8.3f} {ours / min(rg, rg_read):>6.2f} {ours_cpu / max(rg_cpu, 0.005):>8.2f} {rss:>7.1f} {private:>7.1f}")
    print(f"peak resident set of a search run: {peak:.1f} MB; peak private memory: {private_peak:.1f} MB")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qh-bench", required=True)
    ap.add_argument("--engine", required=True)
    ap.add_argument("--store", default="/tmp/qh-bench-store.txt")
    ap.add_argument("--mb", default="100,1024")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--engine-table", action="store_true")
    ap.add_argument("--docs", default="")
    args = ap.parse_args()
    if not shutil.which("rg"):
        sys.exit("ripgrep (rg) is not installed: apt-get install ripgrep")

    for mb in [int(m) for m in args.mb.split(",") if m]:
        store_file = f"{args.store}-{mb}"
        if args.engine_table or not os.path.exists(store_file):
            print(f"== the stream search alone (bench_stream_search, {mb} MB)")
            subprocess.run([args.engine, store_file, str(mb)], check=True, stdout=None if args.engine_table else subprocess.DEVNULL)
        base = store_file + ".base"
        make_base(store_file, base, b"PFAD_UND_ENDUNGEN= C:\\Daten\\Archiv *.htm    \r\n")
        run_queries(args.qh_bench, base, store_file, args.runs)

    if args.docs:
        base = args.store + "-docs.base"
        env = dict(os.environ, QUARRY_DRIVES=f"T={args.docs}")
        store = os.path.join(base, "Datenbank", "bench_UTF8Dokument.txt")
        if not os.path.exists(store):
            subprocess.run([args.qh_bench, "index", "--base", base, "--name", "bench", "--folder", "T:\\",
                            "--ext", "*.htm *.html"], check=True, env=env, stdout=subprocess.DEVNULL)
        run_queries(args.qh_bench, base, store, args.runs, env=env, queries=DOC_QUERIES)


if __name__ == "__main__":
    main()
