#!/usr/bin/env python3
"""The whole database build run over a generated corpus, against `w3m -dump` over the same files.

Usage: bench_index.py --qh-bench PROGRAM --manifester PROGRAM [--files N] [--mb SIZE]
                      [--keep DIR] [--no-w3m]

The corpus (default 20,000 HTML files, about 1000 MB; --mb makes it smaller for quick runs)
holds German text in UTF-8 and windows-1252, with and without a meta charset, entities
included. It is mapped as drive Q through QUARRY_DRIVES. `qh-bench index` runs twice: the
first run lets Manifester write the drive file list, the second (list present, hot cache)
is the measured one. Reported: MB/s of HTML turned into store text, the peak resident
memory of the run, the time of `w3m -dump` over the same files as a shell loop, and per
encoding class the share of umlauts, "ß", "€" and „“ of each page's text that reach its
record, with the records that hold U+FFFD, C1 controls or mojibake their page does not hold.
"""
import argparse
import html
import os
import re
import random
import shutil
import subprocess
import sys
import tempfile
import time

WORDS = ("Straße Größe Übersicht Bücher Ärger öffentlich Maßnahme Gebäude Prüfung Zuständigkeit "
         "Haus Garten Arbeit Stadt Land Wasser Mittag Abend Kinder Schule Bericht Kapitel Frühling "
         "über für schön heißen natürlich weiß süß Fußball Äpfel Öl Tür Mädchen Brötchen "
         "die der das und oder aber nicht mit von zu im am ist sind wird wurde haben sein "
         "„Zitat“ „Anführung“").split()
ENTITIES = ["&auml;", "&ouml;", "&uuml;", "&szlig;", "&euro;", "&ndash;", "&rsquo;", "&nbsp;", "&amp;"]


def paragraph(rng, words):
    out = []
    for i in range(words):
        w = rng.choice(WORDS)
        if i % 17 == 5:
            w += rng.choice(ENTITIES)
        out.append(w)
    return " ".join(out)


def page(rng, size, charset):
    head = "<!DOCTYPE html>\n<html><head>"
    if charset:
        head += f'<meta http-equiv="Content-Type" content="text/html; charset={charset}">'
    head += f"<title>{paragraph(rng, 6)}</title>\n<style>body {{ color: #333 }}</style></head>\n<body>\n"
    parts = [head, f"<h1>{paragraph(rng, 5)}</h1>\n"]
    length = sum(len(p) for p in parts)
    n = 0
    while length < size:
        n += 1
        if n % 7 == 0:
            chunk = "<ul>" + "".join(f"<li><a href=\"s{n}_{k}.htm\">{paragraph(rng, 4)}</a></li>" for k in range(5)) + "</ul>\n"
        elif n % 11 == 0:
            chunk = "<table><tr>" + "".join(f"<td>{paragraph(rng, 3)}</td>" for _ in range(4)) + "</tr></table>\n"
        else:
            chunk = f"<p>{paragraph(rng, 60)}</p>\n"
        parts.append(chunk)
        length += len(chunk)
    parts.append("</body></html>\n")
    return "".join(parts)


def generate(root, files, total_mb):
    rng = random.Random(4711)
    size = max(1000, int(total_mb * 1024 * 1024 / files))
    kinds = [("utf-8", "utf-8"), (None, "utf-8"), ("windows-1252", "cp1252"), (None, "cp1252")]
    total = 0
    paths = []
    for i in range(files):
        folder = os.path.join(root, "docs", f"Ordner {i // 200:03d}", "Unterordner" if i % 3 == 0 else "")
        os.makedirs(folder, exist_ok=True)
        charset, encoding = kinds[i % len(kinds)]
        data = page(rng, int(size * rng.uniform(0.5, 1.5)), charset).encode(encoding)
        path = os.path.join(folder, f"seite_{i:05d}.htm" if i % 2 else f"Seite {i:05d}.html")
        with open(path, "wb") as f:
            f.write(data)
        total += len(data)
        paths.append(path)
    return total, paths


CLASSES = ["UTF-8 declared", "UTF-8 undeclared", "cp1252 declared", "cp1252 undeclared"]
COUNTED = "äöüÄÖÜß€„“"
SUSPECT = re.compile("[\ufffd\x80-\x9f]|Ã|â€")


def page_class(path):
    return int(re.search(r"(\d{5})\.html?$", path).group(1)) % len(CLASSES)


def visible_text(data, encoding):
    text = data.decode(encoding)
    text = re.sub(r"(?is)<(title|style|script)\b.*?</\1\s*>", " ", text)
    return html.unescape(re.sub(r"<[^>]*>", " ", text))


