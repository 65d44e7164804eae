#!/usr/bin/env python3
"""Peak memory of a build run over one huge page, per page shape.

Usage: bench_page_memory.py --qh-bench PROGRAM --manifester PROGRAM [--mb SIZE] [--shape NAME ...]

Each shape is one page of SIZE MB (default 200) in a folder of its own, mapped as drive Q;
`qh-bench index` builds a database of it (the first run also writes the drive list, the
second is measured). Reported per shape: the page's size, the peak resident memory of the
run, its ratio to the page, and the bound 5 x page + 64 MB.

Shapes: text (paragraphs of German text, UTF-8), cp1252 (the same in windows-1252 without a
declaration), dense (a table of short linked cells: a tag every few characters), nested
(inline elements that are never closed, so the open elements pile up), tail (the text after
"</body>", which the formatter must hold until the body can no longer grow).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

WORDS = ("Straße Größe Übersicht Bücher Ärger öffentlich Maßnahme Gebäude Prüfung Zuständigkeit "
         "Haus Garten Arbeit Stadt Land Wasser Mittag Abend Kinder Schule Bericht Kapitel "
         "die der das und oder aber nicht mit von zu im am ist sind wird wurde haben sein").split()


def words(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n))


def piece(shape, rng):
    if shape in ("text", "cp1252", "tail"):
        return f"<p>{words(rng, 80)}</p>\n"
    if shape == "dense":
        return "".join(f'<tr><td><a href="/s/{rng.randrange(10**6)}">{rng.choice(WORDS)}</a></td>'
                       f"<td>{rng.randrange(1000)},5</td></tr>\n" for _ in range(8))
    if shape == "nested":
        return "".join(f"<font>{rng.choice(WORDS)} " for _ in range(40)) + "\n"
    raise ValueError(shape)


def write_page(path, shape, size):
    rng = random.Random(7)
    encoding = "cp1252" if shape == "cp1252" else "utf-8"
    head = "<html><head><title>Großes Dokument</title></head><body>\n"
    if shape == "dense":
        head += "<table>\n"
    if shape == "tail":
        head += "<p>Anfang</p></body>\n"
    written = 0
    with open(path, "w", encoding=encoding, newline="\n") as out:
        out.write(head)
        block = "".join(piece(shape, rng) for _ in range(200))
        block_bytes = len(block.encode(encoding))
        while written < size:
            out.write(block)
            written += block_bytes
        out.write("</body></html>\n")
    return os.path.getsize(path)


def run_measured(cmd, env):
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.stderr.write(proc.stdout.read().decode("utf-8", "replace") + proc.stderr.read().decode("utf-8", "replace"))
    return usage.ru_maxrss / 1024.0, code


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qh-bench", required=True)
    ap.add_argument("--manifester", required=True)
    ap.add_argument("--mb", type=float, default=200.0)
    ap.add_argument("--shape", nargs="*", default=["text", "cp1252", "dense", "nested", "tail"])
    args = ap.parse_args()
    print(f"{'shape':<8} {'page MB':>8} {'peak MB':>8} {'x page':>7} {'bound MB':>9}")
    for shape in args.shape:
        root = tempfile.mkdtemp(prefix="qh-page-memory-")
        try:
            folder = os.path.join(root, "corpus", "docs")
            os.makedirs(folder)
            size = write_page(os.path.join(folder, "gross.htm"), shape, int(args.mb * 1e6))
            env = dict(os.environ, QUARRY_DRIVES=f"Q={os.path.join(root, 'corpus')}")
            cmd = [args.qh_bench, "index", "--base", os.path.join(root, "base"), "--name", "seite",
                   "--folder", "Q:\\docs", "--ext", "*.htm", "--manifester", args.manifester]
            run_measured(cmd, env)
            peak, code = run_measured(cmd, env)
            mb = size / 2**20
            status = "" if code == 0 else f"  (exit {code})"
            print(f"{shape:<8} {mb:>8.1f} {peak:>8.1f} {peak / mb:>7.2f} {5 * mb + 64:>9.1f}{status}", flush=True)
        finally:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
