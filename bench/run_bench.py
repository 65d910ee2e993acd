#!/usr/bin/python3
"""Times qv-hdcd against sox and the flac tool on the same audio.

Makes a 10-minute HDCD test file (and its FLAC and PCM24 copies), then runs
every case and its peer in turn, alternating which goes first, and reports the
minimum and median wall time, their ratios and the peak resident memory
(GNU time). The WAV cases are run once more on a 60-minute file to show that
memory does not grow with the input. The HDCD core benchmark's figures join
the same table. The table is printed and written to the results file.

The qv-hdcd-batch rows run on generated collections that stay in the work
folder for the next run (about 4 GB). `--only-report-rows` runs only the rows
on large collections and on the reports (memory, the JSON's size, the update
of a report, the HTML page's open time) and prints them.

Run through `make bench`; it expects a Release build directory.
"""
import argparse
import datetime
import glob
import hashlib
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

RATE = 44100
GNU_TIME = "/usr/bin/time"
WORK_DIR = [None]  # where run_once leaves its memory report


class Run:
    def __init__(self, seconds, max_rss_kib):
        self.seconds = seconds
        self.max_rss_kib = max_rss_kib


def run_once(argv, cwd=None):
    """Runs argv (in cwd) with stdout and stderr discarded; wall time and peak RSS.

    The peak RSS comes from GNU time: a child spawned straight from this
    script would report this interpreter's memory, which it shares until exec.
    """
    if shutil.which(argv[0]) is None:
        sys.exit(f"bench: {argv[0]} not found")
    rss_file = os.path.join(WORK_DIR[0], "rss.txt")
    start = time.perf_counter()
    result = subprocess.run([GNU_TIME, "-f", "%M", "-o", rss_file] + argv, cwd=cwd,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"bench: {' '.join(argv)} exited with status {result.returncode}")
    with open(rss_file) as report:
        max_rss_kib = int(report.read().split()[-1])
    return Run(elapsed, max_rss_kib)


def run_steps(steps, scratch):
    """Runs a sequence of commands as one measurement: times add up, memory is
    the largest of them. Output files of earlier runs are removed first so that
    every run creates its files afresh."""
    for path in scratch:
        if os.path.exists(path):
            os.remove(path)
    # Start each run without dirty pages from earlier runs, whose write-back
    # would otherwise land on whoever runs next.
    os.sync()
    total = 0.0
    rss = 0
    for argv in steps:
        run = run_once(argv)
        total += run.seconds
        rss = max(rss, run.max_rss_kib)
    return Run(total, rss)


class Case:
    def __init__(self, name, goal, program, peer, peer_name, scratch, rss_goal_mib=None):
        self.name = name
        self.goal = goal  # largest acceptable median ratio; None: shown, not judged
        self.rss_goal_mib = rss_goal_mib  # largest acceptable program peak RSS
        self.program = program  # list of commands
        self.peer = peer
        self.peer_name = peer_name
        self.scratch = scratch
        self.program_runs = []
        self.peer_runs = []


def measure(case, runs):
    # One untimed round of each warms the page cache for both.
    run_steps(case.program, case.scratch)
    run_steps(case.peer, case.scratch)
    for i in range(runs):
        order = [(case.program, case.program_runs), (case.peer, case.peer_runs)]
        if i % 2 == 1:
            order.reverse()
        for steps, results in order:
            results.append(run_steps(steps, case.scratch))


def seconds_text(value):
    return f"{value:.3f}"


def mib_text(kib):
    return f"{kib / 1024:.1f}"


