#!/usr/bin/env python3
"""Peak memory of a build run, or of one of the driver's text paths, over one huge page.

Usage: bench_page_memory.py --qh-bench PROGRAM [--manifester PROGRAM] [--mb SIZE]
                            [--command index|html2text|mht2text] [--shape NAME ...]

Each shape is one page of SIZE MB (default 200) in a folder of its own, mapped as drive Q.
--command index (the default; needs --manifester): `qh-bench index` builds a database of it
(the first run also writes the drive list, the second is measured). html2text: `qh-bench
html2text` of the page. mht2text: the page packed as the HTML part of a web archive
(quoted-printable, so the archive is about 1.2 x SIZE; --mb 247 makes a 300 MB archive),
`qh-bench mht2text` of it. Reported per shape: the input's size, the time and peak resident
memory of the run, the ratio to the input, and the bound 5 x input + 64 MB.

Shapes: text (paragraphs of German text, UTF-8), cp1252 (the same in windows-1252 without a
declaration), dense (a table of short linked cells: a tag every few characters), nested
(inline elements that are never closed, so the open elements pile up), tail (the text after
"</body>", which the formatter must hold until the body can no longer grow).
"""
import argparse
import os
import quopri
import random
import shutil
import subprocess
import sys
import tempfile
import time

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


def write_archive(page, path):
    """The page as the quoted-printable HTML part of a web archive, written in slices."""
    with open(page, "rb") as src, open(path, "wb") as out:
        out.write(b"From: <Saved by a browser>\r\nSubject: Seite\r\nMIME-Version: 1.0\r\n"
                  b"Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"----=_NextPart_000\"\r\n\r\n"
                  b"This is a multi-part message in MIME format.\r\n\r\n------=_NextPart_000\r\n"
                  b"Content-Type: text/html; charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                  b"Content-Location: https://example.org/\r\n\r\n")
        while True:
            lines = src.readlines(8 << 20)
            if not lines:
                break
            out.write(quopri.encodestring(b"".join(lines)).replace(b"\n", b"\r\n"))
        out.write(b"\r\n------=_NextPart_000--\r\n")
    return os.path.getsize(path)


def run_measured(cmd, env, stdout=subprocess.PIPE):
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, stdout=stdout, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.stderr.write(proc.stderr.read().decode("utf-8", "replace"))
    return usage.ru_maxrss / 1024.0, code, seconds


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qh-bench", required=True)
    ap.add_argument("--manifester")
    ap.add_argument("--mb", type=float, default=200.0)
    ap.add_argument("--command", default="index", choices=["index", "html2text", "mht2text"])
    ap.add_argument("--shape", nargs="*", default=["text", "cp1252", "dense", "nested", "tail"])
    args = ap.parse_args()
    if args.command == "index" and not args.manifester:
        sys.exit("--command index needs --manifester")
    print(f"{args.command}: {'shape':<8} {'input MB':>8} {'seconds':>8} {'peak MB':>8} {'x input':>7} {'bound MB':>9}")
    for shape in args.shape:
        root = tempfile.mkdtemp(prefix="qh-page-memory-")
        try:
            folder = os.path.join(root, "corpus", "docs")
            os.makedirs(folder)
            page = os.path.join(folder, "gross.htm")
            size = write_page(page, shape, int(args.mb * 1e6))
            env = dict(os.environ, QUARRY_DRIVES=f"Q={os.path.join(root, 'corpus')}")
            if args.command == "index":
                cmd = [args.qh_bench, "index", "--base", os.path.join(root, "base"), "--name", "seite",
                       "--folder", "Q:\\docs", "--ext", "*.htm", "--manifester", args.manifester]
                run_measured(cmd, env)
                peak, code, seconds = run_measured(cmd, env)
            else:
                if args.command == "mht2text":
                    archive = os.path.join(folder, "gross.mht")
                    size = write_archive(page, archive)
                    os.remove(page)
                    page = archive
                with open(os.devnull, "wb") as null:
                    peak, code, seconds = run_measured([args.qh_bench, args.command, page], env, null)
            mb = size / 2**20
            status = "" if code == 0 else f"  (exit {code})"
            print(f"{args.command}: {shape:<8} {mb:>8.1f} {seconds:>8.1f} {peak:>8.1f} {peak / mb:>7.2f} "
                  f"{5 * mb + 64:>9.1f}{status}", flush=True)
        finally:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
