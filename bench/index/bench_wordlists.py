#!/usr/bin/env python3
"""The sorted word and phrase lists of a generated store, against `LC_ALL=C.UTF-8 sort -u -f`.

Usage: bench_wordlists.py --qh-bench PROGRAM [--mb SIZE] [--mode words|phrases|both]
                          [--keep DIR] [--runs N] [--in-memory]

A UTF-8 document store of about SIZE MB (default 1024) is written directly in the store's
record format (" ", " ", "#Q:\\path", a run of "=", the text, CR LF line ends) together with
its description, in a base folder below a temporary folder (or DIR with --keep, where an
existing store of the right size is reused). The text is German-like: a vocabulary of a few
hundred thousand generated words with umlauts and "ß" in a Zipf distribution, capitalised
variants, numbers, and ", . ; :" between words, so that the lists hold a realistic number of
distinct entries. Measured (best of N runs, hot cache): `qh-bench wordlists --mode MODE`
(the lists of the store as the search window's button builds them; "both" measures words
and phrases one after the other) and `LC_ALL=C.UTF-8 sort -u -f` over the same lines (the
store cut at the list's delimiters beforehand), each with its wall time and peak resident
memory. --in-memory also builds each list with a budget large enough for one sort in memory
(no runs on disk) and checks that both lists are the same bytes.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

SYLLABLES = ("ber ge hau gar ten stra ße grö über müh schu le kin der ar beit stadt land was ser "
             "mit tag a bend früh ling bü cher ä pfel öl tür mäd chen bröt zu stän dig keit prü fung "
             "ma ß nah me ge bäu de ö ffent lich ka pi tel be richt schön hei ßen na tür wei süß "
             "fuß ball ver an stal tung ein lei ").split()
SHORT = "die der das und oder aber nicht mit von zu im am ist sind wird wurde haben sein ein eine".split()
PUNCT = [" ", " ", " ", " ", " ", " ", " ", " ", ", ", ". ", "; ", ": "]


def vocabulary(rng, size):
    words = set()
    while len(words) < size:
        w = "".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 4)))
        words.add(w)
    words = sorted(words)
    rng.shuffle(words)
    out = []
    for i, w in enumerate(words):
        out.append(w.capitalize() if i % 3 == 0 else w)
    return SHORT + out


def generate(store, dat, mb, seed=4711):
    rng = random.Random(seed)
    vocab = vocabulary(rng, 300000)
    # Zipf weights: a few words very often, most rarely.
    weights = [1.0 / (r + 1) ** 1.07 for r in range(len(vocab))]
    cum = []
    total = 0.0
    for w in weights:
        total += w
        cum.append(total)
    target = int(mb * 1024 * 1024)
    written = 0
    doc = 0
    with open(store, "wb") as f, open(dat, "wb") as d:
        d.write(b"PFAD_UND_ENDUNGEN= Q:\\docs\\ *.htm\r\n")
        while written < target:
            parts = []
            size = 0
            while size < 8 * 1024 * 1024 and written + size < target:
                doc += 1
                path = f"Q:\\docs\\Ordner {doc // 200:03d}\\Seite {doc:07d}.htm"
                d.write(path.encode("utf-8") + b"\r\n")
                lines = [" ", " ", "#" + path, "=" * (len(path) // 2)]
                for _ in range(rng.randint(5, 40)):
                    words = rng.choices(vocab, cum_weights=cum, k=rng.randint(20, 70))
                    if rng.random() < 0.3:
                        words[rng.randrange(len(words))] = str(rng.randint(0, 10 ** 6))
                    seps = rng.choices(PUNCT, k=len(words))
                    lines.append("".join(w + s for w, s in zip(words, seps)).rstrip())
                chunk = "\r\n".join(lines) + "\r\n"
                parts.append(chunk)
                size += len(chunk.encode("utf-8"))
            data = "".join(parts).encode("utf-8")
            f.write(data)
            written += len(data)
    return written, doc


# A small launcher of its own: a process forked from this script would start with the
# generator's memory as its high-water mark.
LAUNCHER = """import os, resource, sys
pid = os.fork()
if pid == 0:
    os.execvp(sys.argv[2], sys.argv[2:])