def core_benchmark(core_bench, frames):
    """Runs the HDCD core benchmark; per benchmark the min and median time that
    `frames` frames take, from the repetitions' items-per-second figures."""
    output = subprocess.run(
        [core_bench, "--benchmark_format=json", "--benchmark_repetitions=5",
         "--benchmark_min_time=0.2"],
        check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    rates = {}
    for entry in json.loads(output)["benchmarks"]:
        if entry.get("run_type") != "iteration":
            continue
        rates.setdefault(entry["run_name"], []).append(entry["items_per_second"])
    results = []
    for name, values in rates.items():
        times = sorted(frames / v for v in values)
        results.append((name, times[0], statistics.median(times), max(values)))
    return results


def processor_name():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


# qv-hdcd-batch over a collection -------------------------------------------
# The system's libFLAC (1.4 on Debian 12) has no threaded encoder, so every
# decode row runs one encoder thread per file.
# 40 FLAC tracks of 3 minutes in 4 album folders (two HDCD albums, one with
# signalling only, one without packets), the same collection as PCM16 WAV, and
# 10,000 small WAV files for the memory figure. Larger collections are hard
# links to one track, so that 1,000 tracks take the disk of one. Every
# collection stays in the work folder for the next run, beside a stamp of what
# it was made from.

BATCH_ALBUMS = [("HDCD album 1", []), ("HDCD album 2", []), ("Signalling only", ["--signalling-only"]),
                ("No HDCD", ["--no-packets"])]
BATCH_TRACKS = 10
BATCH_TRACK_SECONDS = 180
TRACK_BYTES = BATCH_TRACK_SECONDS * RATE * 4  # one three-minute PCM16 track, a bound for its FLAC too
SMALL_FILES = 10000
SMALL_FILE_BYTES = RATE * 4 + 44
HDCD_COUNTS = (250, 500, 1000)  # tracks in the collections whose peak memory must not grow with them
PAGE_ALBUMS = 2000  # of the page's collection: each a one-second track without HDCD, one in 40 ten HDCD tracks
PAGE_HDCD_EVERY = 40

# Size of the JSON report of the 40-FLAC collection (scanned as "coll-flac"
# from the work folder, --jobs 2) as qv-hdcd-batch wrote it at commit ca9848e,
# the last version that listed every timeline point in full.
JSON_BYTES_BEFORE = 1270718


def file_stamp(path):
    info = os.stat(path)
    return f"{info.st_size} {info.st_ino} {info.st_mtime_ns}"


def program_stamp(path):
    """A program by its bytes: one built again without a change keeps what it made."""
    with open(path, "rb") as program:
        return hashlib.sha256(program.read()).hexdigest()


def cached(path, recipe, needed_bytes, make):
    """Makes path (a file or a folder) through make(path) unless the one there was made from the same recipe,
    whose text is kept beside it. Refuses to start when the disk lacks needed_bytes and 1 GB to spare."""
    stamp_path = path + ".made"
    if os.path.exists(path) and os.path.exists(stamp_path):
        with open(stamp_path) as stamp:
            if stamp.read() == recipe:
                return
        os.remove(stamp_path)
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)
    free = shutil.disk_usage(os.path.dirname(path)).free
    if free < needed_bytes + (1 << 30):
        sys.exit(f"bench: {path} needs {needed_bytes / 1e9:.2f} GB and 1 GB to spare; {free / 1e9:.2f} GB free")
    print(f"Making {path}", flush=True)
    make(path)
    with open(stamp_path, "w") as stamp:
        stamp.write(recipe)


def make_flac_track(make_audio, variant, seconds, path):
    wav = path[:-len(".flac")] + ".wav"
    run_once([make_audio, *variant, str(seconds), wav])
    run_steps([["flac", "-s", "-5", "-f", wav, "-o", path]], [])
    os.remove(wav)


def make_batch_collection(make_audio, root, suffix):
    """The album folders under root, every track a copy of its album's audio."""
    for album, variant in BATCH_ALBUMS:
        folder = os.path.join(root, album)
        os.makedirs(folder, exist_ok=True)
        first = os.path.join(folder, "track01" + suffix)
        if suffix == ".flac":
            make_flac_track(make_audio, variant, BATCH_TRACK_SECONDS, first)
        else:
            run_once([make_audio, *variant, str(BATCH_TRACK_SECONDS), first])
        for n in range(2, BATCH_TRACKS + 1):
            shutil.copyfile(first, os.path.join(folder, f"track{n:02d}{suffix}"))


def make_small_collection(make_audio, root):
    small = root + ".wav"
    run_once([make_audio, "1", small])
    for n in range(SMALL_FILES):
        folder = os.path.join(root, f"album{n // 100:03d}")
        os.makedirs(folder, exist_ok=True)
        shutil.copyfile(small, os.path.join(folder, f"track{n % 100:02d}.wav"))
        if n % 2000 == 1999:
            print(f"  {n + 1} files", flush=True)
    os.remove(small)


