"""Real faults around every operation: the disk filling up at the start, in
the middle and at the end of the output, inputs that cannot be read, are cut
short or are not files, and output locations that cannot be written. Each run
must end with an error on stderr and status 1, leave no partial output behind
and leave its input byte for byte as it was.

The disk is "filled" with a file-size limit (RLIMIT_FSIZE, SIGXFSZ ignored),
so that writes past the limit fail with EFBIG the way they fail on a full disk.
"""
import math
import os
import resource
import shutil
import signal
import struct
import subprocess
import tempfile
import unittest

import harness

RATE = 44100
FRAMES = 60000  # four blocks
POSIX_ONLY = unittest.skipIf(harness.ON_WINDOWS_BUILD, "file-size limits and device paths are POSIX faults")
AS_ROOT = hasattr(os, "geteuid") and os.geteuid() == 0
NOT_ROOT = unittest.skipIf(AS_ROOT, "permission bits do not stop root")
HEADER_LIMIT = 20          # below the 44-byte WAV header and FLAC's metadata
TIMEOUT = 60               # a fault must never turn into a hang


def signalling_bits(frames):
    """Descrambled bits of a type B packet (Peak Extend, gain code 4) every 1000 frames."""
    packet = [(0x7E0FA006 >> (31 - i)) & 1 for i in range(32)]
    packet += [(0x14 >> (7 - i)) & 1 for i in range(8)] + [(0xEB >> (7 - i)) & 1 for i in range(8)]
    bits = [0] * frames
    for start in range(100, frames - len(packet), 1000):
        bits[start:start + len(packet)] = packet
    return bits


def scrambled(bits):
    raw = []
    for n, bit in enumerate(bits):
        if n >= 5:
            bit ^= raw[n - 5]
        if n >= 23:
            bit ^= raw[n - 23]
        raw.append(bit)
    return raw


def hdcd_samples(frames):
    raw = scrambled(signalling_bits(frames))
    values = []
    for n in range(frames):
        left = int(math.sin(n * 0.0712) * 30000)
        right = int(math.sin(n * 0.0712 + 0.4) * 9000)
        values.append((left & ~1) | raw[n])
        values.append((right & ~1) | raw[n])
    return values


def wav_bytes(values):
    data = struct.pack("<%dh" % len(values), *values)
    fmt = struct.pack("<HHIIHH", 1, 2, RATE, RATE * 4, 4, 16)
    return (b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt
            + b"data" + struct.pack("<I", len(data)) + data)


