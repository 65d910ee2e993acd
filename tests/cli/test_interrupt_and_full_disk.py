"""Real interrupts and a real full disk during a run.

Interrupts are made deterministic by feeding the input through a named pipe: a
write into the pipe returns only once the program has read what came before, so
the test knows which block the program is at when it sends SIGINT. A full disk
is a file-size limit (with SIGXFSZ ignored, which survives exec) that makes the
program's writes fail part way through."""
import errno
import os
import resource
import signal
import subprocess
import time
import unittest

import harness
import hdcd_inputs

BLOCK_BYTES = 16384 * 4
WAV_HEADER = 44
SKIP_REASON = "needs POSIX signals, named pipes and file-size limits"


def holds_open(pid, path):
    """True while process pid has a descriptor open on path."""
    target = os.path.realpath(path)
    try:
        entries = os.listdir("/proc/%d/fd" % pid)
    except FileNotFoundError:
        return False
    for entry in entries:
        try:
            if os.readlink("/proc/%d/fd/%s" % (pid, entry)) == target:
                return True
        except OSError:
            pass
    return False


def wait_until_closed(process, path):
    # A condition, not a guess at timing: poll until the descriptor is gone.
    while process.poll() is None and holds_open(process.pid, path):
        time.sleep(0.01)


def open_writer(process, path):
    """Opens the pipe for writing once the program has opened it for reading;
    None when the program ends first (then nothing would ever read)."""
    while True:
        try:
            fd = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
            break
        except OSError as error:
            if error.errno != errno.ENXIO:
                raise
            if process.poll() is not None:
                return None
            time.sleep(0.01)
    os.set_blocking(fd, True)
    return os.fdopen(fd, "wb", buffering=0)


def feed(process, path, data, interrupt_after=None):
    """Writes data into the pipe block by block. With interrupt_after = k, sends
    SIGINT once the header and k + 1 blocks are written, which means that the
    program has read the first k blocks, then feeds the rest until the program
    lets go of the pipe."""
    pipe = open_writer(process, path)
    if pipe is None:
        return
    split = len(data) if interrupt_after is None else WAV_HEADER + (interrupt_after + 1) * BLOCK_BYTES
    try:
        with pipe:
            pipe.write(data[:split])
            if interrupt_after is not None:
                process.send_signal(signal.SIGINT)
            for start in range(split, len(data), BLOCK_BYTES):
                pipe.write(data[start:start + BLOCK_BYTES])
    except BrokenPipeError:
        pass


@unittest.skipIf(harness.ON_WINDOWS_BUILD, SKIP_REASON)
class InterruptTest(harness.CliTestCase):
    def start(self, args):
        command = harness.RUNNER + [harness.PROGRAM] + args
        return subprocess.Popen(command, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_interrupt_during_decode(self):
        hdcd_inputs.make_lle(self, "source.wav")
        data = harness.read_bytes(self.path("source.wav"))
        os.remove(self.path("source.wav"))
        fifo = self.path("in.wav")
        for output in ("out.wav", "out.flac"):
            with self.subTest(output):
                os.mkfifo(fifo)
                process = self.start(["in.wav", output])
                # The pre-check stops after the first block, which holds a packet.
                feed(process, fifo, data[:WAV_HEADER + BLOCK_BYTES])
                wait_until_closed(process, fifo)
                feed(process, fifo, data, interrupt_after=2)
                stdout, stderr = process.communicate(timeout=120)
                self.assertEqual(process.returncode, 1, stderr)
                self.assertTrue(stdout.startswith(b"Checking for HDCD... Yes\n"), stdout)
                self.assertNotIn(b"Complete.", stdout)
                self.assertTrue(stderr.startswith(b"\rProgress:   3%\rProgress:   7%"), stderr)
                self.assertTrue(stderr.endswith(b"%\nCancelled.\n"), stderr)
                os.remove(fifo)
                self.assertFiles([])

    def test_interrupt_during_pre_check(self):
        data = hdcd_inputs.wav_bytes(hdcd_inputs.tone_without_hdcd(16384 * 10))
        fifo = self.path("in.wav")
        os.mkfifo(fifo)
        for quiet in (False, True):
            with self.subTest(quiet=quiet):
                process = self.start(["in.wav", "out.wav"] + (["--quiet"] if quiet else []))
                feed(process, fifo, data, interrupt_after=1)
                stdout, stderr = process.communicate(timeout=120)
                self.assertEqual((process.returncode, stdout, stderr),
                                 (130, b"" if quiet else b"Checking for HDCD... cancelled\n", b"Cancelled.\n"))
                self.assertFiles(["in.wav"])


def limit_file_size(limit):
    def apply():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    return apply


@unittest.skipIf(harness.ON_WINDOWS_BUILD, SKIP_REASON)
class FullDiskTest(harness.CliTestCase):
    def run_limited(self, args, limit):
        completed = subprocess.run(harness.RUNNER + [harness.PROGRAM] + args, cwd=self.dir,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   preexec_fn=limit_file_size(limit), timeout=300)
        return harness.Result(completed.returncode, completed.stdout, completed.stderr)

    def test_decode_runs_out_of_space(self):
        hdcd_inputs.make_lle(self)
        cases = [
            ("WAV output, mid-stream", "out.wav", 1000000, b"\nError writing output.\n"),
            ("WAV output, header", "out.wav", 20, b"Error: Unable to create output file.\n"),
        ]
        if hdcd_inputs.HAVE_FLAC_TOOLS:
            hdcd_inputs.to_flac(self, "lle.wav", "lle.flac")
            cases += [
                ("FLAC output", "out.flac", 300000, b"\nError writing FLAC output.\n"),
                ("FLAC to WAV", "out.wav", 1000000, b"\nError writing WAV output.\n"),
            ]
        for name, output, limit, message in cases:
            source = "lle.flac" if name.startswith("FLAC to") else "lle.wav"
            with self.subTest(name):
                result = self.run_limited([source, output, "--quiet"], limit)
                self.assertOutcome(result, 1, b"", message)
                self.assertFalse(os.path.exists(self.path(output)))

    def test_finishing_runs_out_of_space(self):
        # One byte short of the complete file: every block is accepted, and the
        # bytes still buffered or the final header fail at the finish.
        hdcd_inputs.make_lle(self)
        outputs = [("out.wav", b"Error finalizing WAV/RF64 output.\n")]
        if hdcd_inputs.HAVE_FLAC_TOOLS:
            outputs.append(("out.flac", b"Error finalizing FLAC output.\n"))
        for output, message in outputs:
            with self.subTest(output):
                self.assertOutcome(self.run_program(["lle.wav", output, "--quiet"]), 0)
                size = os.path.getsize(self.path(output))
                os.remove(self.path(output))
                self.assertOutcome(self.run_limited(["lle.wav", output, "--quiet"], size - 1), 1, b"", message)
                self.assertFalse(os.path.exists(self.path(output)))

    def test_test_file_generator_runs_out_of_space(self):
        cases = [(1000000, b"Error writing synthetic test WAV.\n"), (20, b"Error: Unable to create output file.\n"),
                 (44 + 4 * hdcd_inputs.LLE_FRAMES - 1, b"Error finalizing synthetic test WAV.\n")]
        for limit, message in cases:
            with self.subTest(limit=limit):
                self.assertOutcome(self.run_limited(["--make-lle-test", "lle.wav"], limit), 1, b"", message)
                self.assertFiles([])


if __name__ == "__main__":
    harness.main()
