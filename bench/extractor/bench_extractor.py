#!/usr/bin/env python3
"""The extractor's text extraction over a generated corpus of web archives and mails.

Usage: bench_extractor.py --qh-bench PROGRAM [--bench-job PROGRAM] [--gleaner PROGRAM --manifester PROGRAM]
                          [--mb SIZE] [--corpus DIR] [--runs N] [--seed S] [--real-mb SIZE] [--real-runs N]

The corpus (default 520 MB; --mb makes it smaller for quick runs) holds MHT web archives
(multipart/related, the page in quoted-printable or base64, windows-1252 or UTF-8, 0 to 5
images each) and EML mails (multipart/mixed with a multipart/alternative of plain text and
an HTML page with its images, sometimes an attachment). It is written once into DIR (default
a folder in the system's temporary folder) and reused while its description matches.

Measured: `qh-bench mht2text` over the whole corpus on one thread (pinned to one CPU where
taskset exists), warm cache (one unmeasured run first), median of --runs runs (default 5):
MB/s of archive bytes, archives per second, p99 seconds per archive (from the timing of the
median run) and the peak resident memory of the largest run. Target: at least 40 MB/s.
The whole job (bench_job: store, chunks, hand-over files) is measured the same way.

The real program is timed separately over a smaller corpus (--real-mb, default 100): `qh-bench
index --ext "*.mht *.eml"` with the real Gleaner copied into the base folder, a new process
every 20 archives, each waiting its one-second start timer.
"""
import argparse
import base64
import json
import os
import quopri
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

WORDS = ("Straße Größe Übersicht Bücher Ärger öffentlich Maßnahme Gebäude Prüfung Zuständigkeit "
         "Haus Garten Arbeit Stadt Land Wasser Mittag Abend Kinder Schule Bericht Kapitel Frühling "
         "über für schön heißen natürlich weiß süß Fußball Äpfel Öl Tür Mädchen Brötchen € "
         "die der das und oder aber nicht mit von zu im am ist sind wird wurde haben sein "
         "„Zitat“ „Anführung“ – Kosten Preis").split()
CORPUS_VERSION = 1
BATCH = 400  # archives per qh-bench process (the command line stays short)


def paragraph(rng, words):
    return " ".join(rng.choice(WORDS) for _ in range(words))


def page(rng, size, charset, images):
    parts = ['<!DOCTYPE html>\n<html><head>',
             f'<meta http-equiv="Content-Type" content="text/html; charset={charset}">',
             f"<title>{paragraph(rng, 6)}</title>\n<style>body {{ color: #333 }} td {{ padding: 2px }}</style>",
             "<script>var seen = 0; function f() { return seen < 1; }</script></head>\n<body>\n",
             f"<h1>{paragraph(rng, 5)}</h1>\n"]
    for k in range(images):
        parts.append(f'<p><img src="image{k}.png" alt="{paragraph(rng, 2)}"></p>\n')
    length = sum(len(p) for p in parts)
    n = 0
    while length < size:
        n += 1
        if n % 7 == 0:
            chunk = "<ul>" + "".join(f'<li><a href="https://example.org/s{n}_{k}.htm">{paragraph(rng, 4)}</a></li>'
                                     for k in range(5)) + "</ul>\n"
        elif n % 11 == 0:
            chunk = "<table>" + "".join("<tr>" + "".join(f"<td>{paragraph(rng, 3)}</td>" for _ in range(4)) + "</tr>"
                                        for _ in range(3)) + "</table>\n"
        else:
            chunk = f"<p>{paragraph(rng, 60)}</p>\n"
        parts.append(chunk)
        length += len(chunk)
    parts.append("</body></html>\n")
    return "".join(parts)


def encoded(body_bytes, encoding):
    if encoding == "base64":
        return base64.encodebytes(body_bytes).replace(b"\n", b"\r\n")
    return quopri.encodestring(body_bytes).replace(b"\n", b"\r\n")


def image_parts(rng, boundary, count):
    out = []
    for k in range(count):
        data = rng.randbytes(rng.randint(10_000, 150_000))
        out.append(f"--{boundary}\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n"
                   f"Content-Location: https://example.org/image{k}.png\r\n\r\n".encode() + encoded(data, "base64"))
    return out


