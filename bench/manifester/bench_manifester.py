#!/usr/bin/env python3
"""Times `Manifester open X` against `find ROOT -type f` on the same generated tree.

Usage: bench_manifester.py MANIFESTER [--files N] [--runs N] [--keep DIR]

The tree (nested folders, some non-ASCII names) is made in a temporary folder, mapped as
drive X through QUARRY_DRIVES, and both commands run several times on a hot cache; the
best and the median wall time of each are printed.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

NAMES = ["bericht", "Übersicht", "index", "straße", "Kapitel", "größe", "données", "日本語",
         "résumé", "notes", "Ärger", "a b c", "€uro", "Москва", "data", "zz"]
EXTS = [".htm", ".html", ".txt", ".mht", ".pdf"]


def generate(root, files):
    """About `files` files: 30 top folders, 10 below each, 10 below those, files at every level."""
    made = 0
    folders = []
    for a in range(30):
        top = os.path.join(root, f"{NAMES[a % len(NAMES)]}-{a}")
        folders.append(top)
        for b in range(10):
            mid = os.path.join(top, f"{NAMES[(a + b) % len(NAMES)]}_{b}")
            folders.append(mid)
            for c in range(10):
                folders.append(os.path.join(mid, f"{NAMES[(a * b + c) % len(NAMES)]} {c}"))
    for f in folders:
        os.makedirs(f, exist_ok=True)
    per_folder = files // len(folders)
    extra = files - per_folder * len(folders)
    for i, f in enumerate(folders):
        n = per_folder + (1 if i < extra else 0)
        for k in range(n):
            name = f"{NAMES[(i + k) % len(NAMES)]}{k}{EXTS[k % len(EXTS)]}"
            os.close(os.open(os.path.join(f, name), os.O_WRONLY | os.O_CREAT, 0o644))
            made += 1
    return made, len(folders)


def timed(cmd, **kw):
    start = time.perf_counter()
    subprocess.run(cmd, check=True, **kw)
    return time.perf_counter() - start


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("manifester")
    ap.add_argument("--files", type=int, default=300_000)
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--keep", help="use (and keep) this folder for the tree")
    args = ap.parse_args()

    work = args.keep or tempfile.mkdtemp(prefix="quarry-bench-manifester-")
    root = os.path.join(work, "tree")
    base = os.path.join(work, "base")
    try:
        if not os.path.isdir(root):
            t = time.perf_counter()
            made, folders = generate(root, args.files)
            print(f"generated {made} files in {folders} folders in {time.perf_counter() - t:.1f} s")
        os.makedirs(base, exist_ok=True)
        env = dict(os.environ, QUARRY_DRIVES=f"X={root}")
        manifester = [os.path.abspath(args.manifester), "open", "X"]
        find = ["find", root, "-type", "f"]
        with open(os.devnull, "wb") as null:
            # Warm the cache and check that both see the same files.
            timed(find, stdout=null)
            timed(manifester, cwd=base, env=env)
            listed = os.path.join(base, "Datenbank", "Haupt_Dateinamen_Liste_Laufwerk_X.txt")
            with open(listed, "rb") as f:
                lines = f.read().count(b"\r\n")
            found = subprocess.run(find, check=True, capture_output=True).stdout.count(b"\n")
            print(f"files: find {found}, list {lines} lines, {os.path.getsize(listed)} bytes")
            tf, tm = [], []
            for _ in range(args.runs):
                tf.append(timed(find, stdout=null))
                tm.append(timed(manifester, cwd=base, env=env))
        print(f"find ROOT -type f  : best {min(tf) * 1000:7.1f} ms   median {statistics.median(tf) * 1000:7.1f} ms")
        print(f"Manifester open X  : best {min(tm) * 1000:7.1f} ms   median {statistics.median(tm) * 1000:7.1f} ms")
        print(f"ratio (median)     : {statistics.median(tm) / statistics.median(tf):.2f}  ({os.cpu_count()} processors)")
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