def make_linked_collection(track, root, count):
    """count hard links to track in albums of BATCH_TRACKS."""
    for n in range(count):
        folder = os.path.join(root, f"album{n // BATCH_TRACKS + 1:03d}")
        os.makedirs(folder, exist_ok=True)
        os.link(track, os.path.join(folder, f"track{n % BATCH_TRACKS + 1:02d}.flac"))


def make_page_collection(hdcd, plain, root):
    for n in range(PAGE_ALBUMS):
        folder = os.path.join(root, f"album{n + 1:04d}")
        os.makedirs(folder)
        os.link(plain, os.path.join(folder, "track00.flac"))
        if n % PAGE_HDCD_EVERY == 0:
            for track in range(1, BATCH_TRACKS + 1):
                os.link(hdcd, os.path.join(folder, f"track{track:02d}.flac"))


class Collections:
    """The generated collections, each made on first use."""

    def __init__(self, make_audio, work):
        self.make_audio = make_audio
        self.work = work
        self.maker = program_stamp(make_audio)

    def path(self, name):
        return os.path.join(self.work, name)

    def batch(self, suffix):
        root = self.path("coll-flac" if suffix == ".flac" else "coll-wav")
        cached(root, f"40 tracks{suffix}, make_bench_audio {self.maker}\n", 40 * TRACK_BYTES,
               lambda path: make_batch_collection(self.make_audio, path, suffix))
        return root

    def small(self):
        root = self.path("coll-small")
        cached(root, f"{SMALL_FILES} one-second WAV, make_bench_audio {self.maker}\n", SMALL_FILES * SMALL_FILE_BYTES,
               lambda path: make_small_collection(self.make_audio, path))
        return root

    def track(self, name, variant, seconds):
        track = self.path(name + ".flac")
        cached(track, f"{variant} {seconds} s, make_bench_audio {self.maker}\n", seconds * RATE * 4,
               lambda path: make_flac_track(self.make_audio, variant, seconds, path))
        return track

    def hdcd(self, count):
        """count links to one three-minute HDCD track."""
        track = self.track("hdcd-track", [], BATCH_TRACK_SECONDS)
        root = self.path(f"coll-hdcd-{count}")
        cached(root, f"{count} links to {file_stamp(track)}\n", 0,
               lambda path: make_linked_collection(track, path, count))
        return root

    def page(self):
        hdcd = self.track("hdcd-track", [], BATCH_TRACK_SECONDS)
        plain = self.track("plain-track", ["--no-packets"], 1)
        root = self.path("coll-page")
        cached(root, f"{PAGE_ALBUMS} albums, links to {file_stamp(hdcd)} and {file_stamp(plain)}\n", 0,
               lambda path: make_page_collection(hdcd, plain, path))
        return root


def collection_files(root):
    return sorted(os.path.join(d, f) for d, _, names in os.walk(root) for f in names)


class BatchTable:
    """The rows of the qv-hdcd-batch table, the goals they judge and the names of those missed."""

    def __init__(self):
        self.lines = ["", "qv-hdcd-batch on generated collections (each row names its own); "
                      "times in seconds, memory in MiB.", "",
                      "| case | peer | program median | peer median | ratio median | goal | met | program peak RSS |",
                      "|---|---|---|---|---|---|---|---|"]
        self.goals = 0
        self.missed = []

    def row(self, case, peer, program, peer_value, ratio, goal, met, rss):
        self.goals += 1
        if not met:
            self.missed.append(case)
        self.lines.append(f"| {case} | {peer} | {program} | {peer_value} | {ratio} | {goal} | {'yes' if met else 'NO'} "
                          f"| {rss} |")

    def skip(self, case, reason):
        print(f"{case}: {reason}", flush=True)
        self.lines.append(f"| {case} | - | ({reason}) | - | - | - | - | - |")


