"""qv-hdcd-batch scan over a generated collection: every file's findings against
`qv-hdcd --scan`, the JSON, CSV and HTML reports (the page rendered by headless
Chromium), --jobs independence, and a real Ctrl+C."""
import csv
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest
import zlib

import soundfile as sf

import harness
import hdcd_inputs as inputs

BATCH = harness.BATCH_PROGRAM
FILE_FIELDS = ["path", "container", "sample_rate", "bits", "frames", "seconds", "status", "error", "hdcd_found",
               "bit_position", "packet_type", "peak_extend_mode", "valid_packets", "packet_errors",
               "peak_extend_packets", "transient_filter_packets", "max_gain_code", "left_packets", "right_packets",
               "timer_expirations", "stereo_mismatch_samples", "first_packet_seconds", "timeline"]
# name: (status, container, bits, bit position)
COLLECTION = {
    "Disc 1/01 lle.wav": ("hdcd", "WAV", 16, 0),
    "Disc 1/02 lle.flac": ("hdcd", "FLAC", 16, 0),
    "Disc 1/03 UPPER.FLAC": ("hdcd", "FLAC", 16, 0),
    "Disc 2 \u00fcn\u00ef/\u03a9 signalling.wav": ("signalling-only", "WAV", 16, 0),
    "Disc 2 \u00fcn\u00ef/sub/deep/rf64 lle.wav": ("hdcd", "RF64", 16, 0),
    "Disc 3/lle24.wav": ("hdcd", "WAV", 24, 8),
    "Disc 3/bad.flac": ("error", "FLAC", 16, -1),
    "Disc 3/mono.wav": ("error", None, 0, -1),
    "Disc 4/plain.wav": ("none", "WAV", 16, -1),
}
VERDICTS = {"Disc 1": "HDCD", "Disc 2 \u00fcn\u00ef": "HDCD signalling only", "Disc 2 \u00fcn\u00ef/sub/deep": "HDCD",
            "Disc 3": "HDCD", "Disc 4": "not HDCD"}
PACKET_TYPES = {0: "None", 1: "A", 2: "B", 3: "Mixed A/B"}
PEAK_EXTEND = {0: "Never", 1: "Intermittent", 2: "Permanent"}


