#!/usr/bin/env python3
"""The viewer's in-document search ("Suchen") against a plain reference and ripgrep.

Usage: bench_find.py --qh-bench PROGRAM [--store FILE] [--mb SIZE] [--runs N]

Makes a UTF-8 document store of SIZE MB when it is missing (default 2048: 2 GB, so the
offsets pass 2^31), then collects every hit of a rare and a frequent word with
`qh-bench find` (the whole collection, as the first press does, printed one offset per
line), with the plain reference below (run once: it is slow) and with
`rg -o -b -F` (-i without case). The offsets of all three must agree. Each time is
the median of N hot-cache runs, wall clock, including printing the offsets; the peak is
the largest resident set, from GNU time.

Case folding: ours is the simple lower-case mapping per character, ripgrep's -i the
simple case folding; they differ on a few characters (final sigma, long s, ...) that
the queries here do not hold. ripgrep's matches do not overlap; these words cannot
overlap themselves, so all hits are comparable.
"""
import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

QUERIES = [
    # name, text, qh-bench options, ripgrep options
    ("rare, ignore case", "quarzsandgrube", [], ["-i"]),
    ("rare, case-sensitive", "Quarzsandgrube", ["--case"], []),
    ("frequent, ignore case", "müller", [], ["-i"]),
    ("frequent, case-sensitive", "Müller", ["--case"], []),
]

WORDS = ["und", "der", "die", "das", "Haus", "Straße", "Gemeinde", "Bürger", "über", "Verwaltung",
         "Schule", "groß", "Wasser", "Jahr", "Stadt", "Kirche", "Weg", "Müller", "Zeitung", "Bahnhof",
         "Wald", "Feld", "mit", "für", "nicht", "Rathaus", "Brücke", "Ärger", "öffentlich", "Geschichte",
         "MÜLLER", "müller", "Müllerin"]
RARE = ["Quarzsandgrube", "QUARZSANDGRUBE", "quarzsandgrube"]
CHUNK = 16 << 20

GNU_TIME = "/usr/bin/time"


def generate(path, size):
    """Store records (blank lines, "#" path, a run of "=", text) of about 64 KB each,
    written 16 MB at a time from a pool of random lines; now and then a rare word."""
    rng = random.Random(1)
    pool = []
    for _ in range(20000):
        pool.append(" ".join(rng.choices(WORDS, k=rng.randint(6, 10))))
    tmp = path + ".part"
    written, doc = 0, 0
    with open(tmp, "wb") as out:
        while written < size:
            parts = []
            for _ in range(CHUNK // 65536):
                name = f"C:\\Daten\\Archiv\\Seite{doc}.htm"
                lines = rng.choices(pool, k=1000)
                if rng.random() < 0.01:
                    lines[rng.randrange(len(lines))] += " " + rng.choice(RARE)
                parts.append(f"\r\n \r\n#{name}\r\n{'=' * (len(name) // 2)}\r\n" + "\r\n".join(lines) + "\r\n")
                doc += 1
            data = "".join(parts).encode("utf-8")[: size - written]
            out.write(data)
            written += len(data)
    os.replace(tmp, path)


def case_variants(text):
    """For each character of the text, every character whose simple lower case is its
    own, as UTF-8 (one pass over all characters)."""
    wanted = {ch.lower(): ch for ch in text}
    found = {ch: set() for ch in text}
    for cp in range(0x110000):
        if 0xD800 <= cp < 0xE000:
            continue
        low = chr(cp).lower()
        if len(low) != 1:  # a full mapping of several characters: the simple one keeps it
            low = chr(cp)
        if low in wanted:
            found[wanted[low]].add(chr(cp).encode("utf-8"))
    return found


ASCII_LOWER = bytes.maketrans(bytes(range(65, 91)), bytes(range(97, 123)))


def reference(path, text, case_sensitive):
    """Plain reference: every byte offset at which the text starts, its characters compared
    one by one (without case: by their simple lower case), overlapping hits included.
    Without case the ASCII letters of the file are lowered first (byte for byte, so the
    offsets stay) and each character of the text becomes its lowered forms."""
    if case_sensitive:
        parts = [re.escape(ch.encode("utf-8")) for ch in text]
    else:
        parts = []
        variants = case_variants(text)
        for ch in text:
            forms = sorted({v.translate(ASCII_LOWER) for v in variants[ch]})
            parts.append(re.escape(forms[0]) if len(forms) == 1 else
                         b"(?:" + b"|".join(re.escape(v) for v in forms) + b")")
    body = b"".join(parts)
    folded = text if case_sensitive else text.lower()
    overlapping = any(folded[:k] == folded[-k:] for k in range(1, len(folded)))
    # A text that cannot overlap itself needs no look-ahead, which keeps the literal
    # prefix scan of the regular expression engine.
    pattern = re.compile(b"(?=" + body + b")" if overlapping else body)
    longest = 4 * len(text)
    block = 64 << 20
    out = sys.stdout
    with open(path, "rb") as f:
        pos = 0
        data = f.read(block)
        while data:
            more = f.read(block)
            settled = len(data) if not more else len(data) - longest
            hay = data if case_sensitive else data.translate(ASCII_LOWER)
            out.write("".join(f"{pos + m.start()}\n" for m in pattern.finditer(hay) if m.start() < settled))
            data = data[settled:] + more
            pos += settled


def timed(cmd):
    """Seconds, peak resident MB and output of one run."""
    rss_file = None
    if os.path.exists(GNU_TIME):
        rss_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"qh-bench-find-rss-{os.getpid()}")
        cmd = [GNU_TIME, "-f", "%M", "-o", rss_file, *cmd]
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = proc.communicate()
    seconds = time.perf_counter() - start
    if proc.returncode not in (0, 1) or (proc.returncode == 1 and out):
        sys.exit(f"failed: {' '.join(cmd)}\n{err.decode('utf-8', 'replace')}")
    rss = float("nan")
    if rss_file:
        with open(rss_file) as f:
            rss = int(f.read().split()[-1]) / 1024.0
        os.remove(rss_file)
    return seconds, rss, out.decode("ascii", "replace")