_, status, _ = os.wait4(pid, 0)
open(sys.argv[1], "w").write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
sys.exit(os.waitstatus_to_exitcode(status))
"""


def measured(cmd, env=None):
    """Runs cmd: (seconds, peak RSS in MB of its largest process, exit status, stdout). For a
    shell the peak is that of the largest process of its pipeline (the children's usage
    includes the processes they waited for)."""
    with tempfile.NamedTemporaryFile(prefix="qh-rss-") as rss_file:
        start = time.perf_counter()
        proc = subprocess.run([sys.executable, "-c", LAUNCHER, rss_file.name] + cmd, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        seconds = time.perf_counter() - start
        if proc.returncode != 0:
            sys.stderr.write(proc.stdout.decode("utf-8", "replace") + proc.stderr.decode("utf-8", "replace"))
            return seconds, 0.0, proc.returncode, ""
        with open(rss_file.name) as f:
            rss = int(f.read() or 0) / 1024.0
    return seconds, rss, proc.returncode, proc.stdout.decode("utf-8", "replace")


def best(runs, cmd, env=None):
    results = []
    for _ in range(runs):
        r = measured(cmd, env)
        if r[2] != 0:
            sys.exit(f"failed: {cmd}")
        results.append(r)
    return min(results, key=lambda r: r[0])


def count_lines(path):
    with open(path, "rb") as f:
        return sum(1 for _ in f)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--qh-bench", required=True)
    ap.add_argument("--mb", type=float, default=1024.0, help="store size in MB")
    ap.add_argument("--mode", default="words", choices=["words", "phrases", "both"])
    ap.add_argument("--keep", help="use (or make) the store in this folder and keep it")
    ap.add_argument("--runs", type=int, default=1)
    ap.add_argument("--in-memory", action="store_true")
    args = ap.parse_args()

    root = args.keep or tempfile.mkdtemp(prefix="qh-wordlists-bench-")
    base = os.path.join(root, "base")
    folder = os.path.join(base, "Datenbank")
    store = os.path.join(folder, "bench_UTF8Dokument.txt")
    dat = os.path.join(folder, "bench.dat")
    try:
        os.makedirs(os.path.join(folder, "Temp"), exist_ok=True)
        want = int(args.mb * 1024 * 1024)
        if not (args.keep and os.path.exists(store) and abs(os.path.getsize(store) - want) < 16 * 1024 * 1024):
            t = time.perf_counter()
            size, docs = generate(store, dat, args.mb)
            print(f"store: {size / 1e6:.1f} MB, {docs} documents (made in {time.perf_counter() - t:.1f} s)")
        else:
            print(f"store: {os.path.getsize(store) / 1e6:.1f} MB (reused)")
        size = os.path.getsize(store)
        # Hot cache for both sides.
        with open(store, "rb") as f:
            while f.read(64 * 1024 * 1024):
                pass

        modes = ["words", "phrases"] if args.mode == "both" else [args.mode]
        lst = os.path.join(folder, "bench_Phrasen_Woerter_Utf8Liste.txt")
        for mode in modes:
            cmd = [args.qh_bench, "wordlists", "--base", base, "--name", "bench", "--mode", mode]
            secs, rss, _, out = best(args.runs, cmd)
            entries = count_lines(lst)
            print(f"qh-bench wordlists --mode {mode}: {secs:.2f} s, {size / 1e6 / secs:.1f} MB/s, "
                  f"peak {rss:.1f} MB, {entries} list lines")
            if args.in_memory:
                bounded = lst + ".bounded"
                os.replace(lst, bounded)
                msecs, mrss, _, _ = best(args.runs, cmd + ["--budget-mb", str(1 << 20)])
                same = subprocess.run(["cmp", "-s", lst, bounded]).returncode == 0
                print(f"  the same list sorted in memory: {msecs:.2f} s, peak {mrss:.1f} MB, "
                      f"{'the same bytes' if same else 'DIFFERENT BYTES'}")
                os.remove(bounded)

            # The same lines for sort: the store cut at the list's delimiters (not timed).
            delimiters = "' ,;:\\t'" if mode == "words" else "',.'"
            lines = os.path.join(root, f"lines-{mode}.txt")
            subprocess.run(["/bin/bash", "-c", f"tr -s {delimiters} '\\n' < '{store}' > '{lines}'"], check=True)
            out_file = os.path.join(root, "sort-u-f.txt")
            env = dict(os.environ, LC_ALL="C.UTF-8")
            psecs, prss, _, _ = best(args.runs, ["/bin/bash", "-c", f"sort -u -f '{lines}' > '{out_file}'"], env)
            print(f"LC_ALL=C.UTF-8 sort -u -f over the {mode} lines ({os.path.getsize(lines) / 1e6:.0f} MB): "
                  f"{psecs:.2f} s, peak {prss:.1f} MB, {count_lines(out_file)} lines; "
                  f"qh-bench takes {100.0 * secs / psecs:.0f}% of its time")
            os.remove(lines)
    finally:
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