def scan_report(entry):
    """The report `qv-hdcd --scan` prints, rebuilt from a JSON file entry."""
    if not entry["hdcd_found"]:
        return "\nHDCD detected: No\n"
    gain = entry["max_gain_code"] * -0.5 if entry["max_gain_code"] else 0.0
    active = entry["peak_extend_mode"] != 0 or entry["max_gain_code"] != 0
    return ("\nHDCD detected: Yes\nPacket type: %s\nValid packets: %d\n  Left:  %d\n  Right: %d\nPacket errors: %d\n"
            "Peak Extend: %s\nPeak Extend packets: %d\nTransient Filter: %s\nMaximum target gain adjustment: %.1f dB\n"
            "Code-detect timer expirations: %d\nStereo gain mismatch samples: %d\nHDCD processing: %s\n") % (
        PACKET_TYPES[entry["packet_type"]], entry["valid_packets"], entry["left_packets"], entry["right_packets"],
        entry["packet_errors"], PEAK_EXTEND[entry["peak_extend_mode"]], entry["peak_extend_packets"],
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
    for source, target in [(lle, "Disc 1/01 lle.wav"), ("lle.flac", "Disc 1/02 lle.flac"),
                           ("lle.flac", "Disc 1/03 UPPER.FLAC"), ("signalling.wav", "Disc 2 \u00fcn\u00ef/\u03a9 signalling.wav"),
                           ("rf64.wav", "Disc 2 \u00fcn\u00ef/sub/deep/rf64 lle.wav"), ("lle24.wav", "Disc 3/lle24.wav"),
                           ("bad.flac", "Disc 3/bad.flac"), ("mono.wav", "Disc 3/mono.wav"),
                           ("cover.jpg", "Disc 3/cover.jpg"), ("plain.wav", "Disc 4/plain.wav")]:
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
        files = {entry["path"].replace(sep, "/"): entry for entry in document["files"]}
        self.assertEqual(sorted(files), sorted("Music/" + name for name in COLLECTION))
        self.assertEqual([e["path"] for e in document["files"]],
                         sorted((e["path"] for e in document["files"]), key=lambda p: p.encode()))
        self.assertEqual((document["tool"], document["version"], document["cancelled"]), ("qv-hdcd-batch", "1.0.1.0", False))

        for name, (status, container, bits, position) in COLLECTION.items():
            entry = files["Music/" + name]
            with self.subTest(name):
                self.assertEqual(list(entry), FILE_FIELDS)
                self.assertEqual((entry["status"], entry["container"], entry["bits"], entry["bit_position"]),
                                 (status, container, bits, position))
                single = harness.run(["--scan", entry["path"]], cwd=self.dir)
                if status == "error":
                    self.assertEqual(single.status, 1)
                    # After the progress line: "Error: <the reader's message>", or the FLAC decode failure.
                    self.assertTrue(single.stderr.endswith(b"\n" + entry["error"].encode() + b"\n") or
                                    single.stderr == b"Error: %s\n" % entry["error"].encode(), single.stderr)
                    continue
                self.assertEqual(single.status, 0 if entry["hdcd_found"] else 2)
                self.assertEqual(single.stdout.split(b"\nScanning...\n")[1].decode(), scan_report(entry))
                self.assertEqual(entry["frames"], 40000 if "signalling" in name or "plain" in name else 441000)
                timeline = entry["timeline"]
                if status == "none" or bits != 16:
                    self.assertIsNone(timeline)
                    continue
                self.assertEqual((timeline["seconds_per_point"], timeline["points"]),
                                 (0.1, 10 if "signalling" in name else 100))
                self.assertAlmostEqual(entry["first_packet_seconds"], 304 / 44100, places=5)
                expected_gains = {0.0} if status == "signalling-only" else {0.0, -2.0, -4.0}
                self.assertEqual(set(timeline["gain_left_db"]), expected_gains)
                self.assertEqual(timeline["gain_right_db"], timeline["gain_left_db"])
                self.assertEqual(sum(timeline["packet_errors"]) + sum(timeline["timer_lapses"]), 0)

        albums = {a["path"].replace(sep, "/"): a for a in document["albums"]}
        self.assertEqual({path: a["verdict"] for path, a in albums.items()},
                         {"Music/" + name: verdict for name, verdict in VERDICTS.items()})
        self.assertEqual((albums["Music/Disc 3"]["tracks"], albums["Music/Disc 3"]["errors"]), (3, 2))
        totals = document["totals"]
        self.assertEqual([totals[k] for k in ("files", "skipped", "albums", "hdcd_albums", "hdcd_tracks",
                                              "signalling_only_tracks", "errors")], [9, 1, 5, 3, 5, 1, 2])
        self.assertIn(b"[HDCD signalling only] Music%sDisc 2 \xc3\xbcn\xc3\xaf: 1 tracks" % sep.encode(), result.stdout)

        with open(reports[1], newline="", encoding="utf-8") as handle:
            rows = list(csv.DictReader(handle))
        self.assertEqual([row["path"] for row in rows], [e["path"] for e in document["files"]])
        for row, entry in zip(rows, document["files"]):
            self.assertEqual((row["status"], row["error"], int(row["valid_packets"]), int(row["bit_position"])),
                             (entry["status"], entry["error"] or "", entry["valid_packets"], entry["bit_position"]))

        page = harness.read_bytes(reports[2])
        self.assertLessEqual(len(page), 8000 + 40000 * 5 + 1000 * 4)
        self.assertTrue(shutil.which("chromium"), "the report is rendered by chromium, which make test installs")
        text = chromium(reports[2], self.dir, "--dump-dom").decode()
        for verdict in ["HDCD signalling only", "not HDCD", "Disc 2 \u00fcn\u00ef", "Transient Filter"]:
            self.assertIn(verdict, text)
        self.assertEqual(text.count("<svg"), 4)  # the HDCD PCM16 tracks
        chromium(reports[2], self.dir, "--screenshot=" + self.path("page.png"))
        self.assertFalse(png_is_blank(self.path("page.png")))
        if os.environ.get("QV_KEEP_SCREENSHOT"):
            shutil.copyfile(self.path("page.png"), os.environ["QV_KEEP_SCREENSHOT"])

        _, one_job, one_reports = self.scan(1, "one")
        self.assertEqual(without_elapsed(one_job), without_elapsed(document))
        self.assertEqual(harness.read_bytes(one_reports[1]), harness.read_bytes(reports[1]))
        self.assertEqual(sorted(n for n in os.listdir(self.dir) if "qv-hdcd-batch" in n), [])

    def test_argument_errors(self):
        for args, message in [(["scan"], b"Error: no PATH given\n"),
                              (["scan", "Music", "--jobs", "0"], b"Error: --jobs takes a number from 1 to 256, not 0\n"),
                              (["scan", "Music", "--json"], b"Error: --json needs a value\n"),
                              (["scan", "Missing"], b"Error: No such file or folder: Missing\n"),
                              (["scan", "Music", "--frobnicate"], b"Error: unknown option --frobnicate\n"),
                              (["list", "Music"], b"Error: unknown command list\n")]:
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

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "a FIFO and SIGINT are POSIX")
    def test_interrupt_abandons_the_file_in_progress(self):
        fifo = self.path("stream.wav")
        os.mkfifo(fifo)
        header = bytearray(inputs.wav_bytes([]))
        header[40:44] = (0xFFFFFFF0).to_bytes(4, "little")  # claims hours of audio, fed slowly
        opened = threading.Event()

        def feed():
            try:
                with open(fifo, "wb") as pipe:
                    opened.set()
                    pipe.write(header)
                    while True:
                        pipe.write(b"\0" * 65536)
                        time.sleep(0.01)
            except (BrokenPipeError, OSError):
                pass

        feeder = threading.Thread(target=feed, daemon=True)
        feeder.start()
        process = subprocess.Popen(harness.RUNNER + [BATCH, "scan", "Music", "stream.wav", "--jobs", "2",
                                                     "--json", "r.json", "--html", "r.html"],
                                   cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertTrue(opened.wait(30))
        time.sleep(0.5)
        process.send_signal(signal.SIGINT)
        stdout, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 130, stderr)
        self.assertIn(b"Cancelled.", stderr)
        document = harness.read_json(self.path("r.json"))
        self.assertTrue(document["cancelled"])
        self.assertNotIn("stream.wav", [e["path"] for e in document["files"]])
        self.assertIn(b"Cancelled", harness.read_bytes(self.path("r.html")))
        self.assertEqual([n for n in os.listdir(self.dir) if "qv-hdcd-batch" in n], [])


if __name__ == "__main__":
    harness.main()