def timed_rows(table, build, work, collections, runs):
    """Times qv-hdcd-batch scan and decode against their peers, and the scan's page-cache rate."""
    program = os.path.join(build, "qv-hdcd")
    batch = os.path.join(build, "qv-hdcd-batch")
    flac_root, wav_root = collections.batch(".flac"), collections.batch(".wav")
    flacs = collection_files(flac_root)
    loop = ["sh", "-c", 'for f in "$@"; do "$0" --scan "$f" --quiet; done; true', program, *flacs]
    xargs = ["sh", "-c", f"find '{flac_root}' -name '*.flac' -print0 | xargs -0 -P2 -n1 flac -s -t"]
    # decode: a fair peer does what the batch does: `qv-hdcd --scan` on every track, then `qv-hdcd IN OUT` on
    # those whose report says HDCD processing is active (the 20 HDCD tracks), outputs replaced.
    out_root = os.path.join(work, "coll-out")
    os.makedirs(out_root, exist_ok=True)
    step = ('if "$p" --scan "$f" | grep -q "HDCD processing: Active"; then '
            '"$p" "$f" "$o/$(basename "$(dirname "$f")")-$(basename "$f")" --quiet --overwrite; fi')
    decode_loop = ["sh", "-c", f'p="$0"; o="$1"; shift; for f in "$@"; do {step}; done', program, out_root, *flacs]
    decode_xargs = ["sh", "-c", f"find '{flac_root}' -name '*.flac' -print0 | "
                    f"xargs -0 -n1 -P2 sh -c 'p=\"$0\"; o=\"$1\"; f=\"$2\"; {step}' '{program}' '{out_root}'"]
    batch_decode = [[batch, "decode", flac_root, "--to", os.path.join(out_root, "batch"), "--jobs", "2", "--quiet",
                     "--overwrite"]]
    cases = [
        Case("batch scan, 40 FLAC, --jobs 2", 0.60, [[batch, "scan", flac_root, "--jobs", "2", "--quiet"]],
             [loop], "qv-hdcd --scan in a shell loop", []),
        Case("batch scan, 40 FLAC, --jobs 2 (vs flac -t)", 1.10,
             [[batch, "scan", flac_root, "--jobs", "2", "--quiet"]], [xargs], "xargs -P2 flac -s -t", []),
        Case("batch decode, 40 FLAC (20 HDCD) to FLAC, --jobs 2", 0.50, batch_decode, [decode_loop],
             "qv-hdcd --scan, then IN OUT when active, in a shell loop", []),
        Case("batch decode, 40 FLAC (20 HDCD) to FLAC, --jobs 2 (vs xargs)", 0.90, batch_decode, [decode_xargs],
             "the same two steps per file under xargs -P2", []),
    ]
    for case in cases:
        print(f"Timing {case.name} against {case.peer_name}", flush=True)
        measure(case, runs)
    for case in cases:
        p = statistics.median(r.seconds for r in case.program_runs)
        q = statistics.median(r.seconds for r in case.peer_runs)
        table.row(case.name, case.peer_name, seconds_text(p), seconds_text(q), f"{p / q:.2f}",
                  f"<= {case.goal:.2f}", p / q <= case.goal, mib_text(max(r.max_rss_kib for r in case.program_runs)))
    shutil.rmtree(out_root, ignore_errors=True)

    wav_bytes = sum(os.path.getsize(f) for f in collection_files(wav_root))
    scan_wav = [[batch, "scan", wav_root, "--jobs", "2", "--quiet"]]
    run_steps(scan_wav, [])  # into the page cache
    wav_runs = [run_steps(scan_wav, []) for _ in range(runs)]
    median = statistics.median(r.seconds for r in wav_runs)
    rate = wav_bytes / median / 1e9
    table.row(f"batch scan, 40 PCM16 WAV ({wav_bytes / 1e9:.2f} GB, page cache), --jobs 2", "-", seconds_text(median),
              "-", f"{rate:.2f} GB/s", ">= 1.00 GB/s", rate >= 1.0, mib_text(max(r.max_rss_kib for r in wav_runs)))