def store_records(store_path, corpus):
    """Maps the corpus file of each record to the record's text."""
    with open(store_path, "rb") as f:
        text = f.read().decode("utf-8")
    records = {}
    for part in text.split(" \r\n \r\n#")[1:]:
        lines = part.split("\r\n", 2)
        path = lines[0]
        posix = os.path.join(corpus, path[3:].replace("\\", "/"))
        records[posix] = lines[2] if len(lines) > 2 else ""
    return records


def fidelity(store_path, corpus, paths):
    records = store_records(store_path, corpus)
    expected = [0] * len(CLASSES)
    found = [0] * len(CLASSES)
    pages = [0] * len(CLASSES)
    suspect = [0] * len(CLASSES)
    missing = 0
    for path in paths:
        k = page_class(path)
        with open(path, "rb") as f:
            data = f.read()
        page = visible_text(data, "utf-8" if k < 2 else "cp1252")
        record = records.get(path)
        if record is None:
            missing += 1
            continue
        pages[k] += 1
        for c in COUNTED:
            want = page.count(c)
            expected[k] += want
            found[k] += min(want, record.count(c))
        if set(SUSPECT.findall(record)) - set(SUSPECT.findall(page)):
            suspect[k] += 1
    print(f"{'class':<20} {'pages':>6} {'characters':>11} {'reached':>8} {'suspect records':>16}")
    for k, name in enumerate(CLASSES):
        share = 100.0 * found[k] / expected[k] if expected[k] else 100.0
        print(f"{name:<20} {pages[k]:>6} {expected[k]:>11} {share:>7.2f}% {suspect[k]:>16}")
    if missing:
        print(f"pages without a record: {missing}")


def run_measured(cmd, env):
    """Runs cmd, returns (seconds, peak RSS in MB, exit status)."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    out = proc.stdout.read().decode("utf-8", "replace")
    err = proc.stderr.read().decode("utf-8", "replace")
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.stderr.write(out + err)
    return seconds, usage.ru_maxrss / 1024.0, proc.returncode, out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qh-bench", required=True)
    ap.add_argument("--manifester", required=True)
    ap.add_argument("--files", type=int, default=20000)
    ap.add_argument("--mb", type=float, default=1000.0, help="corpus size in MB")
    ap.add_argument("--keep", help="use (or make) the corpus in this folder and keep it")
    ap.add_argument("--no-w3m", action="store_true")
    args = ap.parse_args()

    root = args.keep or tempfile.mkdtemp(prefix="qh-index-bench-")
    corpus = os.path.join(root, "corpus")
    base = os.path.join(root, "base")
    try:
        t = time.perf_counter()
        if os.path.isdir(corpus) and args.keep:
            paths = [os.path.join(d, f) for d, _, fs in os.walk(corpus) for f in fs]
            total = sum(os.path.getsize(p) for p in paths)
        else:
            total, paths = generate(corpus, args.files, args.mb)
        print(f"corpus: {len(paths)} files, {total / 1e6:.1f} MB (made in {time.perf_counter() - t:.1f} s)")
        shutil.rmtree(base, ignore_errors=True)
        env = dict(os.environ, QUARRY_DRIVES=f"Q={corpus}")
        cmd = [args.qh_bench, "index", "--base", base, "--name", "bench", "--folder", "Q:\\docs",
               "--ext", "*.htm *.html", "--manifester", args.manifester]
        cold, cold_rss, rc, _ = run_measured(cmd, env)
        if rc != 0:
            sys.exit("the first build run failed")
        warm, warm_rss, rc, out = run_measured(cmd, env)
        if rc != 0:
            sys.exit("the second build run failed")
        store = os.path.getsize(os.path.join(base, "Datenbank", "bench_UTF8Dokument.txt"))
        print(out.strip().splitlines()[-1])
        print(f"build run with Manifester: {cold:.2f} s, peak {cold_rss:.1f} MB")
        print(f"build run, list present:   {warm:.2f} s, {total / 1e6 / warm:.1f} MB/s of HTML, "
              f"peak {warm_rss:.1f} MB, store {store / 1e6:.1f} MB")
        fidelity(os.path.join(base, "Datenbank", "bench_UTF8Dokument.txt"), corpus, paths)
        if args.no_w3m or not shutil.which("w3m"):
            print("w3m: skipped" + ("" if args.no_w3m else " (not installed)"))
            return
        out_file = os.path.join(root, "w3m.txt")
        script = f"find '{os.path.join(corpus, 'docs')}' -type f -name '*.htm*' -exec w3m -dump {{}} \\; > '{out_file}'"
        t = time.perf_counter()
        subprocess.run(["sh", "-c", script], check=True)
        w3m = time.perf_counter() - t
        print(f"w3m -dump loop:            {w3m:.2f} s, {total / 1e6 / w3m:.1f} MB/s; "
              f"build run is {w3m / warm:.1f} times as fast")
    finally:
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
