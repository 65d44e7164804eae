#!/usr/bin/env python3
"""Direct file search of a path-list database against ripgrep over the same files.

Usage: bench_direct.py --qh-bench PROGRAM [--dir DIR] [--files N] [--runs N] [--real FOLDER]

Generates N files (default 20,000, about 6 KB each) in mixed encodings: UTF-8 with and
without byte-order mark, code page 1252, UTF-16LE and UTF-16BE with their marks. A
drive file list of them becomes a database that only lists paths (`qh-bench index
--path-list`), and every query runs as a whole `qh-bench search --paths` process: process
start, the encoding test of every file, snippets and result pages included. ripgrep runs
as `rg -l -F -i` on the same folder (it reads UTF-16 behind its mark as well). For ASCII
words both must name the same set of files. Each time is the median of N hot-cache runs;
ripgrep is timed with its default threads and with one thread. Our run checks the files
on one worker thread per processor, while the hits, their result pages (25 hits each, so
800 pages for a word in every file) and the printed paths stay on the calling thread.

--real FOLDER (e.g. /usr/share/doc) takes the HTML pages found there instead, written by
others: hard links to them, 500 to a folder, repeated until there are N files (hard
links, so a large set costs no disk space; each is read through its own path).
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

QUERIES = ["quarzsandgrube", "rathaus", "und", "zebrastreifen"]

WORDS = ("der die das und ist nicht mit auf für eine dem den von sich des Stadt Straße Bürger "
         "Gemeinde Verwaltung Haushalt Sitzung Antrag Beschluss Schule Wasser Strom Brücke "
         "Bahnhof Markt Kirche Garten Feld Wald Weg Platz Ufer Hafen").split()


def make_corpus(folder, count):
    rng = random.Random(112)
    os.makedirs(folder, exist_ok=True)
    per_folder = 500
    for i in range(count):
        sub = os.path.join(folder, f"teil{i // per_folder:03d}")
        if i % per_folder == 0:
            os.makedirs(sub, exist_ok=True)
        words = [rng.choice(WORDS) for _ in range(rng.randint(400, 1100))]
        if rng.random() < 0.01:
            words.insert(rng.randrange(len(words)), "Quarzsandgrube")
        if rng.random() < 0.3:
            words.insert(rng.randrange(len(words)), rng.choice(["Rathaus", "RATHAUS", "rathaus"]))
        lines = [" ".join(words[k:k + 14]) for k in range(0, len(words), 14)]
        text = "<html><body>\r\n" + "\r\n".join(f"<p>{line}</p>" for line in lines) + "\r\n</body></html>\r\n"
        kind = i % 10
        if kind < 4:
            data = text.encode("utf-8")
        elif kind < 5:
            data = b"\xef\xbb\xbf" + text.encode("utf-8")
        elif kind < 8:
            data = text.encode("cp1252")
        elif kind < 9:
            data = b"\xff\xfe" + text.encode("utf-16-le")
        else:
            data = b"\xfe\xff" + text.encode("utf-16-be")
        with open(os.path.join(sub, f"d{i:05d}.htm"), "wb") as f:
            f.write(data)


REAL_QUERIES = ["quarzsandgrube", "license", "debian", "the"]


def link_real_pages(source, folder, count):
    pages = sorted(os.path.join(d, n) for d, _, ns in os.walk(source) for n in ns
                   if n.lower().endswith((".htm", ".html")) and os.path.isfile(os.path.join(d, n))
                   and not os.path.islink(os.path.join(d, n)))
    if not pages:
        sys.exit(f"no HTML pages under {source}")
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        sub = os.path.join(folder, f"teil{i // 500:03d}")
        if i % 500 == 0:
            os.makedirs(sub, exist_ok=True)
        os.link(pages[i % len(pages)], os.path.join(sub, f"d{i:05d}.htm"))


def drive_form(path):
    return "C:" + path.replace("/", "\\")


def write_drive_list(base, folder):
    """The drive file list as the file-list builder writes it: a folder's first file with
    its whole path, the others as '" name'."""
    lines = []
    for sub in sorted(os.listdir(folder)):
        names = sorted(os.listdir(os.path.join(folder, sub)))
        for k, name in enumerate(names):
            lines.append(drive_form(os.path.join(folder, sub, name)) if k == 0 else '" ' + name)
    with open(os.path.join(base, "Datenbank", "Haupt_Dateinamen_Liste_Laufwerk_C.txt"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("utf-8"))


def timed(cmd):
    start = time.perf_counter()
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    seconds = time.perf_counter() - start
    if proc.returncode not in (0, 1) or (proc.returncode == 1 and cmd[0] != "rg"):
        sys.exit(f"failed: {' '.join(cmd)}\n{proc.stdout.decode()}{proc.stderr.decode()}")
    return seconds, proc.stdout.decode("utf-8", "replace")


def median_run(cmd, runs):
    timed(cmd)  # hot cache
    results = [timed(cmd) for _ in range(runs)]
    return statistics.median(r[0] for r in results), results[-1][1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qh-bench", required=True)
    ap.add_argument("--dir", default="/tmp/qh-bench-direct")
    ap.add_argument("--files", type=int, default=20000)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--real", default="")
    args = ap.parse_args()
    if not shutil.which("rg"):
        sys.exit("ripgrep (rg) is not installed: apt-get install ripgrep")
    root = os.path.abspath(args.dir)
    docs = os.path.join(root, "docs")
    base = os.path.join(root, "base")
    marker = os.path.join(root, f"made-{args.files}" + ("-real" if args.real else ""))
    if not os.path.exists(marker):
        shutil.rmtree(root, ignore_errors=True)
        if args.real:
            link_real_pages(args.real, docs, args.files)
        else:
            make_corpus(docs, args.files)
        open(marker, "w").close()
    os.makedirs(os.path.join(base, "Datenbank", "Temp"), exist_ok=True)
    write_drive_list(base, docs)
    subprocess.run([args.qh_bench, "index", "--base", base, "--name", "direct", "--folder", drive_form(docs),
                    "--ext", "*.htm", "--path-list"], check=True, stdout=subprocess.DEVNULL)

    size = sum(os.path.getsize(os.path.join(d, n)) for d, _, ns in os.walk(docs) for n in ns) / 1e6
    print(f"== direct search of {args.files} files ({size:.0f} MB), median of {args.runs}")
    print(f"{'query':<16} {'files':>6} {'same':>5} {'ours s':>8} {'rg s':>8} {'rg -j1 s':>9} {'ours/rg':>8} {'ours/rg1':>9}")
    ok = True
    for text in REAL_QUERIES if args.real else QUERIES:
        ours, out = median_run([args.qh_bench, "search", "--base", base, "--name", "direct", "--paths", text],
                               args.runs)
        rg, rg_out = median_run(["rg", "-l", "-F", "-i", "--", text, docs], args.runs)
        rg1, _ = median_run(["rg", "-j1", "-l", "-F", "-i", "--", text, docs], args.runs)
        ours_files = {line[4:] for line in out.splitlines() if line.startswith("hit ")}
        rg_files = set(rg_out.splitlines())
        same = ours_files == rg_files
        ok = ok and same
        print(f"{text:<16} {len(ours_files):>6} {'yes' if same else 'NO':>5} {ours:>8.3f} {rg:>8.3f} {rg1:>9.3f} "
              f"{ours / rg:>8.2f} {ours / rg1:>9.2f}")
        if not same:
            for path in sorted(ours_files - rg_files)[:5]:
                print(f"   only ours: {path}")
            for path in sorted(rg_files - ours_files)[:5]:
                print(f"   only rg:   {path}")
    if not ok:
        sys.exit(1)


if __name__ == "__main__":
    main()