def has_update(batch):
    usage = subprocess.run([batch, "scan", "--help"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True).stdout
    return "--update" in usage


def small_file_rows(table, batch, collections, runs):
    """Peak memory of a scan of 10,000 small files, and how long an update of its report takes when nothing
    changed, against the full scan."""
    root = collections.small()
    report = os.path.join(collections.work, "small.json")
    scan = [batch, "scan", root, "--jobs", "2", "--quiet", "--json", report]
    print("Scanning 10,000 small files", flush=True)
    full = [run_steps([scan], [report]) for _ in range(runs)]
    full_median = statistics.median(r.seconds for r in full)
    rss = max(r.max_rss_kib for r in full)
    table.row("batch scan, 10,000 one-second WAV files in 100 folders, --json", "-", seconds_text(full_median), "-",
              "-", "<= 64 MiB", rss <= 64 * 1024, mib_text(rss))
    case = "batch scan --update of that report, the 10,000 files unchanged"
    if has_update(batch):
        print("Updating the report of 10,000 unchanged files", flush=True)
        updates = [run_steps([scan + ["--update", report]], []) for _ in range(runs)]
        median = statistics.median(r.seconds for r in updates)
        share = median / full_median
        table.row(case, "the full scan above", seconds_text(median), seconds_text(full_median),
                  f"{share * 100:.1f} %", "<= 2 %", share <= 0.02, mib_text(max(r.max_rss_kib for r in updates)))
    else:
        table.skip(case, "not available: scan has no --update")
    os.remove(report)


def memory_row(table, batch, collections):
    """Peak memory of a scan writing all three reports, at 250, 500 and 1,000 HDCD tracks: at most 64 MiB, and
    flat: 750 more tracks may add their per-file records (some hundred bytes each), not what a track's
    reports need (its timeline alone takes 28 KiB)."""
    reports = [os.path.join(collections.work, "scale." + kind) for kind in ("json", "csv", "html")]
    runs = []
    for count in HDCD_COUNTS:
        root = collections.hdcd(count)
        print(f"Scanning {count} HDCD tracks, all three reports", flush=True)
        runs.append(run_steps([[batch, "scan", root, "--jobs", "2", "--quiet", "--json", reports[0],
                                "--csv", reports[1], "--html", reports[2]]], reports))
    # The update of the last of them, nothing changed: a walk and a stat per file against reading every track.
    update = None
    if has_update(batch):
        print(f"Updating the reports of {HDCD_COUNTS[-1]} unchanged HDCD tracks", flush=True)
        scan = [batch, "scan", collections.hdcd(HDCD_COUNTS[-1]), "--jobs", "2", "--quiet", "--update", reports[0],
                "--csv", reports[1], "--html", reports[2]]
        update = statistics.median(run_steps([scan], []).seconds for _ in range(3))
    for path in reports:
        os.remove(path)
    rss = [r.max_rss_kib for r in runs]
    met = rss[-1] <= 64 * 1024 and rss[-1] - rss[0] <= 2 * 1024
    table.row(f"batch scan, {' / '.join(f'{n:,}' for n in HDCD_COUNTS)} three-minute HDCD FLAC in albums of 10, "
              "--jobs 2, --json --csv --html", "-", " / ".join(seconds_text(r.seconds) for r in runs), "-", "-",
              f"<= 64 MiB at {HDCD_COUNTS[-1]:,}, at most 2 MiB above {HDCD_COUNTS[0]}", met,
              " / ".join(mib_text(k) for k in rss))
    if update is not None:
        share = update / runs[-1].seconds
        table.row(f"batch scan --update of those {HDCD_COUNTS[-1]:,} tracks' reports, unchanged, all three reports",
                  "the full scan above", seconds_text(update), seconds_text(runs[-1].seconds), f"{share * 100:.2f} %",
                  "<= 2 %", share <= 0.02, "-")


def json_size_row(table, batch, collections):
    """The JSON report of the 40-FLAC collection against its size before the timelines were written as runs."""
    root = collections.batch(".flac")
    report = os.path.join(collections.work, "coll-flac.json")
    print("Scanning the 40 FLAC tracks for the JSON report", flush=True)
    # Named relative to the work folder, as for the figure before, so that the paths in the report are the same.
    run = run_once([batch, "scan", os.path.basename(root), "--jobs", "2", "--quiet", "--json", report],
                   cwd=collections.work)
    size = os.path.getsize(report)
    os.remove(report)
    ratio = size / JSON_BYTES_BEFORE
    table.row("JSON report of the 40 FLAC tracks, bytes", "the report of version ca9848e", f"{size:,}",
              f"{JSON_BYTES_BEFORE:,}", f"{ratio:.2f}", "<= 0.33", ratio <= 1 / 3, mib_text(run.max_rss_kib))


def page_open_row(table, batch, collections):
    """The time the HTML report of 500 HDCD tracks and 2,000 without takes to open (bench/page_open.py)."""
    tracks = PAGE_ALBUMS // PAGE_HDCD_EVERY * BATCH_TRACKS
    case = (f"HTML report of {tracks} HDCD and {PAGE_ALBUMS:,} other tracks in {PAGE_ALBUMS:,} albums, "
            "open to its load event in headless Chromium")
    opener = os.path.join(os.path.dirname(os.path.abspath(__file__)), "page_open.py")
    if not os.path.exists(opener):
        table.skip(case, "not available: no bench/page_open.py")
        return
    root = collections.page()
    page = collections.path("page.html")
    # Made again only when the program or the collection changed.
    cached(page, f"{file_stamp(root)} by qv-hdcd-batch {program_stamp(batch)}\n", 0,
           lambda path: run_once([batch, "scan", root, "--jobs", "2", "--quiet", "--html", path]))
    print("Opening the page", flush=True)
    opened = subprocess.run([sys.executable, opener, page], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    if opened.returncode != 0:
        reason = (opened.stderr.strip().splitlines() or [f"exit status {opened.returncode}"])[-1]
        table.skip(case, f"not available: page_open.py: {reason}")
        return
    seconds = float(opened.stdout.split()[-1])
    table.row(f"{case} ({os.path.getsize(page) / 1e6:.1f} MB)", "-", seconds_text(seconds), "-", "-", "<= 2 s",
              seconds <= 2.0, "-")


def report_rows(table, build, collections, runs):
    """The rows on large collections and the reports: memory, the JSON's size, the update, the page."""
    batch = os.path.join(build, "qv-hdcd-batch")
    small_file_rows(table, batch, collections, runs)
    memory_row(table, batch, collections)
    json_size_row(table, batch, collections)
    page_open_row(table, batch, collections)


def batch_rows(build, work, runs):
    """All qv-hdcd-batch rows."""
    table = BatchTable()
    collections = Collections(os.path.join(build, "make_bench_audio"), work)
    timed_rows(table, build, work, collections, runs)
    report_rows(table, build, collections, runs)
    return table


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--results", help="the file the table is written to (required unless --only-report-rows)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--minutes", type=int, default=10)
    parser.add_argument("--long-minutes", type=int, default=60,
                        help="length of the memory-check file; 0 skips it")
    parser.add_argument("--skip-batch", action="store_true", help="leave out the qv-hdcd-batch rows")
    parser.add_argument("--only-report-rows", action="store_true",
                        help="run only the qv-hdcd-batch rows on large collections and reports; print, write nothing")
    args = parser.parse_args()
    if not args.results and not args.only_report_rows:
        parser.error("--results is required")

    build = os.path.abspath(args.build_dir)
    work = os.path.join(build, "bench-work")
    os.makedirs(work, exist_ok=True)
    WORK_DIR[0] = work
    if not os.access(GNU_TIME, os.X_OK):
        sys.exit("bench: GNU time (/usr/bin/time) is missing; run `make deps`")
    if args.only_report_rows:
        table = BatchTable()
        report_rows(table, build, Collections(os.path.join(build, "make_bench_audio"), work), args.runs)
        print("\n".join(table.lines))
        return
    program = os.path.join(build, "qv-hdcd")
    flac15_dir = os.path.join(build, "libflac-1.5")
    flac15 = os.path.join(flac15_dir, "bin", "flac")
    libflac15 = sorted(glob.glob(os.path.join(flac15_dir, "lib", "libFLAC.so.*")))
    if not (os.access(flac15, os.X_OK) and libflac15):
        sys.exit("bench: no libFLAC 1.5 build; run `make linux-libflac15`")
    make_audio = os.path.join(build, "make_bench_audio")
    core_bench = os.path.join(build, "hdcd_core_bench")
    began = time.perf_counter()

    def w(name):
        return os.path.join(work, name)

    print(f"Making {args.minutes}-minute test audio in {work}", flush=True)
    src16, src24, src_flac, dec24 = w("hdcd.wav"), w("hdcd-24.wav"), w("hdcd.flac"), w("decoded-24.wav")
    run_once([make_audio, str(args.minutes * 60), src16, src24])
    run_steps([["flac", "-s", "-5", "-f", src16, "-o", src_flac]], [])
    # The flac peers encode the decoded PCM24 audio that the program produces.
    run_steps([[program, src16, dec24, "--quiet", "--overwrite"]], [dec24])

    out_wav, out_flac, peer_wav, peer_flac, peer_wav2 = (
        w("out.wav"), w("out.flac"), w("peer.wav"), w("peer.flac"), w("peer16.wav"))
    decode_wav = [[program, src16, out_wav]]
    cases = [
        Case("decode WAV to PCM24 WAV", 0.8, decode_wav,
             [["sox", src16, "-b", "24", peer_wav]], "sox -b 24", [out_wav, peer_wav]),
        Case("decode WAV to PCM24 FLAC", 1.10, [[program, src16, out_flac]],
             [["flac", "-5", "-V", "-f", dec24, "-o", peer_flac]], "flac -5 -V (PCM24 WAV)",
             [out_flac, peer_flac]),
        Case("decode FLAC to PCM24 FLAC", 1.0, [[program, src_flac, out_flac]],
             [["flac", "-d", "-f", src_flac, "-o", peer_wav2],
              ["flac", "-5", "-V", "-f", dec24, "-o", peer_flac]],
             "flac -d, then flac -5 -V", [out_flac, peer_wav2, peer_flac]),
        Case("preserve WAV to FLAC", 1.03, [[program, src16, out_flac, "--preserve-hdcd"]],
             [["flac", "-5", "-V", "-f", src16, "-o", peer_flac]], "flac -5 -V", [out_flac, peer_flac]),
        Case("preserve FLAC to WAV", 1.05, [[program, src_flac, out_wav, "--preserve-hdcd"]],
             [["flac", "-d", "-f", src_flac, "-o", peer_wav2]], "flac -d", [out_wav, peer_wav2]),
        Case("scan PCM16 WAV", 0.5, [[program, "--scan", src16]], decode_wav,
             "decode WAV to WAV (qv-hdcd)", [out_wav]),
        Case("scan PCM24 WAV (nine positions)", 1.0, [[program, "--scan", src24]], decode_wav,
             "decode WAV to WAV (qv-hdcd)", [out_wav]),
    ]
    # The same program beside libFLAC 1.5, which the loader prefers to the
    # system's: its encoder runs on every logical processor.
    threaded = os.path.join(work, "libflac-1.5", "qv-hdcd")
    os.makedirs(os.path.dirname(threaded), exist_ok=True)
    shutil.copy2(program, threaded)
    with open(os.path.join(build, "flac_library_file.txt")) as name:
        shutil.copy2(libflac15[0], os.path.join(os.path.dirname(threaded), name.read().strip()))
    processors = len(os.sched_getaffinity(0))
    for jobs, goals in (("-j1", (0.65, 0.75, 0.65)), (f"-j{processors}", (1.10, None, None))):
        def encode(source, jobs=jobs):
            return [flac15, "-5", "-V", jobs, "-f", source, "-o", peer_flac]
        cases += [
            Case("decode WAV to PCM24 FLAC, libFLAC 1.5", goals[0], [[threaded, src16, out_flac]],
                 [encode(dec24)], f"flac 1.5 -5 -V {jobs} (PCM24 WAV)", [out_flac, peer_flac], 32),
            Case("decode FLAC to PCM24 FLAC, libFLAC 1.5", goals[1], [[threaded, src_flac, out_flac]],
                 [[flac15, "-d", "-f", src_flac, "-o", peer_wav2], encode(dec24)],
                 f"flac 1.5 -d, then -5 -V {jobs}", [out_flac, peer_wav2, peer_flac], 32),
            Case("preserve WAV to FLAC, libFLAC 1.5", goals[2], [[threaded, src16, out_flac, "--preserve-hdcd"]],
                 [encode(src16)], f"flac 1.5 -5 -V {jobs}", [out_flac, peer_flac], 32),
        ]
    for case in cases:
        print(f"Timing {case.name} against {case.peer_name}", flush=True)
        measure(case, args.runs)
        for path in case.scratch:
            if os.path.exists(path):
                os.remove(path)

    print("Running the HDCD core benchmark", flush=True)
    audio_frames = args.minutes * 60 * RATE
    core = core_benchmark(core_bench, audio_frames) if os.path.exists(core_bench) else []

    long_memory = {}
    if args.long_minutes > 0:
        print(f"Measuring memory on a {args.long_minutes}-minute file", flush=True)
        long16, long24 = w("long.wav"), w("long-24.wav")
        run_once([make_audio, str(args.long_minutes * 60), long16, long24])
        long_cases = {
            "decode WAV to PCM24 WAV": [[program, long16, out_wav]],
            "scan PCM16 WAV": [[program, "--scan", long16]],
            "scan PCM24 WAV (nine positions)": [[program, "--scan", long24]],
        }
        for name, steps in long_cases.items():
            long_memory[name] = run_steps(steps, [out_wav]).max_rss_kib
        for path in (long16, long24, out_wav):
            if os.path.exists(path):
                os.remove(path)

    lines = []
    lines.append(f"Processor: {processor_name()} ({os.cpu_count()} cores)  ")
    lines.append(f"Date: {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')}  ")
    lines.append(f"Audio: {args.minutes}-minute HDCD PCM16 44.1 kHz stereo "
                 f"(bench/make_bench_audio); {args.runs} timed runs each, "
                 "program and peer alternating. Times in seconds, memory in MiB.")
    lines.append("")
    lines.append("| case | peer | program min | program median | peer min | peer median "
                 "| ratio min | ratio median | goal | met | program peak RSS "
                 f"| RSS {args.long_minutes}-min file | peer peak RSS |")
    lines.append("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    missed = []
    goal_count = len(cases)
    for case in cases:
        p = [r.seconds for r in case.program_runs]
        q = [r.seconds for r in case.peer_runs]
        ratio_min = min(p) / min(q)
        ratio_median = statistics.median(p) / statistics.median(q)
        rss = max(r.max_rss_kib for r in case.program_runs)
        peer_rss = max(r.max_rss_kib for r in case.peer_runs)
        long_rss = long_memory.get(case.name)
        met = case.goal is None or ratio_median <= case.goal
        wav_case = case.name in long_memory
        rss_goal = 8 if wav_case else case.rss_goal_mib
        if rss_goal is not None and max(rss, long_rss or 0) > rss_goal * 1024:
            met = False
        if not met:
            missed.append(case.name + " against " + case.peer_name)
        goal = ", ".join(([f"<= {case.goal:.2f}"] if case.goal is not None else []) +
                         ([f"<= {rss_goal} MiB"] if rss_goal is not None else []))
        lines.append(
            f"| {case.name} | {case.peer_name} | {seconds_text(min(p))} | {seconds_text(statistics.median(p))} "
            f"| {seconds_text(min(q))} | {seconds_text(statistics.median(q))} | {ratio_min:.2f} "
            f"| {ratio_median:.2f} | {goal} | {'yes' if met else 'NO'} | {mib_text(rss)} "
            f"| {mib_text(long_rss) if long_rss is not None else '-'} | {mib_text(peer_rss)} |")
    for name, fastest, median, best_rate in core:
        lines.append(
            f"| HDCD core: {name} | - | {seconds_text(fastest)} | {seconds_text(median)} | - | - | - | - | - | - "
            f"| - | - | - |")
    if core:
        lines.append("")
        lines.append(f"HDCD core rows: time the core alone takes for the {args.minutes} minutes of audio "
                     "(hdcd_core_bench, 16384-frame blocks, 5 repetitions); best rate: " +
                     ", ".join(f"{name} {rate / RATE:.0f}x real time" for name, _, _, rate in core) + ".")
    if not args.skip_batch:
        batch = batch_rows(build, work, args.runs)
        lines.extend(batch.lines)
        missed.extend(batch.missed)
        goal_count += batch.goals
    lines.append("")
    lines.append(f"libFLAC 1.5 rows: the program beside libFLAC 1.5.0 built from Debian's source "
                 f"(scripts/build-libflac-linux.sh), its encoder on {min(processors, 16)} threads; "
                 "the peer is flac 1.5.0 from the same build. Other rows: the system's libFLAC and flac.")
    lines.append("")
    lines.append(f"Goals met: {goal_count - len(missed)} of {goal_count}" +
                 (f"; missed: {', '.join(missed)}." if missed else "."))
    lines.append(f"Benchmark wall time: {time.perf_counter() - began:.0f} s.")
    table = "\n".join(lines) + "\n"
    print()
    print(table, end="")
    with open(args.results, "w") as out:
        out.write("# Benchmark results\n\n" + table)
    for path in (src16, src24, src_flac, dec24):
        os.remove(path)


if __name__ == "__main__":
    main()
