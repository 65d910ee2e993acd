"""qv-hdcd-batch scan over a generated collection: every file's findings against
`qv-hdcd --scan`, the JSON, CSV and HTML reports (the page rendered by headless
Chromium), --jobs independence, and a real Ctrl+C."""
import csv
import fcntl
import html
import json
import os
import pty
import re
import shutil
import signal
import socket
import stat
import struct
import subprocess
import tempfile
import termios
import time
import unittest
import zlib

import soundfile as sf

import harness
import hdcd_inputs as inputs

BATCH = harness.BATCH_PROGRAM
FILE_FIELDS = ["path", "path_bytes", "folder", "size", "modified", "identity", "status", "container", "sample_rate",
               "bits", "frames", "seconds", "truncated", "error", "skip_reason", "hdcd_found", "bit_position", "packet_type", "packet_type_name", "peak_extend_mode",
               "peak_extend_mode_name", "valid_packets", "packet_errors",
               "peak_extend_packets", "transient_filter_packets", "max_gain_code", "left_packets", "right_packets",
               "timer_expirations", "stereo_mismatch_samples", "first_packet_seconds", "timeline"]
# name: (status, container, bits, bit position)
COLLECTION = {
    "Disc 1/01 lle.wav": ("hdcd", "WAV", 16, 0),
    "Disc 1/02 lle.flac": ("hdcd", "FLAC", 16, 0),
    "Disc 1/03 UPPER.FLAC": ("hdcd", "FLAC", 16, 0),
    "Disc 1/04 cut.wav": ("hdcd", "WAV", 16, 0),  # its data ends halfway through
    "Disc 2 \u00fcn\u00ef/\u03a9 signalling.wav": ("signalling-only", "WAV", 16, 0),
    "Disc 2 \u00fcn\u00ef/sub/deep/rf64 lle.wav": ("hdcd", "RF64", 16, 0),
    "Disc 3/lle24.wav": ("hdcd", "WAV", 24, 8),
    "Disc 3/bad.flac": ("error", "FLAC", 16, -1),
    "Disc 3/mono.wav": ("error", None, 0, -1),
    "Disc 4/plain.wav": ("none", "WAV", 16, -1),
    # qv-hdcd's own output: the signalling at bit 7, and lower bits set wherever a gain acted.
    "Disc 5/lle decoded.wav": ("decoded", "WAV", 24, 7),
    "Disc 5/lle decoded.flac": ("decoded", "FLAC", 24, 7),
    "Disc 5/signalling decoded.wav": ("decoded", "WAV", 24, 7),
}
CUT_FRAMES = 220500
VERDICTS = {"Disc 1": "HDCD", "Disc 2 \u00fcn\u00ef": "HDCD signalling only", "Disc 2 \u00fcn\u00ef/sub/deep": "HDCD",
            "Disc 3": "HDCD", "Disc 4": "not HDCD", "Disc 5": "HDCD, already decoded"}
# The words of the reports against the numbers and the texts of `qv-hdcd --scan`.
PACKET_TYPES = {(0, None): "None", (1, "A"): "A", (2, "B"): "B", (3, "A+B"): "Mixed A/B"}
PEAK_EXTEND = {(0, "never"): "Never", (1, "intermittent"): "Intermittent", (2, "always"): "Permanent"}


def listed(document):
    """The entries of a JSON report but the other (non-audio) files, which only the JSON lists."""
    return [entry for entry in document["files"] if entry["status"] != "other"]


def album_order(path):
    folder, _, name = path.encode().rpartition(b"/" if harness.SEP == "/" else b"\\")
    return folder, name


def series(timeline, key):
    """A timeline series rebuilt point by point from its runs of [time, value]."""
    values, runs = [], timeline[key]
    for n, (start, value) in enumerate(runs):
        end = round(runs[n + 1][0] / timeline["seconds_per_point"]) if n + 1 < len(runs) else timeline["points"]
        values += [value] * (end - round(start / timeline["seconds_per_point"]))
    return values


def scan_report(entry):
    """The report `qv-hdcd --scan` prints, rebuilt from a JSON file entry."""
    if not entry["hdcd_found"]:
        return "\nHDCD detected: No\n"
    gain = entry["max_gain_code"] * -0.5 if entry["max_gain_code"] else 0.0
    active = entry["peak_extend_mode"] != 0 or entry["max_gain_code"] != 0
    return ("\nHDCD detected: Yes\nPacket type: %s\nValid packets: %d\n  Left:  %d\n  Right: %d\nPacket errors: %d\n"
            "Peak Extend: %s\nPeak Extend packets: %d\nTransient Filter: %s\nMaximum target gain adjustment: %.1f dB\n"
            "Code-detect timer expirations: %d\nStereo gain mismatch samples: %d\nHDCD processing: %s\n") % (
        PACKET_TYPES[entry["packet_type"], entry["packet_type_name"]], entry["valid_packets"], entry["left_packets"],
        entry["right_packets"], entry["packet_errors"],
        PEAK_EXTEND[entry["peak_extend_mode"], entry["peak_extend_mode_name"]], entry["peak_extend_packets"],
        "Detected (not decoded)" if entry["transient_filter_packets"] else "Not detected", gain,
        entry["timer_expirations"], entry["stereo_mismatch_samples"], "Active" if active else "Signalling only")


