#!/usr/bin/python3
"""morv.dask on two local worker processes beside the morv command on two
threads, on the same UTF-8 text (100 MB by default). Prints characters per second
of wall time for each, the peak memory of the workers and of the command, and
whether both wrote the same output. Figures only: it never fails on them.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_dask.py [--mb 100]

bench/run_benchmarks.sh runs it at its end. Without --source it makes its text
from the corpus the build decompressed (build/data/pd199801.txt).
"""
import argparse
import glob
import hashlib
import logging
import os
import re
import resource
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def plain_corpus(annotated, target):
    """The annotated corpus without paragraph ids, tags and brackets, one paragraph a line."""
    ident = re.compile(r"^\d{8}-\d{2}-\d{3}-\d{3}/m$")
    with open(annotated, encoding="utf-8") as f, open(target, "w", encoding="utf-8") as out:
        for line in f:
            toks = line.split()
            if toks and ident.match(toks[0]):
                toks = toks[1:]
            if toks:
                out.write("".join(t.lstrip("[").rsplit("/", 1)[0] for t in toks) + "\n")


def repeat_to(source, target, size):
    with open(source, "rb") as f:
        data = f.read()
    if not data:
        raise SystemExit("bench_dask: %s is empty" % source)
    if not data.endswith(b"\n"):
        data += b"\n"
    if os.path.exists(target) and os.path.getsize(target) == len(data) * -(-size // len(data)):
        return
    with open(target + ".tmp", "wb") as out:
        written = 0
        while written < size:
            out.write(data)
            written += len(data)
    os.replace(target + ".tmp", target)


def count_chars(path):
    n = 0
    with open(path, encoding="utf-8") as f:
        while True:
            chunk = f.read(1 << 22)
            if not chunk:
                return n
            n += len(chunk)


def sha256_of(paths):
    h = hashlib.sha256()
    for path in paths:
        with open(path, "rb") as f:
            while True:
                chunk = f.read(1 << 22)
                if not chunk:
                    break
                h.update(chunk)
    return h.hexdigest()


def run_command(argv, output, work):
    """Runs argv with stdout to output; returns (exit status, wall seconds, CPU seconds,
    peak KiB, stderr). The peak comes from /usr/bin/time: a child forked from this
    (large) Python process would report this process's size as its own peak."""
    timing = os.path.join(work, "dask-time.txt")
    timed = ["/usr/bin/time", "-f", "%e %U %S %M", "-o", timing] if os.access("/usr/bin/time", os.X_OK) else []
    with open(output, "wb") as out:
        start = time.perf_counter()
        proc = subprocess.run(timed + argv, stdout=out, stderr=subprocess.PIPE)
        wall = time.perf_counter() - start
    err = proc.stderr.decode("utf-8", "replace")
    cpu, peak = float("nan"), float("nan")
    if timed:
        with open(timing) as f:
            fields = f.read().split()
        os.remove(timing)
        if len(fields) >= 4:
            wall, cpu, peak = float(fields[-4]), float(fields[-3]) + float(fields[-2]), float(fields[-1])
    return proc.returncode, wall, cpu, peak, err


def strip_newline(line):
    return line[:-1] if line.endswith("\n") else line


def text_format(pairs):
    # The command's --format text: word/tag items separated by two spaces.
    return "  ".join(w + "/" + t for w, t in pairs)


def worker_usage():
    """CPU seconds and peak memory (KiB) of this process. The peak is the kernel's
    high-water mark of this process's own memory (VmHWM), not ru_maxrss, which
    counts the memory of the process that started it."""
    usage = resource.getrusage(resource.RUSAGE_SELF)
    peak = usage.ru_maxrss
    try:
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    peak = int(line.split()[1])
    except OSError:
        pass
    return usage.ru_utime + usage.ru_stime, peak


def rate(chars, seconds):
    return "%9.0f chars/s" % (chars / max(seconds, 1e-9))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.environ.get("MORV_BUILD_DIR", os.path.join(ROOT, "build")))
    parser.add_argument("--base", default=None, help="model directory (default: $MORV_HOME, else BUILD/bin/Morv)")
    parser.add_argument("--source", default=None, help="UTF-8 text to repeat (default: the corpus, plain)")
    parser.add_argument("--work", default=os.path.join(ROOT, "bench", ".data"))
    parser.add_argument("--mb", type=int, default=int(os.environ.get("MORV_DASK_BENCH_MB", "100")))
    parser.add_argument("--blocksize", default="2MB", help="bytes of text per partition")
    args = parser.parse_args()
    base = args.base or os.environ.get("MORV_HOME") or os.path.join(args.build, "bin", "Morv")
    command = os.path.join(args.build, "bin", "morv")
    os.makedirs(args.work, exist_ok=True)

    try:
        import morv
        import morv.dask
        import dask.bag as db
        import distributed
    except ImportError as error:
        print("  morv.dask: not available (%s); build morv_python and install python3-dask "
              "python3-distributed" % error)
        return
    if not os.path.isfile(os.path.join(base, "Configure.xml")):
        print("  no models in %s" % base)
        return

    source = args.source
    if source is None:
        source = os.path.join(args.work, "source.utf8.txt")
        if not os.path.isfile(source):
            plain_corpus(os.path.join(args.build, "data", "pd199801.txt"), source)
    text = os.path.join(args.work, "corpus.dask.utf8.txt")
    repeat_to(source, text, args.mb * 1000000)
    size = os.path.getsize(text)
    chars = count_chars(text)
    print("  text: %d characters, %d bytes UTF-8 (%s repeated); models %s" % (chars, size, source, base))

    # --- The command on two threads, or on one when it has no -j yet.
    probe = subprocess.run([command, "-j", "2", "--base", base], stdin=subprocess.DEVNULL,
                           capture_output=True)
    jobs = ["-j", "2"] if probe.returncode == 0 else []
    if not jobs:
        print("  (this morv has no -j option: the command runs on one thread)")
    morv_out = os.path.join(args.work, "dask-morv.out")
    status, morv_wall, morv_cpu, morv_peak, err = run_command(
        [command, *jobs, "--base", base, "--format", "text", "--encoding", "utf-8", text], morv_out, args.work)
    label = "morv %s--format text" % ("-j 2 " if jobs else "")
    if status != 0:
        print("  %s: exit status %d: %s" % (label, status, err.strip()[:300]))
    print("  %-28s wall %7.2f s %s   CPU %7.2f s %s   peak %6.1f MiB"
          % (label, morv_wall, rate(chars, morv_wall), morv_cpu, rate(chars, morv_cpu), morv_peak / 1024))

    # --- morv.dask: two worker processes, one thread each; the same text out.
    out_dir = os.path.join(args.work, "dask-parts")
    shutil.rmtree(out_dir, ignore_errors=True)
    start = time.perf_counter()
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None,
                                  silence_logs=logging.ERROR) as cluster, distributed.Client(cluster) as client:
        ready = time.perf_counter() - start
        before = client.run(worker_usage)
        start = time.perf_counter()
        lines = db.read_text(text, blocksize=args.blocksize, encoding="utf-8").map(strip_newline)
        tagged = morv.dask.tag(lines, base).map(text_format)
        tagged.to_textfiles(os.path.join(out_dir, "*.part"), name_function=lambda i: "%06d" % i,
                            encoding="utf-8", last_endline=True)
        dask_wall = time.perf_counter() - start
        after = client.run(worker_usage)
        loads = sorted(info.misses for info in client.run(morv.dask.cache_info).values())
    dask_cpu = sum(after[w][0] - before[w][0] for w in after)
    print("  %-28s wall %7.2f s %s   CPU %7.2f s %s   peak %s MiB per worker"
          % ("morv.dask.tag, 2 processes", dask_wall, rate(chars, dask_wall), dask_cpu, rate(chars, dask_cpu),
             " / ".join("%.1f" % (after[w][1] / 1024) for w in sorted(after))))
    print("    (%d partitions of %s; models loaded per worker: %s; worker peak before the work: %s MiB; "
          "cluster start %.1f s, not counted)"
          % (lines.npartitions, args.blocksize, " / ".join(map(str, loads)),
             " / ".join("%.1f" % (before[w][1] / 1024) for w in sorted(before)), ready))
    print("  morv.dask / %s: %.2f of its speed in wall time, %.2f in CPU time"
          % (label, morv_wall / max(dask_wall, 1e-9), morv_cpu / max(dask_cpu, 1e-9)))

    parts = sorted(glob.glob(os.path.join(out_dir, "*.part")))
    same = status == 0 and sha256_of([morv_out]) == sha256_of(parts)
    print("  same output from both: %s" % ("yes" if same else "NO"))
    shutil.rmtree(out_dir, ignore_errors=True)
    os.remove(morv_out)


if __name__ == "__main__":
    try:
        main()
    except Exception as error:  # figures only: report and carry on
        print("  bench_dask: %s: %s" % (type(error).__name__, error))
    sys.exit(0)