def median_run(cmd, runs):
    timed(cmd)  # hot cache
    results = [timed(cmd) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results), results[-1][2]


def offsets(out, rg=False):
    lines = out.split()
    return [int(line.split(":", 1)[0]) if rg else int(line) for line in lines]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qh-bench")
    ap.add_argument("--store", default="/tmp/qh-bench-find-store.txt")
    ap.add_argument("--mb", type=int, default=2048)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--reference", nargs=2, metavar=("FILE", "TEXT"), help=argparse.SUPPRESS)
    ap.add_argument("--case", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.reference:
        reference(args.reference[0], args.reference[1], args.case)
        return
    if not args.qh_bench:
        ap.error("--qh-bench is required")

    size = args.mb << 20
    if not os.path.exists(args.store) or os.path.getsize(args.store) != size:
        print(f"making a {args.mb} MB store in {args.store} ...", flush=True)
        generate(args.store, size)
    rg = shutil.which("rg")
    if not rg:
        print("ripgrep (rg) is not installed: its columns are skipped (apt-get install ripgrep)")

    print(f"\n== in-document search over {size / 1e9:.2f} GB; qh-bench and rg median of {args.runs}, "
          f"the reference once")
    print(f"{'query':<26} {'hits':>9} {'ours s':>7} {'ours MB':>8} {'ref s':>7} {'ref MB':>7} "
          f"{'rg s':>7} {'rg MB':>7} agree")
    for name, text, options, rg_options in QUERIES:
        ours, ours_rss, out = median_run([args.qh_bench, "find", "--kind", "utf8", *options, args.store, text],
                                         args.runs)
        hits = offsets(out)
        ref_cmd = [sys.executable, os.path.abspath(__file__), "--reference", args.store, text]
        ref_s, ref_rss, ref_out = timed(ref_cmd + (["--case"] if "--case" in options else []))
        agree = offsets(ref_out) == hits
        rg_s = rg_rss = float("nan")
        if rg:
            rg_s, rg_rss, rg_out = median_run([rg, "-o", "-b", "-F", "-a", "--no-filename", "--no-line-number",
                                               *rg_options, "--", text, args.store], args.runs)
            agree = agree and offsets(rg_out, rg=True) == hits
        print(f"{name:<26} {len(hits):>9} {ours:>7.2f} {ours_rss:>8.1f} {ref_s:>7.2f} {ref_rss:>7.1f} "
              f"{rg_s:>7.2f} {rg_rss:>7.1f} {'yes' if agree else 'NO'}", flush=True)
        if not agree:
            sys.exit("the offsets differ")


if __name__ == "__main__":
    main()
