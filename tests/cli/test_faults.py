"""Faults during a run: a full disk (a file-size limit, SIGXFSZ ignored), a real SIGINT, unusable inputs
and output locations. A failed run leaves no output or temporary file and its input as it was."""
import errno
import fcntl
import os
import resource
import signal
import struct
import subprocess
import termios
import time
import unittest

import harness
import hdcd_inputs as inputs

BLOCK = 16384 * 4
CREATE = b"Error: Unable to create output file.\n"
WAV = (CREATE, b"\nError writing output.\n", b"Error finalizing WAV/RF64 output.\n")
FLAC = (b"\nError writing FLAC output.\n",) * 2 + (b"Error finalizing FLAC output.\n",)
# (arguments, file written, stderr when the disk fills at its start, middle and finish)
OUTPUT_OPERATIONS = [
    (["--quiet", "in.wav", "out.wav"], "out.wav", WAV),
    (["--eac", "in.wav", "out.flac"], "out.flac", FLAC),
    (["--quiet", "in.flac", "out.flac"], "out.flac", FLAC),
    (["--quiet", "in.flac", "out.wav"], "out.wav", (CREATE, b"\nError writing WAV output.\n", WAV[2])),
    (["--quiet", "--preserve-hdcd", "in.wav", "out.flac"], "out.flac", FLAC),
    (["--quiet", "--preserve-hdcd", "in.flac", "out.wav"], "out.wav",
     (CREATE, b"\nError writing WAV/RF64 output.\n", WAV[2])),
    (["--eac", "in.wav", "in.wav"], "in.wav", WAV),
    (["--eac", "in.flac", "in.flac"], "in.flac", FLAC),
    (["--eac", "--preserve-hdcd", "in.flac", "in.flac"], "in.flac", FLAC),
    (["--make-lle-test", "out.wav"], "out.wav",
     (CREATE, b"Error writing synthetic test WAV.\n", b"Error finalizing synthetic test WAV.\n")),
]
# Operations reading one input, named X.
INPUT_OPERATIONS = [["--scan", "X"], ["X", "out.wav"], ["X", "out.flac"], ["--preserve-hdcd", "X", "out.wav"],
                    ["--preserve-hdcd", "X", "out.flac"], ["--eac", "X", "X"], ["--compare-pcm", "X", "in.wav"]]
AS_ROOT = os.geteuid() == 0  # permission bits do not stop root


def limit_output(limit):
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


def open_pipe(process, path):
    """The writing end of the named pipe path, once the program has opened it for reading."""
    while process.poll() is None:
        try:
            fd = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
        except OSError as error:
            if error.errno != errno.ENXIO:
                raise
            time.sleep(0.01)
            continue
        os.set_blocking(fd, True)
        return os.fdopen(fd, "wb", buffering=0)
    raise AssertionError("the program ended before reading its input")


def put(process, pipe, data):
    """Writes data in atomic pieces, waiting out a moment between two readers."""
    for start in range(0, len(data), 4096):
        while True:
            try:
                pipe.write(data[start:start + 4096])
                break
            except BrokenPipeError:
                if process.poll() is not None:
                    return
                time.sleep(0.01)


# The disk-full table also runs under wine, whose files obey the same limit.
POSIX_ONLY = unittest.skipIf(harness.ON_WINDOWS_BUILD, "POSIX signals, pipes and devices")