def limit_output(limit):
    """preexec_fn: writes past `limit` bytes fail with EFBIG instead of killing the process."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


# (name, arguments, output file or None). Inputs are in.wav (PCM16 HDCD) and
# in.flac (the same samples as FLAC).
OUTPUT_OPERATIONS = [
    ("decode WAV to WAV", ["in.wav", "out.wav"], "out.wav"),
    ("decode WAV to FLAC", ["in.wav", "out.flac"], "out.flac"),
    ("decode FLAC to FLAC", ["in.flac", "out.flac"], "out.flac"),
    ("decode FLAC to WAV", ["in.flac", "out.wav"], "out.wav"),
    ("preserve WAV to FLAC", ["in.wav", "out.flac", "--preserve-hdcd"], "out.flac"),
    ("preserve FLAC to WAV", ["in.flac", "out.wav", "--preserve-hdcd"], "out.wav"),
    ("EAC decode in place, WAV", ["--eac", "in.wav", "in.wav"], "in.wav"),
    ("EAC decode in place, FLAC", ["--eac", "in.flac", "in.flac"], "in.flac"),
    ("EAC preserve in place, FLAC", ["--eac", "--preserve-hdcd", "in.flac", "in.flac"], "in.flac"),
    ("test-file generator", ["--make-lle-test", "out.wav"], "out.wav"),
]

# Operations that read one input named by the placeholder INPUT.
INPUT_OPERATIONS = [
    ("scan", ["--scan", "INPUT"]),
    ("decode to WAV", ["INPUT", "out.wav"]),
    ("decode to FLAC", ["INPUT", "out.flac"]),
    ("preserve to WAV", ["INPUT", "out.wav", "--preserve-hdcd"]),
    ("preserve to FLAC", ["INPUT", "out.flac", "--preserve-hdcd"]),
    ("EAC in place", ["--eac", "INPUT", "INPUT"]),
    ("compare", ["--compare-pcm", "INPUT", "in.wav"]),
]


@POSIX_ONLY
class FaultTestCase(harness.CliTestCase):
    @classmethod
    def setUpClass(cls):
        cls.sources = tempfile.mkdtemp(prefix="qv-hdcd-faults-")
        values = hdcd_samples(FRAMES)
        with open(os.path.join(cls.sources, "in.wav"), "wb") as handle:
            handle.write(wav_bytes(values))
        import numpy
        import soundfile
        frames = numpy.array(values, dtype=numpy.int16).reshape(-1, 2)
        soundfile.write(os.path.join(cls.sources, "in.flac"), frames, RATE, subtype="PCM_16", format="FLAC")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.sources, ignore_errors=True)

    def setUp(self):
        super().setUp()
        for name in ("in.wav", "in.flac"):
            shutil.copyfile(os.path.join(self.sources, name), self.path(name))
        self.originals = {name: harness.read_bytes(self.path(name)) for name in ("in.wav", "in.flac")}

    def run_limited(self, args, limit=None):
        command = harness.RUNNER + [harness.PROGRAM] + list(args)
        completed = subprocess.run(command, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   timeout=TIMEOUT, preexec_fn=limit_output(limit) if limit else None)
        return harness.Result(completed.returncode, completed.stdout, completed.stderr)

    def assertFailedCleanly(self, result, leftovers=()):
        """Status 1, an error line, nothing left but the inputs (and `leftovers`), inputs unchanged."""
        self.assertEqual(result.status, 1, result)
        self.assertRegex(result.stderr, rb"(^|\n)Error", result)
        self.assertEqual(harness.listing(self.dir), sorted(["in.flac", "in.wav"] + list(leftovers)))
        for name, original in self.originals.items():
            self.assertEqual(harness.read_bytes(self.path(name)), original, "%s changed" % name)


class DiskFullTest(FaultTestCase):
    def test_output_cut_off_at_start_middle_and_finish(self):
        for name, args, output in OUTPUT_OPERATIONS:
            with self.subTest(name):
                complete = self.run_limited(args)
                self.assertEqual(complete.status, 0, complete)
                size = os.path.getsize(self.path(output))
                # Put the inputs back (the in-place runs replaced theirs) and
                # clear the output for the failing runs.
                for path in harness.listing(self.dir):
                    os.remove(self.path(path))
                self.restore_inputs()
                for where, limit in (("start", HEADER_LIMIT), ("middle", size // 2), ("finish", size - 1)):
                    with self.subTest(name + ", " + where):
                        self.assertFailedCleanly(self.run_limited(args, limit))

    def restore_inputs(self):
        for name, original in self.originals.items():
            with open(self.path(name), "wb") as handle:
                handle.write(original)


class BadInputTest(FaultTestCase):
    def check_input_fault(self, input_name, leftovers):
        for name, args in INPUT_OPERATIONS:
            with self.subTest(name, input=input_name):
                self.assertFailedCleanly(self.run_limited([input_name if a == "INPUT" else a for a in args]),
                                         leftovers)

    def test_missing_input(self):
        self.check_input_fault("gone.wav", [])
        self.check_input_fault("gone.flac", [])

    def test_directory_as_input(self):
        for name in ("folder.wav", "folder.flac"):
            os.mkdir(self.path(name))
            self.check_input_fault(name, [])
            self.assertTrue(os.path.isdir(self.path(name)))

    def test_devices_as_input(self):
        # Endless or empty devices, under their own name and behind a FLAC name.
        self.check_input_fault("/dev/null", [])
        self.check_input_fault("/dev/zero", [])
        links = []
        for device, link in (("/dev/zero", "zero.flac"), ("/dev/null", "null.flac"), ("/dev/zero", "zero.wav")):
            os.symlink(device, self.path(link))
            links.append(link)
            self.check_input_fault(link, links)

    @NOT_ROOT
    def test_unreadable_input(self):
        for name in ("in.wav", "in.flac"):
            os.chmod(self.path(name), 0)
            try:
                for operation, args in INPUT_OPERATIONS:
                    if name == "in.wav" and operation == "compare":
                        continue
                    with self.subTest(operation, input=name):
                        result = self.run_limited([name if a == "INPUT" else a for a in args])
                        self.assertEqual(result.status, 1, result)
                        self.assertIn(b"Error", result.stderr)
                        self.assertEqual(harness.listing(self.dir), ["in.flac", "in.wav"])
            finally:
                os.chmod(self.path(name), 0o644)

    def test_flac_cut_short_in_its_data(self):
        # The decoder notices the missing frames (and the MD5 signature that no
        # longer matches): every conversion fails and removes its output.
        original = self.originals["in.flac"]
        with open(self.path("short.flac"), "wb") as handle:
            handle.write(original[:len(original) * 2 // 3])
        self.originals["short.flac"] = harness.read_bytes(self.path("short.flac"))
        for name, args in INPUT_OPERATIONS:
            if name == "compare":
                continue
            with self.subTest(name):
                result = self.run_limited(["short.flac" if a == "INPUT" else a for a in args])
                self.assertEqual(result.status, 1, result)
                self.assertIn(b"Error", result.stderr)
                self.assertEqual(harness.listing(self.dir), ["in.flac", "in.wav", "short.flac"])
                self.assertEqual(harness.read_bytes(self.path("short.flac")), self.originals["short.flac"])

    def test_wav_cut_short_in_its_data(self):
        # A WAV that ends before its data chunk says is read up to where it
        # ends: the output holds every frame that is there, the input stays.
        original = self.originals["in.wav"]
        kept_frames = 25000
        with open(self.path("short.wav"), "wb") as handle:
            handle.write(original[:44 + 4 * kept_frames + 3])
        short = harness.read_bytes(self.path("short.wav"))
        result = self.run_limited(["short.wav", "out.wav", "--preserve-hdcd"])
        self.assertEqual(result.status, 0, result)
        self.assertEqual(harness.read_bytes(self.path("out.wav"))[44:], original[44:44 + 4 * kept_frames])
        self.assertEqual(harness.read_bytes(self.path("short.wav")), short)


class BadOutputLocationTest(FaultTestCase):
    def check_output_fault(self, output, leftovers):
        for name, args, _ in OUTPUT_OPERATIONS:
            if args[0] == "--eac":
                continue  # writes beside its input, whose directory is writable here
            replaced = [output if a in ("out.wav", "out.flac") else a for a in args]
            if args[0] != "--make-lle-test":
                replaced.append("--overwrite")
            with self.subTest(name, output=output):
                self.assertFailedCleanly(self.run_limited(replaced), leftovers)

    def test_missing_directory(self):
        self.check_output_fault(os.path.join("missing", "out.wav"), [])

    def test_parent_is_a_file(self):
        with open(self.path("note.txt"), "wb") as handle:
            handle.write(b"not a directory")
        self.originals["note.txt"] = b"not a directory"
        self.check_output_fault(os.path.join("note.txt", "out.wav"), ["note.txt"])

    def test_output_is_a_directory(self):
        # --overwrite replaces files, never a directory that stands in the way.
        os.mkdir(self.path("taken.wav"))
        self.check_output_fault("taken.wav", [])
        self.assertTrue(os.path.isdir(self.path("taken.wav")))

    @NOT_ROOT
    def test_read_only_directory(self):
        os.mkdir(self.path("locked"))
        os.chmod(self.path("locked"), 0o555)
        try:
            self.check_output_fault(os.path.join("locked", "out.wav"), [])
        finally:
            os.chmod(self.path("locked"), 0o755)


if __name__ == "__main__":
    unittest.main()