def make_collection(case):
    """The collection above under Music (made with qv-hdcd, flac and soundfile)."""
    lle = inputs.make_lle(case, "lle.wav")
    # The first second of the test signal carries packets with gain code 0 and no Peak Extend.
    inputs.cut(case, lle, 40000, "signalling.wav")
    samples, rate = sf.read(case.path(lle), dtype="int16")
    sf.write(case.path("rf64.wav"), samples, rate, format="RF64", subtype="PCM_16")
    sf.write(case.path("mono.wav"), samples[:1000, 0], rate, subtype="PCM_16")
    inputs.write_file(case, "cover.jpg", b"\xff\xd8 not really a picture")
    inputs.write_file(case, "plain.wav", inputs.wav_bytes(inputs.tone_without_hdcd()))
    inputs.to_flac(case, lle, "lle.flac")
    inputs.widen_to_pcm24(case, lle, "lle24.wav")
    inputs.damage_flac(case, lle, "frames", "bad.flac")
    whole = harness.read_bytes(case.path(lle))
    inputs.write_file(case, "cut.wav", whole[:whole.index(b"data") + 8 + CUT_FRAMES * 4])
    for source, target in [(lle, "lle decoded.wav"), (lle, "lle decoded.flac"),
                           ("signalling.wav", "signalling decoded.wav")]:
        case.assertEqual(case.run_program([source, target]).status, 0)
    for source, target in [(lle, "Disc 1/01 lle.wav"), ("lle.flac", "Disc 1/02 lle.flac"),
                           ("lle.flac", "Disc 1/03 UPPER.FLAC"), ("cut.wav", "Disc 1/04 cut.wav"), ("signalling.wav", "Disc 2 \u00fcn\u00ef/\u03a9 signalling.wav"),
                           ("rf64.wav", "Disc 2 \u00fcn\u00ef/sub/deep/rf64 lle.wav"), ("lle24.wav", "Disc 3/lle24.wav"),
                           ("bad.flac", "Disc 3/bad.flac"), ("mono.wav", "Disc 3/mono.wav"),
                           ("cover.jpg", "Disc 3/cover.jpg"), ("plain.wav", "Disc 4/plain.wav"),
                           ("lle decoded.wav", "Disc 5/lle decoded.wav"), ("lle decoded.flac", "Disc 5/lle decoded.flac"),
                           ("signalling decoded.wav", "Disc 5/signalling decoded.wav")]:
        case.place(source, "Music/" + target)
    os.makedirs(case.path("Music", "Empty folder"))


def without_elapsed(document):
    document["totals"].pop("elapsed_seconds")
    return document


def png_is_blank(path):
    """True when the screenshot's pixel data holds (almost) a single value."""
    data = harness.read_bytes(path)
    chunks, offset = [], 8
    while offset < len(data):
        length = int.from_bytes(data[offset:offset + 4], "big")
        if data[offset + 4:offset + 8] == b"IDAT":
            chunks.append(data[offset + 8:offset + 8 + length])
        offset += 12 + length
    return len(set(zlib.decompress(b"".join(chunks)))) < 16


# Run in the page after its own script (--dump-dom): every in-page link's target exists; in each album
# section the track rows link to its pictures and the pictures back to it; the albums table links to the
# sections; "only HDCD albums" leaves the HDCD albums' rows and sections; clicking a head sorts the rows
# by length, by number or as text.
PAGE_PROBE = """<script>(function(){
var all=function(s,r){return Array.prototype.slice.call((r||document).querySelectorAll(s))},p={misplaced:[],track_links:0},
heading=function(s){return s.querySelector('h2').textContent.replace(/^\\S+ albums /,'')};
p.unresolved=all('a[href^="#"]').map(function(a){return a.getAttribute('href')}).filter(function(h){return !document.getElementById(h.slice(1))});
all('section').forEach(function(s){all('td a, .track h3 a',s).forEach(function(a){var t=document.getElementById(a.getAttribute('href').slice(1));
p.track_links++;if(!t||t!==s&&t.closest('section')!==s)p.misplaced.push(a.getAttribute('href'))})});
p.albums=all('.albums td a').map(function(a){return heading(document.getElementById(a.getAttribute('href').slice(1)))});
document.getElementById('only').click();
p.filtered=all('section').concat(all('.albums tbody tr')).filter(function(e){return getComputedStyle(e).display!='none'}).map(function(e){
return e.tagName=='SECTION'?heading(e):e.cells[1].textContent});
p.sorted={};p.unsorted={};
[['.albums','Total time'],['#a0','Length'],['.albums','Album']].forEach(function(c){
var t=document.querySelector(c[0]),h=all('th',t).filter(function(h){return h.textContent==c[1]})[0],
v=function(){return all('tbody tr',t).map(function(r){var x=r.cells[h.cellIndex];return x.dataset.sort?+x.dataset.sort:x.textContent})};
p.unsorted[c[1]]=v();h.click();p.sorted[c[1]]=v()});
var o=document.createElement('pre');o.id='probe';o.textContent=JSON.stringify(p);document.body.appendChild(o)})()</script>"""