def html_part(rng, boundary, charset, encoding, images, extra_headers=""):
    html = page(rng, rng.randint(30_000, 250_000), charset, images)
    data = html.encode("cp1252" if charset == "windows-1252" else "utf-8", errors="replace")
    return (f"--{boundary}\r\nContent-Type: text/html; charset=\"{charset}\"\r\n"
            f"Content-Transfer-Encoding: {encoding}\r\n{extra_headers}\r\n").encode() + encoded(data, encoding)


def mht(rng):
    charset = rng.choice(["windows-1252", "utf-8"])
    encoding = rng.choice(["quoted-printable", "base64"])
    images = rng.randint(0, 5)
    head = ("From: <Saved by a browser>\r\nSubject: Seite\r\nMIME-Version: 1.0\r\n"
            "Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"----=_NextPart_000\"\r\n\r\n"
            "This is a multi-part message in MIME format.\r\n\r\n").encode()
    b = "----=_NextPart_000"
    parts = [html_part(rng, b, charset, encoding, images, "Content-Location: https://example.org/\r\n")]
    parts += image_parts(rng, b, images)
    return head + b"\r\n".join(parts) + f"\r\n--{b}--\r\n".encode()


def eml(rng):
    charset = rng.choice(["windows-1252", "utf-8"])
    images = rng.randint(0, 5)
    text = "\r\n\r\n".join(paragraph(rng, 40) for _ in range(rng.randint(5, 40)))
    head = ("From: a@example.org\r\nTo: b@example.org\r\nSubject: Bericht\r\nMIME-Version: 1.0\r\n"
            "Content-Type: multipart/mixed; boundary=\"mixed\"\r\n\r\n--mixed\r\n"
            "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n").encode()
    plain = (f"--alt\r\nContent-Type: text/plain; charset=\"{charset}\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
             ).encode() + encoded(text.encode("cp1252" if charset == "windows-1252" else "utf-8", errors="replace"),
                                  "quoted-printable")
    related = b"--alt\r\nContent-Type: multipart/related; boundary=\"rel\"\r\n\r\n"
    related += b"\r\n".join([html_part(rng, "rel", charset, "quoted-printable", images)] + image_parts(rng, "rel", images))
    related += b"\r\n--rel--\r\n"
    out = head + plain + b"\r\n" + related + b"--alt--\r\n"
    if rng.random() < 0.3:
        out += (b"--mixed\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\nContent-Disposition: attachment; "
                b"filename=\"a.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + encoded(rng.randbytes(80_000), "base64"))
    return out + b"--mixed--\r\n"


def make_corpus(folder, mb, seed):
    description = {"version": CORPUS_VERSION, "mb": mb, "seed": seed}
    stamp = os.path.join(folder, "corpus.json")
    if os.path.exists(stamp):
        with open(stamp) as f:
            if json.load(f) == description:
                return sorted(os.path.join(folder, n) for n in os.listdir(folder) if n != "corpus.json")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    rng = random.Random(seed)
    total, files = 0, []
    while total < mb * 1_000_000:
        i = len(files)
        mail = i % 4 == 3
        data = eml(rng) if mail else mht(rng)
        path = os.path.join(folder, f"a{i:06d}.{'eml' if mail else 'mht'}")
        with open(path, "wb") as f:
            f.write(data)
        files.append(path)
        total += len(data)
    with open(stamp, "w") as f:
        json.dump(description, f)
    return files


def run_mht2text(qh_bench, files, timing_path):
    """One pass over the corpus; returns (seconds, peak RSS in KB)."""
    if os.path.exists(timing_path):
        os.remove(timing_path)
    pin = ["taskset", "-c", "0"] if shutil.which("taskset") else []
    seconds, peak = 0.0, 0
    for at in range(0, len(files), BATCH):
        command = pin + [qh_bench, "mht2text", "--timing", timing_path] + files[at:at + BATCH]
        start = time.perf_counter()
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
        seconds += time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode != 0:
            sys.exit(f"qh-bench mht2text failed with status {process.returncode}")
        peak = max(peak, usage.ru_maxrss)
    return seconds, peak


def p99(timing_path):
    with open(timing_path) as f:
        times = sorted(float(line.split("\t")[0]) for line in f if line.strip())
    return times[min(len(times) - 1, int(len(times) * 0.99))] if times else 0.0


def bench_whole_job(args, files):
    """The whole extraction job writing the store over the same corpus (bench_job: the job
    engine, the browser host and every file of the job in one process, without the
    program's timers), measured like mht2text. Returns a dict of figures to print, or None
    when there is no job driver."""
    if not args.bench_job:
        return None
    work = tempfile.mkdtemp(prefix="quarry-bench-job-")
    try:
        listing = os.path.join(work, "archives.txt")
        with open(listing, "w") as f:
            f.write("".join(p + "\n" for p in files))
        timing = os.path.join(work, "timing.txt")
        pin = ["taskset", "-c", "0"] if shutil.which("taskset") else []
        command = pin + [args.bench_job, "--work", os.path.join(work, "base"), "--list", listing, "--timing", timing]
        runs = []
        for run in range(args.runs + 1):  # the first warms the cache
            start = time.perf_counter()
            process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
            out = process.stdout.read()
            _, status, usage = os.wait4(process.pid, 0)
            seconds = time.perf_counter() - start
            if os.waitstatus_to_exitcode(status) != 0:
                sys.exit(f"bench_job failed with status {os.waitstatus_to_exitcode(status)}")
            figures = dict(zip(out.split()[::2], out.split()[1::2]))
            if run > 0:
                runs.append((seconds, usage.ru_maxrss, p99(timing), figures))
        runs.sort(key=lambda r: r[0])
        seconds, _, tail, figures = runs[len(runs) // 2]
        total = sum(os.path.getsize(f) for f in files)
        return {
            f"one thread, median of {args.runs}:": f"{seconds:.2f} s,",
            "MB/s": f"{total / 1e6 / seconds:.1f} (target >= 40),",
            "archives/s": f"{len(files) / seconds:.0f},",
            "p99": f"{tail * 1000:.1f} ms per archive,",
            "peak memory": f"{max(r[1] for r in runs) / 1024:.0f} MB,",
            "store": f"{int(figures['store']) / 1e6:.1f} MB (joined from the chunks in {float(figures['join']):.2f} s),",
            "processes played": f"{figures['processes']},",
            "waits": f"{figures['waits']} (cycles beyond the first: {figures['extra_cycles']}),",
            "runs (s)": ", ".join(f"{r[0]:.2f}" for r in runs),
        }
    finally:
        shutil.rmtree(work, ignore_errors=True)


def bench_real_program(args):
    """The real program: `qh-bench index --ext "*.mht *.eml"` over a smaller corpus, with the
    real Gleaner copied into the base folder and its restarts every 20 archives. The chain of
    extractor processes is timed from the job list's appearance to the store's."""
    if not (args.gleaner and args.manifester) or args.real_mb <= 0:
        return None
    root = os.path.join(tempfile.gettempdir(), "quarry-extractor-real")
    files = make_corpus(os.path.join(root, "docs"), args.real_mb, args.seed + 1)
    total = sum(os.path.getsize(f) for f in files)
    base = os.path.join(root, "base")
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(base)
    shutil.copy2(args.gleaner, os.path.join(base, "Gleaner"))
    env = dict(os.environ, QUARRY_DRIVES=f"Q={root}", QT_QPA_PLATFORM="offscreen")
    command = [args.qh_bench, "index", "--base", base, "--name", "bench", "--folder", "Q:\\docs",
               "--ext", "*.mht *.eml", "--manifester", args.manifester]
    db = os.path.join(base, "Datenbank")
    # The job list in the database's job folder (in the database's Temp folder before).
    job_lists = (os.path.join(db, "Temp", "Gleaner", "bench", "bench_mht.dat"), os.path.join(db, "Temp", "bench_mht.dat"))
    store = os.path.join(db, "bench_MHTtext.txt")
    runs = []
    for run in range(args.real_runs + 1):  # the first also makes the drive list
        for stale in (store, *job_lists, os.path.join(db, "bench_mht_temp.dat")):
            if os.path.exists(stale):
                os.remove(stale)
        start = time.perf_counter()
        process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL)
        listed = stored = None
        while process.poll() is None:
            now = time.perf_counter()
            if listed is None and any(os.path.exists(j) for j in job_lists):
                listed = now
            if stored is None and os.path.exists(store):
                stored = now
            time.sleep(0.005)
        seconds = time.perf_counter() - start
        # The store takes its place with the build's last step, right before the end.
        if stored is None and os.path.exists(store):
            stored = time.perf_counter()
        if process.returncode != 0 or listed is None or stored is None:
            sys.exit(f"qh-bench index with Gleaner failed (status {process.returncode})")
        if run > 0:
            runs.append((seconds, stored - listed))
    runs.sort()
    seconds, chain = runs[len(runs) // 2]
    processes = len(files) // 20 + 1
    timers = processes * 1.0
    return {
        f"corpus {len(files)} archives, {total / 1e6:.1f} MB; median of {args.real_runs}:": f"{seconds:.2f} s in all,",
        "extractor chain": f"{chain:.2f} s ({len(files) / chain:.1f} archives/s, {total / 1e6 / chain:.1f} MB/s),",
        "processes": f"{processes},",
        "start timers": f"{timers:.0f} s = {100 * timers / chain:.0f}% of the chain, {100 * timers / seconds:.0f}% of all,",
        "runs (s, chain)": ", ".join(f"{r[0]:.2f}/{r[1]:.2f}" for r in runs),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--qh-bench", required=True)
    parser.add_argument("--mb", type=int, default=520)
    parser.add_argument("--corpus", default=os.path.join(tempfile.gettempdir(), "quarry-extractor-corpus"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--seed", type=int, default=16)
    parser.add_argument("--bench-job", help="the whole-job driver bench_job")
    parser.add_argument("--gleaner", help="the real Gleaner, for the real program's run")
    parser.add_argument("--manifester", help="Manifester, which makes the drive list for qh-bench index")
    parser.add_argument("--real-mb", type=int, default=100, help="corpus of the real program's run (0: none)")
    parser.add_argument("--real-runs", type=int, default=3)
    parser.add_argument("--skip-mht2text", action="store_true")
    args = parser.parse_args()

    start = time.perf_counter()
    files = make_corpus(args.corpus, args.mb, args.seed)
    total = sum(os.path.getsize(f) for f in files)
    print(f"corpus: {len(files)} archives, {total / 1e6:.1f} MB in {args.corpus} "
          f"({time.perf_counter() - start:.1f} s to make or check)")

    if not args.skip_mht2text:
        timing = os.path.join(tempfile.gettempdir(), f"quarry-mht2text-timing-{os.getpid()}.txt")
        run_mht2text(args.qh_bench, files, timing)  # warms the cache
        runs = []
        for _ in range(args.runs):
            seconds, peak = run_mht2text(args.qh_bench, files, timing)
            runs.append((seconds, peak, p99(timing)))
        os.remove(timing)
        runs.sort()
        seconds, _, tail = runs[len(runs) // 2]
        peak = max(r[1] for r in runs)
        print(f"qh-bench mht2text, one thread, median of {args.runs}: {seconds:.2f} s, "
              f"{total / 1e6 / seconds:.1f} MB/s (target >= 40), {len(files) / seconds:.0f} archives/s, "
              f"p99 {tail * 1000:.1f} ms per archive, peak memory {peak / 1024:.0f} MB")
        print("  runs (s): " + ", ".join(f"{r[0]:.2f}" for r in runs))

    job = bench_whole_job(args, files)
    if job is None:
        print("whole job: not measured here")
    else:
        print("whole job: " + " ".join(f"{k} {v}" for k, v in job.items()))

    real = bench_real_program(args)
    if real is None:
        print("real program: not measured here")
    else:
        print("real program (qh-bench index with Gleaner): " + " ".join(f"{k} {v}" for k, v in real.items()))


if __name__ == "__main__":
    main()