class FaultTest(harness.CliTestCase):
    def setUp(self):
        super().setUp()
        inputs.make_lle(self, "in.wav")
        inputs.to_flac(self, "in.wav", "in.flac")

    def state(self):
        """Every entry below the test directory: its bytes if a readable file, else its mode."""
        found = {}
        for root, dirs, files in os.walk(self.dir):
            for name in dirs + files:
                path = os.path.join(root, name)
                plain = os.path.isfile(path) and not os.path.islink(path) and os.access(path, os.R_OK)
                found[os.path.relpath(path, self.dir)] = harness.read_bytes(path) if plain else os.lstat(path).st_mode
        return found

    def run_limited(self, args, limit=None):
        if limit and harness.ON_WINDOWS_BUILD:
            harness.run(["--version"])  # starts the wine server, which must not inherit the limit
        return harness.run(args, cwd=self.dir, timeout=60, preexec_fn=limit_output(limit) if limit else None)

    def assertFailedCleanly(self, args, before, limit=None, stderr=None):
        result = self.run_limited(args, limit)
        self.assertEqual(result.status, 1, result)
        self.assertIn(stderr or b"Error", result.stderr)
        self.assertEqual(self.state(), before)

    def test_disk_full_at_start_middle_and_finish(self):
        before = self.state()
        for args, output, messages in OUTPUT_OPERATIONS:
            self.assertEqual(self.run_limited(args).status, 0, args)
            size = os.path.getsize(self.path(output))
            for name in harness.listing(self.dir):  # back to the inputs alone
                os.remove(self.path(name))
                if name in before:
                    inputs.write_file(self, name, before[name])
            for limit, message in zip((20, size // 2, size - 1), messages):
                with self.subTest(args=args, limit=limit):
                    self.assertFailedCleanly(args, before, limit, message)

    @POSIX_ONLY
    def test_bad_inputs(self):
        for name in ("folder.wav", "folder.flac"):
            os.mkdir(self.path(name))
        for device, link in (("/dev/zero", "zero.flac"), ("/dev/null", "null.flac"), ("/dev/zero", "zero.wav")):
            os.symlink(device, self.path(link))
        flac = harness.read_bytes(self.path("in.flac"))
        inputs.write_file(self, "short.flac", flac[:len(flac) * 2 // 3])
        faults = ["gone.wav", "gone.flac", "folder.wav", "folder.flac", "/dev/null", "/dev/zero",
                  "zero.flac", "null.flac", "zero.wav", "short.flac"]
        if not AS_ROOT:
            for name in ("in.wav", "in.flac"):
                os.link(self.path(name), self.path("locked." + name[3:]))
                os.chmod(self.path(name), 0)
            faults += ["locked.wav", "locked.flac"]
        before = self.state()
        for fault in faults:
            for operation in INPUT_OPERATIONS:
                if fault == "short.flac" and operation[0] == "--compare-pcm":
                    continue  # compares the frames that are there
                args = [fault if a == "X" else a for a in operation]
                with self.subTest(args=args):
                    self.assertFailedCleanly(args, before)

    @POSIX_ONLY
    def test_wav_cut_short_is_read_up_to_its_end(self):
        original = harness.read_bytes(self.path("in.wav"))
        inputs.write_file(self, "short.wav", original[:44 + 4 * 25000 + 3])
        self.assertOutcome(self.run_limited(["--quiet", "--preserve-hdcd", "short.wav", "out.wav"]), 0)
        self.assertEqual(harness.read_bytes(self.path("out.wav"))[44:], original[44:44 + 4 * 25000])

    @POSIX_ONLY
    def test_bad_output_locations(self):
        inputs.write_file(self, "note.txt", b"not a directory")
        os.mkdir(self.path("taken.wav"))
        os.mkdir(self.path("locked"), 0o555)
        outputs = ["missing/out.wav", "note.txt/out.wav", "taken.wav"] + ([] if AS_ROOT else ["locked/out.wav"])
        before = self.state()
        for output in outputs:
            for args, _, _ in OUTPUT_OPERATIONS:
                args = args[:-1] + [output] + ["--overwrite"] * (args[0] != "--make-lle-test")
                with self.subTest(args=args):
                    self.assertFailedCleanly(args, before)

    def interrupt(self, args, data, checked_first):
        """Runs args on a named pipe in.wav fed data, with SIGINT after two blocks of the decode or check."""
        os.remove(self.path("in.wav"))
        fifo = os.path.realpath(self.path("in.wav"))
        os.mkfifo(fifo)
        process = subprocess.Popen(harness.RUNNER + [harness.PROGRAM] + args, cwd=self.dir,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        split = 44 + 3 * BLOCK
        with open_pipe(process, fifo) as pipe:
            if checked_first:
                # The check decides on the first block and reads no further: what
                # follows, even if written before it lets go, is the decode's to read.
                put(process, pipe, data[:44 + BLOCK])
                while process.poll() is None and struct.unpack("i", fcntl.ioctl(pipe, termios.FIONREAD, b"    "))[0]:
                    time.sleep(0.01)
            put(process, pipe, data[:split])
            process.send_signal(signal.SIGINT)
            put(process, pipe, data[split:])
        stdout, stderr = process.communicate(timeout=120)
        self.assertEqual(sorted(self.state()), ["in.flac", "in.wav"])
        return process.returncode, stdout, stderr

    @POSIX_ONLY
    def test_interrupt_during_decode(self):
        lle = harness.read_bytes(self.path("in.wav"))
        for args in (["in.wav", "out.wav"], ["in.wav", "out.flac"], ["--eac", "in.wav", "in.wav"]):
            with self.subTest(args=args):
                status, stdout, stderr = self.interrupt(args, lle, True)
                self.assertEqual(status, 1)
                if args[0] == "--eac":
                    self.assertEqual((stdout, stderr), (b"", b"\nCancelled.\n"))
                else:
                    self.assertTrue(stdout.startswith(b"Checking for HDCD... Yes\n"), stdout)
                    self.assertTrue(stderr.startswith(b"\rProgress:   3%\rProgress:   7%"), stderr)
                    self.assertTrue(stderr.endswith(b"%\nCancelled.\n"), stderr)

    @POSIX_ONLY
    def test_interrupt_during_pre_check(self):
        plain = inputs.wav_bytes(inputs.tone_without_hdcd(16384 * 10))
        for quiet in ([], ["--quiet"]):
            with self.subTest(quiet=quiet):
                self.assertEqual(self.interrupt(["in.wav", "out.wav"] + quiet, plain, False),
                                 (130, b"" if quiet else b"Checking for HDCD... cancelled\n", b"Cancelled.\n"))


if __name__ == "__main__":
    harness.main()