def chromium(page, directory, *mode):
    profile = tempfile.mkdtemp(prefix="qv-chromium-")
    try:
        return subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                               "--no-first-run", "--disable-background-networking", "--disable-component-update",
                               "--disable-sync", "--user-data-dir=" + profile, "--window-size=1000,1400", *mode,
                               "file://" + page], cwd=directory, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=120, check=True).stdout
    finally:
        shutil.rmtree(profile, ignore_errors=True)


@unittest.skipUnless(BATCH, "QV_HDCD_BATCH_TARGET is not set")
class BatchScanTest(harness.CliTestCase):
    def setUp(self):
        super().setUp()
        make_collection(self)

    def scan(self, jobs, prefix):
        reports = [self.path(prefix + suffix) for suffix in (".json", ".csv", ".html")]
        result = self.run_batch(["scan", "Music", "--jobs", str(jobs), "--json", reports[0], "--csv", reports[1],
                                 "--html", reports[2]])
        self.assertEqual(result.status, 1, result)  # the damaged FLAC and the mono file
        return result, harness.read_json(reports[0]), reports

    def test_collection_reports_and_jobs(self):
        result, document, reports = self.scan(2, "two")
        sep = harness.SEP
        files = {entry["path"].replace(sep, "/"): entry for entry in listed(document)}
        self.assertEqual(sorted(files), sorted("Music/" + name for name in COLLECTION))
        self.assertEqual([e["path"] for e in document["files"]],
                         sorted((e["path"] for e in document["files"]), key=album_order))
        self.assertEqual([(e["path"], e["size"]) for e in document["files"] if e["status"] == "other"],
                         [("Music%sDisc 3%scover.jpg" % (sep, sep), 23)])
        self.assertEqual((document["tool"], document["version"], document["format"], document["cancelled"]),
                         ("qv-hdcd-batch", "1.0.1.0", 2, False))

        for name, (status, container, bits, position) in COLLECTION.items():
            entry = files["Music/" + name]
            with self.subTest(name):
                self.assertEqual(list(entry), FILE_FIELDS)
                self.assertEqual((entry["status"], entry["container"], entry["bits"], entry["bit_position"],
                                  entry["truncated"]), (status, container, bits, position, "cut" in name))
                single = harness.run(["--scan", entry["path"]], cwd=self.dir)
                if status == "error":
                    self.assertEqual(single.status, 1)
                    # After the progress line: "Error: <the reader's message>", or the FLAC decode failure.
                    self.assertTrue(single.stderr.endswith(b"\n" + entry["error"].encode() + b"\n") or
                                    single.stderr == b"Error: %s\n" % entry["error"].encode(), single.stderr)
                    continue
                self.assertEqual(single.status, 0 if entry["hdcd_found"] else 2)
                self.assertEqual(single.stdout.split(b"\nScanning...\n")[1].decode(), scan_report(entry))
                self.assertEqual(entry["frames"], 40000 if "signalling" in name or "plain" in name else
                                 CUT_FRAMES if "cut" in name else 441000)
                timeline = entry["timeline"]
                if status == "none" or bits != 16:
                    self.assertIsNone(timeline)
                    continue
                self.assertEqual((timeline["seconds_per_point"], timeline["points"]), (0.1, -(-entry["frames"] // 4410)))
                self.assertAlmostEqual(entry["first_packet_seconds"], 304 / 44100, places=5)
                expected_gains = {0.0} if status == "signalling-only" else {0.0, -2.0, -4.0}
                gains = series(timeline, "gain_left_db")
                self.assertEqual((set(gains), len(gains)), (expected_gains, timeline["points"]))
                self.assertEqual(timeline["gain_right_db"], timeline["gain_left_db"])
                self.assertEqual(timeline["packet_errors"] + timeline["timer_lapses"], [[0, 0], [0, 0]])
                self.assertEqual(os.stat(self.path("Music/" + name)).st_size, entry["size"])

        albums = {a["path"].replace(sep, "/"): a for a in document["albums"]}
        self.assertEqual({path: a["verdict"] for path, a in albums.items()},
                         {"Music/" + name: verdict for name, verdict in VERDICTS.items()})
        self.assertEqual((albums["Music/Disc 3"]["tracks"], albums["Music/Disc 3"]["errors"]), (3, 2))
        totals = document["totals"]
        self.assertEqual([totals[k] for k in ("files", "skipped", "albums", "hdcd_albums", "hdcd_tracks",
                                              "signalling_only_tracks", "decoded_tracks", "errors")],
                         [13, 1, 6, 3, 6, 1, 3, 2])
        self.assertIn(b"[HDCD signalling only] Music%sDisc 2 \xc3\xbcn\xc3\xaf: 1 track (" % sep.encode(), result.stdout)
        self.assertIn(b"[HDCD, already decoded] Music%sDisc 5: 3 tracks (0 hdcd, 0 signalling-only, 3 decoded, 0 none, "
                      b"0 errors)\n" % sep.encode(), result.stdout)
        self.assertIn(b" 1 signalling-only tracks, 3 decoded tracks, 2 errors,", result.stdout)
        self.assertEqual(result.stderr.count(b"Warning: "), 1, result.stderr)
        self.assertIn(b"Warning: Music%sDisc 1%s04 cut.wav: the data ends before the header says (%d of %d bytes).\n"
                      % (sep.encode(), sep.encode(), CUT_FRAMES * 4, 441000 * 4), result.stderr)

        with open(reports[1], newline="", encoding="utf-8") as handle:
            rows = list(csv.DictReader(handle))
        self.assertEqual([row["path"] for row in rows], [e["path"] for e in listed(document)])
        for row, entry in zip(rows, listed(document)):
            self.assertEqual((row["status"], row["error"], int(row["valid_packets"]), int(row["bit_position"]),
                              row["packet_type_name"], row["peak_extend_mode_name"]),
                             (entry["status"], entry["error"] or "", entry["valid_packets"], entry["bit_position"],
                              entry["packet_type_name"] or "", entry["peak_extend_mode_name"]))

        page = harness.read_bytes(reports[2])
        self.assertLessEqual(len(page), 8000 + 40000 * 5 + 1000 * 4)
        self.assertTrue(shutil.which("chromium"), "the report is rendered by chromium, which make test installs")
        text = chromium(reports[2], self.dir, "--dump-dom").decode()
        for verdict in ["HDCD signalling only", "not HDCD", "Disc 2 \u00fcn\u00ef", "Transient Filter"]:
            self.assertIn(verdict, text)
        # A picture per HDCD PCM16 track, a summary per album that has one.
        self.assertEqual((text.count('href="#frame"'), text.count("<clipPath")), (5, 2))
        probed = self.path("probe.html")
        with open(probed, "wb") as handle:
            handle.write(page + PAGE_PROBE.encode())
        probe = json.loads(html.unescape(re.search(r'<pre id="probe">(.*?)</pre>',
                                                   chromium(probed, self.dir, "--dump-dom").decode()).group(1)))
        self.assertEqual((probe["unresolved"], probe["misplaced"], probe["track_links"]), ([], [], 6 * 2))
        self.assertEqual(sorted(a.replace(sep, "/") for a in probe["albums"]), sorted("Music/" + name for name in VERDICTS))
        self.assertEqual(sorted(a.replace(sep, "/") for a in probe["filtered"]), sorted(["Music/Disc 1", "Music/Disc 2 \u00fcn\u00ef/sub/deep",
                                                            "Music/Disc 3"] * 2))
        for column, values in probe["sorted"].items():
            with self.subTest(column):
                self.assertEqual(values, sorted(values))
                self.assertNotEqual(values, probe["unsorted"][column])
        chromium(reports[2], self.dir, "--screenshot=" + self.path("page.png"))
        self.assertFalse(png_is_blank(self.path("page.png")))
        if os.environ.get("QV_KEEP_SCREENSHOT"):
            shutil.copyfile(self.path("page.png"), os.environ["QV_KEEP_SCREENSHOT"])

        _, one_job, one_reports = self.scan(1, "one")
        self.assertEqual(without_elapsed(one_job), without_elapsed(document))
        self.assertEqual(harness.read_bytes(one_reports[1]), harness.read_bytes(reports[1]))
        self.assertEqual(sorted(n for n in os.listdir(self.dir) if "qv-hdcd-batch" in n), [])

    def reports(self, prefix, command):
        """Runs command with the three reports named prefix.*; their texts with the timings left out."""
        names = [prefix + suffix for suffix in (".json", ".csv", ".html")]
        result = self.run_batch(command + ["--json", names[0], "--csv", names[1], "--html", names[2]])
        document = without_elapsed(harness.read_json(self.path(names[0])))
        document.pop("updated")
        page = re.sub(rb" in [0-9.]+ s", b"", harness.read_bytes(self.path(names[2])))
        return result, (document, harness.read_bytes(self.path(names[1])), page)

    def test_update_and_merge_write_what_one_scan_writes(self):
        _, whole = self.reports("whole", ["scan", "Music"])
        # Halves scanned apart (one file in both), then merged: the later report's entry is kept.
        self.run_batch(["scan", "Music/Disc 1", "Music/Disc 2 \u00fcn\u00ef", "--json", "a.json"])
        self.run_batch(["scan", "Music/Disc 3", "Music/Disc 4", "Music/Disc 5", "Music/Disc 1/01 lle.wav",
                        "--json", "b.json"])
        result, merged = self.reports("m", ["report", "a.json", "b.json"])
        self.assertEqual(result.status, 0, result)
        self.assertIn(b"Note: 1 file is in more than one report", result.stderr)
        self.assertEqual(merged, whole)

        # Add an album, touch a file (same size, new time), remove one; then update against a full scan.
        shutil.copytree(self.path("Music", "Disc 1"), self.path("Music", "Disc 9"))
        os.utime(self.path("Music", "Disc 4", "plain.wav"), ns=(1, 10**18))
        os.remove(self.path("Music", "Disc 1", "03 UPPER.FLAC"))
        shutil.copyfile(self.path("whole.json"), self.path("u.json"))
        result, updated = self.reports("u", ["scan", "Music", "--update", "u.json"])
        self.assertEqual(harness.read_json(self.path("u.json"))["updated"], {"reused": 9, "scanned": 7, "dropped": 1})
        self.assertEqual(updated, self.reports("full", ["scan", "Music"])[1])
        shutil.copyfile(self.path("whole.json"), self.path("j.json"))  # the JSON alone takes entries as they stand
        self.run_batch(["scan", "Music", "--update", "j.json"])
        self.assertEqual(without_elapsed(harness.read_json(self.path("j.json"))), without_elapsed(
            harness.read_json(self.path("u.json"))))

        # An unchanged file is not read again: garbage of its size and time keeps its entry.
        wav = self.path("Music", "Disc 1", "01 lle.wav")
        stamp = os.stat(wav)
        with open(wav, "r+b") as handle:
            handle.write(b"\0" * 64)
        os.utime(wav, ns=(stamp.st_atime_ns, stamp.st_mtime_ns))
        self.assertEqual(self.reports("u", ["scan", "Music", "--update", "u.json"])[1], updated)

        # Reports that are not this program's, damaged or of another format.
        text = harness.read_bytes(self.path("u.json"))
        for name, content, status, message in [
                ("r.csv", harness.read_bytes(self.path("u.csv")), 1, b"it is not a JSON report of qv-hdcd-batch"),
                ("cut.json", text[:len(text) // 2], 1, b"it is damaged (line "),
                ("swapped.json", b"\n".join(text.split(b"\n")[:1] + text.split(b"\n")[2:3] +
                                             text.split(b"\n")[1:2] + text.split(b"\n")[3:]), 1,
                 b"the entries are out of order"),
                ("old.json", text.replace(b'"format":2', b'"format":1', 1), 0,
                 b"whose reports this version does not read; every file is read again")]:
            with self.subTest(name):
                inputs.write_file(self, name, content)
                merge = self.run_batch(["report", name, "--json", "out.json"])
                self.assertEqual((merge.status, os.path.exists(self.path("out.json"))), (1, False), merge)
                self.assertIn(message if status else b"whose reports this version does not read", merge.stderr)
                update = self.run_batch(["scan", "Music", "--update", name, "--quiet"])
                self.assertIn(message, update.stderr)
                self.assertEqual(harness.read_bytes(self.path(name)) == content, status == 1)
        if not harness.ON_WINDOWS_BUILD:  # a pipe is never opened: it would hold the run
            os.mkfifo(self.path("pipe.json"))
            for command in (["report", "pipe.json"], ["scan", "Music", "--update", "pipe.json"]):
                result = self.run_batch(command, timeout=30)
                self.assertEqual(result.status, 1)
                self.assertRegex(result.stderr, rb"^Error: cannot (read|write) the report pipe\.json: .*pipe")

    def test_argument_errors(self):
        cases = [(["scan"], b"Error: no PATH given\n"),
                 (["scan", "Music", "--jobs", "0"], b"Error: --jobs takes a number from 1 to 256, not 0\n"),
                 (["scan", "Music", "--json"], b"Error: --json needs a value\n"),
                 (["scan", "Missing"], b"Error: No such file or folder: Missing\n"),
                 (["scan", "Music", "--frobnicate"], b"Error: unknown option --frobnicate\n"),
                 (["list", "Music"], b"Error: unknown command list\n")]
        if not harness.ON_WINDOWS_BUILD:  # reading a pipe would wait for a writer that never comes
            os.mkfifo(self.path("stream.wav"))
            cases.append((["scan", "Music", "stream.wav"], b"Error: not a file or folder (named pipe): stream.wav\n"))
        for args, message in cases:
            with self.subTest(args):
                result = self.run_batch(args)
                self.assertEqual((result.status, result.stdout), (1, b""))
                self.assertTrue(result.stderr.startswith(message + b"\nUsage:\n"), result.stderr)
        self.assertEqual(self.run_batch(["--version"]).stdout.splitlines()[0], b"qv-hdcd-batch 1.0.1.0")
        # Report names that cannot be written, or would overwrite what is read or another report, by any
        # spelling: refused before any file is read, the named files as they were.
        track = "Music/Disc 1/01 lle.wav"
        os.link(self.path(track), self.path("hard.wav"))
        os.mkfifo(self.path("pipe.json")) if not harness.ON_WINDOWS_BUILD else None
        refused = [(["--json", track], b"one of the files to be read"),
                   (["--html", "./Music//Disc 1/../Disc 1/01 lle.wav"], b"one of the files to be read"),
                   (["--csv", "hard.wav"], b"one of the files to be read"),
                   (["--json", "r", "--csv", "./r"], b"the name of another report"),
                   (["--json", "Music"], b"is a folder"), (["--csv", ""], b"the name is empty"),
                   (["--json", "missing/r.json"], b"")]
        if not harness.ON_WINDOWS_BUILD:
            os.symlink(track, self.path("soft.json"))
            refused += [(["--json", "soft.json"], b"one of the files to be read"), (["--json", "pipe.json"], b"a named pipe")]
        before = harness.contents(self.path("Music"))
        names = sorted(os.listdir(self.dir))
        for args, reason in refused:
            with self.subTest(args):
                result = self.run_batch(["scan", "Music"] + args, timeout=30)
                self.assertEqual((result.status, result.stdout), (1, b""), result)
                self.assertTrue(result.stderr.startswith(b"Error: cannot write the report "), result.stderr)
                self.assertIn(reason, result.stderr)
                self.assertEqual(sorted(os.listdir(self.dir)), names)
        self.assertEqual(harness.contents(self.path("Music")), before)
        # A folder without audio: nothing to do is no shortage of worker threads.
        self.assertEqual(self.run_batch(["scan", "Music/Empty folder", "--quiet"]).stderr, b"")

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "SIGINT and /proc are POSIX")
    def test_interrupt_abandons_the_file_in_progress(self):
        # Long files of silence (sparse, so they cost no disk), read one at a time.
        header = bytearray(inputs.wav_bytes([]))
        header[40:44] = (0xFFFFFFF0).to_bytes(4, "little")
        os.mkdir(self.path("zz"))
        for n in range(3):
            with open(self.path("zz/zz%d.wav" % n), "wb") as handle:
                handle.write(header)
                handle.truncate(0xFFFFFFF0 + len(header))
        process = subprocess.Popen(harness.RUNNER + [BATCH, "scan", "Music", "zz/zz0.wav", "zz/zz1.wav", "zz/zz2.wav",
                                                     "--jobs", "1", "--json", "r.json", "--csv", "r.csv",
                                                     "--html", "r.html"],
                                   cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        descriptors = "/proc/%d/fd" % process.pid
        deadline = time.time() + 60

        def reading_zz0():
            try:
                return any(os.readlink(os.path.join(descriptors, fd)).endswith("zz0.wav")
                           for fd in os.listdir(descriptors))
            except OSError:
                return False

        while not reading_zz0() and time.time() < deadline:
            time.sleep(0.002)
        process.send_signal(signal.SIGINT)
        # Ctrl+C again and again once the work has stopped, while the reports are written.
        self.assertEqual(process.stderr.readline() + process.stderr.readline(), b"\nCancelled.\n")
        while process.poll() is None:
            process.send_signal(signal.SIGINT)
            time.sleep(0.0005)
        stdout, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 130, stderr)
        document = harness.read_json(self.path("r.json"))
        self.assertTrue(document["cancelled"])
        self.assertEqual(sorted(e["path"] for e in listed(document)), sorted("Music/" + n for n in COLLECTION))
        self.assertIn(b"Cancelled", harness.read_bytes(self.path("r.html")))
        self.assertTrue(harness.read_bytes(self.path("r.csv")).endswith(b"\r\n# cancelled\r\n"))
        self.assertEqual([n for n in os.listdir(self.dir) if "qv-hdcd-batch" in n], [])

def long_chain(case, root, depth, files_at):
    """depth folders of 250-character names below root, made relative to each other (their paths outgrow
    what the system takes whole), with a copy of lle.wav in each folder whose depth is in files_at;
    the paths of those files."""
    audio = harness.read_bytes(case.path("lle.wav"))
    os.makedirs(root)
    folder = os.open(root, os.O_RDONLY)
    path, made = root, []
    for level in range(1, depth + 1):
        name = "%02d" % level + "x" * 248
        os.mkdir(name, dir_fd=folder)
        inner = os.open(name, os.O_RDONLY, dir_fd=folder)
        os.close(folder)
        folder, path = inner, path + "/" + name
        if level in files_at:
            handle = os.open("t.wav", os.O_WRONLY | os.O_CREAT, dir_fd=folder)
            os.write(handle, audio)
            os.close(handle)
            made.append(path + "/t.wav")
    os.close(folder)
    return made


def special_entries(root):
    """What must never be opened, beside coll/A/x.wav: a pipe, a socket, a device (/dev/null's), links to nothing
    and to a folder."""
    os.mkfifo(os.path.join(root, "A", "pipe.wav"))
    os.mknod(os.path.join(root, "A", "null.wav"), stat.S_IFCHR | 0o600, os.makedev(1, 3))
    server = socket.socket(socket.AF_UNIX)
    server.bind(os.path.join(root, "A", "socket.flac"))
    server.close()
    os.symlink("gone.wav", os.path.join(root, "A", "dangling.wav"))
    os.symlink("../A", os.path.join(root, "A", "folder link"))


# The walk, every entry accounted for: (name, POSIX only, lay out below "coll" beside coll/A/x.wav and
# return the PATHs, {path below the test folder: status or (status, reason)} of the reported entries,
# (files, skipped, errors, albums) of the totals, exit status). The program runs without the capabilities
# that let root past permission bits.
WALK_CASES = [
    ("folder readable, not searchable", True,
     lambda case, root: (os.makedirs(root + "/N"), case.place("lle.wav", "coll/N/n.wav"), os.chmod(root + "/N", 0o600),
                         ["coll"])[-1],
     {"coll/A/x.wav": "hdcd", "coll/N/n.wav": ("error", "cannot inspect (error 13: Permission denied)")},
     (1, 0, 1, 2), 1),
    ("folder not readable", True,
     lambda case, root: (os.makedirs(root + "/L"), os.chmod(root + "/L", 0), ["coll"])[-1],
     {"coll/A/x.wav": "hdcd", "coll/L": ("error", "cannot read the folder (error 13: Permission denied)")},
     (1, 0, 1, 2), 1),
    ("paths longer than the system takes", True,
     lambda case, root: (long_chain(case, root + "/deep", 17, {15, 17}), ["coll"])[-1],
     {"coll/A/x.wav": "hdcd", "deep15": "hdcd", "deep17": "error"}, (3, 0, 1, 3), 1),
    ("pipe, socket, device, dangling link, folder link", True,
     lambda case, root: (special_entries(root), ["coll"])[-1],
     {"coll/A/x.wav": "hdcd", "coll/A/pipe.wav": ("skipped", "named pipe"), "coll/A/socket.flac": ("skipped", "socket"),
      "coll/A/dangling.wav": ("skipped", "link to nothing"),
      "coll/A/null.wav": ("skipped", "device"), "coll/A/folder link": ("skipped", "link to a folder (not followed)")},
     (1, 5, 0, 1), 0),
    ("macOS resource file and system files", False,
     lambda case, root: (inputs.write_file(case, "coll/A/._x.wav", b"\0\5\x16\7 resource fork"),
                         inputs.write_file(case, "coll/A/.DS_Store", b"\0\0\0\1Bud1"),
                         inputs.write_file(case, "coll/A/Thumbs.db", b"\xd0\xcf\x11\xe0"), ["coll"])[-1],
     {"coll/A/x.wav": "hdcd", "coll/A/._x.wav": ("skipped", "macOS resource file"),
      "coll/A/.DS_Store": ("skipped", "hidden system file"), "coll/A/Thumbs.db": ("skipped", "hidden system file")},
     (1, 3, 0, 1), 0),
    ("names not UTF-8, or with control characters", True,
     lambda case, root: (case.place("lle.wav", "coll/A/caf\udce9.wav"), case.place("lle.wav", "coll/A/caf\u00e9.wav"),
                         case.place("lle.wav", "coll/A/back\\slash.wav"),
                         inputs.write_file(case, "coll/A/x\nError: forged.wav", b"RIFF junk"),
                         inputs.write_file(case, "coll/A/\x1b[31mred.wav", b"RIFF junk"), ["coll"])[-1],
     {"coll/A/x.wav": "hdcd", "coll/A/caf\\xE9.wav": "hdcd", "coll/A/caf\u00e9.wav": "hdcd",
      "coll/A/back\\\\slash.wav": "hdcd", "coll/A/x\nError: forged.wav": "error", "coll/A/\x1b[31mred.wav": "error"},
     (6, 0, 2, 1), 1),
    ("one file through several PATHs and spellings", False,
     lambda case, root: ["coll/A", "coll", "./coll/A", root + "/A", "coll/A//x.wav", "coll/./A/x.wav"],
     {"coll/A/x.wav": "hdcd"}, (1, 0, 0, 1), 0),
]


@unittest.skipUnless(BATCH, "QV_HDCD_BATCH_TARGET is not set")
class BatchWalkTest(harness.CliTestCase):
    def test_every_entry_accounted_for(self):
        inputs.make_lle(self, "lle.wav")
        without_capabilities = [] if harness.ON_WINDOWS_BUILD else ["setpriv", "--inh-caps=-all",
                                                                     "--bounding-set=-all"]
        for name, posix_only, lay_out, entries, totals, status in WALK_CASES:
            if posix_only and harness.ON_WINDOWS_BUILD:
                continue
            with self.subTest(name):
                shutil.rmtree(self.path("coll"), ignore_errors=True)
                for report in ("r.json", "r.csv"):
                    if os.path.exists(self.path(report)):
                        os.remove(self.path(report))
                self.place("lle.wav", "coll/A/x.wav")
                args = lay_out(self, self.path("coll"))
                result = self.run_batch(["scan", *args, "--json", "r.json", "--csv", "r.csv"],
                                        prefix=without_capabilities)
                for folder, _, _ in os.walk(self.path("coll")):
                    os.chmod(folder, 0o755)
                self.assertEqual(result.status, status, result)
                document = harness.read_json(self.path("r.json"))
                found = {}
                for entry in listed(document):
                    path = entry["path"].replace(harness.SEP, "/")
                    if "/deep/" in path:  # by depth: the names are too long to write here
                        path = "deep%d" % (len(path.split("/")) - 3)
                    found[path] = (entry["status"], entry["error"] or entry["skip_reason"])
                self.assertEqual({path: status for path, (status, _) in found.items()},
                                 {path: want if isinstance(want, str) else want[0] for path, want in entries.items()})
                for path, want in entries.items():
                    if not isinstance(want, str):
                        self.assertEqual(found[path][1], want[1])
                if "deep17" in found:
                    self.assertIn("the path is longer than the system opens", found["deep17"][1])
                counts = document["totals"]
                self.assertEqual((counts["files"], counts["skipped"], counts["errors"], counts["albums"]), totals)
                with open(self.path("r.csv"), newline="", encoding="utf-8") as handle:  # valid UTF-8
                    self.assertEqual([row["path"] for row in csv.DictReader(handle)],
                                     [entry["path"] for entry in listed(document)])
                for entry in document["files"]:  # the exact bytes of a name the text had to escape
                    if entry["path_bytes"] is not None:
                        self.assertTrue(os.path.lexists(os.path.join(self.dir.encode(),
                                                                     bytes.fromhex(entry["path_bytes"]))))
                # One line per error, and no control character from a name reaches the console.
                errors = [line for line in result.stderr.split(b"\n") if line.startswith(b"Error: ")]
                self.assertEqual(len(errors), counts["errors"], result.stderr)
                self.assertNotIn(b"\x1b", result.stdout + result.stderr)

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "a pseudo-terminal is POSIX")
    def test_progress_line_fits_the_terminal(self):
        # A long file of silence (sparse) under a name longer than the terminal is wide.
        name = "Some Artist - A Very Long Album Title (Deluxe Remastered Edition)/01 - An Even Longer Track.wav"
        header = bytearray(inputs.wav_bytes([]))
        header[40:44] = (0x40000000).to_bytes(4, "little")
        os.makedirs(self.path(os.path.dirname(name)))
        with open(self.path(name), "wb") as handle:
            handle.write(header)
            handle.truncate(0x40000000 + len(header))
        leader, follower = pty.openpty()
        fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        process = subprocess.Popen([BATCH, "scan", "."], cwd=self.dir, stdout=subprocess.PIPE, stderr=follower)
        os.close(follower)
        drawn = b""
        while True:
            try:
                chunk = os.read(leader, 65536)
            except OSError:
                break
            if not chunk:
                break
            drawn += chunk
        process.communicate(timeout=60)
        os.close(leader)
        lines = [line.decode() for line in drawn.replace(b"\r\n", b"\n").split(b"\r") if line.strip()]
        self.assertTrue(any("..." in line and line.rstrip().endswith(name[-10:]) for line in lines), lines)
        self.assertLessEqual(max(len(line) for line in lines), 79, lines)

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "SIGPIPE is POSIX")
    def test_reports_written_when_stdout_is_gone(self):
        # `qv-hdcd-batch scan coll | head -0`: the reader has left before the album lines, which fill more
        # than the output buffer and so are written before the reports.
        for n in range(100):
            os.makedirs(self.path("coll", "Album %03d" % n))
            inputs.write_file(self, "coll/Album %03d/track.wav" % n, inputs.wav_bytes([]))
        reader, writer = os.pipe()
        os.close(reader)
        status = subprocess.run([BATCH, "scan", "coll", "--json", "r.json"], cwd=self.dir, stdout=writer,
                                stderr=subprocess.PIPE, timeout=60,
                                preexec_fn=lambda: signal.signal(signal.SIGPIPE, signal.SIG_DFL)).returncode
        os.close(writer)
        self.assertNotEqual(status, -signal.SIGPIPE)
        self.assertEqual(harness.read_json(self.path("r.json"))["totals"]["files"], 100)

if __name__ == "__main__":
    harness.main()
