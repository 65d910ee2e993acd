"""Faults during a run: a full disk (a file-size limit, SIGXFSZ ignored), a real SIGINT and failing system
calls (injected by strace), unusable inputs and output locations, pipes, closed or vanishing console streams.
A failed run leaves no output or temporary file, its input as it was, and nothing it did not create removed."""
import os
import resource
import signal
import struct
import subprocess
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
        # The program ignores SIGXFSZ itself; wine's own processes are spared it here.
        if harness.ON_WINDOWS_BUILD:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


def limit_memory(limit):
    return lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


def close_console_streams():
    os.close(1)
    os.close(2)


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

    def run_limited(self, args, limit=None, prepare=None, trace=(), stdin=None, timeout=60, program=None):
        """Runs args with a file-size limit, or prepare run in the child, or under strace with trace options."""
        if limit and harness.ON_WINDOWS_BUILD:
            harness.run(["--version"])  # starts the wine server, which must not inherit the limit
        if not trace:
            return harness.run(args, cwd=self.dir, stdin=stdin, timeout=timeout, program=program,
                               preexec_fn=limit_output(limit) if limit else prepare)
        # The leak checker of a sanitized build cannot run under a tracer.
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        completed = subprocess.run(["strace", "-f", "-qq", "-o", "/dev/null", *trace, *harness.RUNNER,
                                    program or harness.PROGRAM, *args], cwd=self.dir, input=stdin, capture_output=True,
                                   timeout=timeout, env=env, preexec_fn=prepare)
        return harness.Result(completed.returncode, completed.stdout, completed.stderr)

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

    def test_failed_creation_keeps_the_file_it_would_replace(self):
        # libFLAC refuses the rate once the file is open; a WAV header meets a full disk.
        fast = bytearray(harness.read_bytes(self.path("in.wav")))
        struct.pack_into("<II", fast, 24, 100001, 100001 * 4)
        inputs.write_file(self, "fast.wav", fast)
        for args, limit in ((["fast.wav", "old.flac"], None), (["in.wav", "old.wav"], 20)):
            inputs.write_file(self, args[1], b"old contents")
            before = self.state()
            with self.subTest(args=args):
                self.assertFailedCleanly(["--quiet", "--overwrite"] + args, before, limit)

    @POSIX_ONLY
    def test_pipes_and_folders_as_output_are_refused_before_reading(self):
        os.symlink("/proc/self/fd/1", self.path("stdout.wav"))
        os.mkfifo(self.path("fifo.wav"))
        os.mkdir(self.path("folder.wav"))
        before = self.state()
        # Never opened, so never waited on, and never removed.
        for args, what in (([], b"a named pipe"), (["--eac"], b"a named pipe"), (["--make-lle-test"], b"a named pipe")):
            for output in ("stdout.wav", "fifo.wav", "folder.wav"):
                with self.subTest(args=args, output=output):
                    kind = b"a folder" if output == "folder.wav" else what
                    command = args + [output] if args == ["--make-lle-test"] else args + ["--overwrite", "in.wav", output]
                    result = self.run_limited(command, timeout=20)
                    self.assertOutcome(result, 1, b"", b"Error: the output path is " + kind +
                                       b", not a file that can be written.\n")
                    self.assertEqual(self.state(), before)

    @POSIX_ONLY
    def test_pipes_as_input_and_output(self):
        os.mkfifo(self.path("fifo.wav"))
        wav = harness.read_bytes(self.path("in.wav"))
        # A conversion reads its input twice, which a pipe cannot give: refused before anything is read.
        for args in (["fifo.wav", "out.wav"], ["/dev/stdin", "out.wav"]):
            with self.subTest(args=args):
                self.assertOutcome(self.run_limited(args, stdin=wav, timeout=20), 1,
                                   b"Checking for HDCD... failed\n", b"Error: Unable to open input file.\n")
        # The existing-output probe does not wait for a writer.
        self.assertOutcome(self.run_limited(["in.wav", "fifo.wav"], timeout=20), 1, inputs.CHECK_YES, inputs.EXISTS)
        self.assertEqual(self.run_limited(["--scan", "/dev/stdin", "--quiet"], stdin=wav).status, 0)

    @POSIX_ONLY
    def test_closed_or_vanishing_console_streams_leave_the_output_whole(self):
        self.assertEqual(self.run_limited(["--quiet", "in.wav", "ref.wav"]).status, 0)
        reference = harness.read_bytes(self.path("ref.wav"))
        self.assertOutcome(self.run_limited(["in.wav", "closed.wav"], prepare=close_console_streams), 0)
        # A console reader that stops after the first byte.
        process = subprocess.Popen(harness.RUNNER + [harness.PROGRAM, "in.wav", "gone.wav"], cwd=self.dir,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        process.stdout.read(1)
        process.stdout.close()
        self.assertEqual(process.wait(timeout=60), 0)
        for name in ("closed.wav", "gone.wav"):
            self.assertEqual(harness.read_bytes(self.path(name)), reference, name)

    @POSIX_ONLY
    def test_failed_sync_of_the_moved_file_or_its_directory(self):
        original = harness.read_bytes(self.path("in.wav"))
        self.assertEqual(self.run_limited(["--quiet", "in.wav", "ref.wav"]).status, 0)
        # The file is synced before the rename (1), its directory after it (2): only the first stops the move.
        for when, status, result in ((1, 1, original), (2, 0, harness.read_bytes(self.path("ref.wav")))):
            with self.subTest(when=when):
                moved = self.run_limited(["--eac", "in.wav", "in.wav"],
                                         trace=["-e", "inject=fsync:error=EIO:when=%d" % when])
                self.assertEqual(moved.status, status, moved)
                self.assertEqual(harness.read_bytes(self.path("in.wav")), result)
                self.assertEqual(sorted(self.state()), ["in.flac", "in.wav", "ref.wav"])
                inputs.write_file(self, "in.wav", original)

    # Both programs writing one output over an older file: (program, arguments, output, its temporary name).
    def writers(self):
        os.mkdir(self.path("M"))
        os.link(self.path("in.wav"), self.path("M", "a.wav"))
        os.mkdir(self.path("Out"))
        return [(harness.PROGRAM, ["--eac", "in.wav", "Out/dest.flac"], "Out/dest.flac",
                 "Out/dest.qv-hdcd-eac.tmp.flac"),
                (harness.BATCH_PROGRAM, ["decode", "M", "--to", "Out", "--overwrite", "--jobs", "1"],
                 "Out/a.flac", "Out/a.qv-hdcd-batch.tmp.flac")]

    @POSIX_ONLY
    def test_signals_leave_the_final_name_as_it_was(self):
        for program, args, output, temporary in self.writers():
            inputs.write_file(self, output, b"old contents")
            before = self.state()
            # Delivered as the output's third write: a second Ctrl+C ends a run whose first one only asked.
            for name, when in (("SIGTERM", "3"), ("SIGHUP", "3"), ("SIGINT", "3+"), ("SIGKILL", "3")):
                with self.subTest(program=os.path.basename(program), signal=name):
                    trace = ["-P", self.path(temporary), "-e", "trace=write",
                             "-e", "inject=write:signal=%s:when=%s" % (name, when)]
                    result = self.run_limited(args, trace=trace, program=program)
                    self.assertEqual(result.status, -getattr(signal, name), result)
                    left = {name: value for name, value in self.state().items() if name != temporary}
                    self.assertEqual(left, before)  # the old file is whole; only a kill leaves the temporary one
                    self.assertEqual(os.path.exists(self.path(temporary)), name == "SIGKILL")
                    if os.path.exists(self.path(temporary)):
                        os.remove(self.path(temporary))
            with self.subTest(program=os.path.basename(program), signal="SIGXFSZ"):
                result = self.run_limited(args, limit=300000, program=program)
                self.assertEqual(result.status, 1, result)
                self.assertEqual(self.state(), before)

    @POSIX_ONLY
    def test_things_planted_at_the_output_names(self):
        inputs.write_file(self, "victim", b"not to be touched")
        plants = [("link", lambda at: os.symlink(self.path("victim"), at)),
                  ("dangling link", lambda at: os.symlink(self.path("nowhere"), at)),
                  ("pipe", os.mkfifo), ("folder", os.mkdir)]
        for program, args, output, temporary in self.writers():
            self.assertEqual(self.run_limited(args, program=program).status, 0)
            reference = harness.read_bytes(self.path(output))
            # A new output gets the usual bits of a new file, not the private ones of its temporary file.
            self.assertEqual(os.stat(self.path(output)).st_mode & 0o777, 0o644)
            for (kind, plant), at in [(p, temporary) for p in plants] + [(plants[0], output), (plants[1], output)]:
                with self.subTest(program=os.path.basename(program), kind=kind, at=at):
                    if os.path.lexists(self.path(output)):
                        os.remove(self.path(output))
                    plant(self.path(at))
                    before = {name: value for name, value in self.state().items() if name != output}
                    result = self.run_limited(args, timeout=20, program=program)
                    self.assertEqual(result.status, 0, result)
                    self.assertEqual(harness.read_bytes(self.path(output)), reference)
                    self.assertFalse(os.path.islink(self.path(output)))
                    after = {name: value for name, value in self.state().items() if name != output}
                    self.assertEqual(after, before)  # what was planted is there and untouched
                    if at == temporary:
                        (os.rmdir if kind == "folder" else os.remove)(self.path(temporary))
            # Without --overwrite a file that appears while the output is written is kept: the run fails.
            os.remove(self.path(output))
            quiet = [a for a in args if a not in ("--eac", "--overwrite")] + (["--quiet"] if args[0] == "--eac" else [])
            status, stdout, stderr = self.while_writing(program, quiet, temporary,
                                                        lambda: inputs.write_file(self, output, b"appeared meanwhile"))
            self.assertEqual(harness.read_bytes(self.path(output)), b"appeared meanwhile")
            self.assertFalse(os.path.exists(self.path(temporary)))
            if program == harness.PROGRAM:
                self.assertEqual((status, stderr), (1, inputs.EXISTS), stdout)
            else:
                self.assertIn(b" 1 exist,", stdout)
            # The output folder swapped for a link meanwhile: the output still lands in the folder first looked at.
            os.remove(self.path(output))
            os.mkdir(self.path("Elsewhere"))

            def swap():
                os.rename(self.path("Out"), self.path("Out.old"))
                os.symlink(self.path("Elsewhere"), self.path("Out"))
            status, stdout, stderr = self.while_writing(program, quiet, temporary, swap)
            self.assertEqual(status, 0, stdout + stderr)
            self.assertEqual(harness.listing(self.path("Elsewhere")), [])
            self.assertEqual(harness.read_bytes(self.path("Out.old", os.path.basename(output))), reference)
            os.remove(self.path("Out"))
            os.rename(self.path("Out.old"), self.path("Out"))
            os.rmdir(self.path("Elsewhere"))

    def while_writing(self, program, args, temporary, action):
        """Runs the program with its second write to the temporary output held up a second, doing action
        as soon as the temporary file exists; returns the status, stdout and stderr."""
        trace = ["-P", self.path(temporary), "-e", "trace=write", "-e", "inject=write:delay_enter=1000000:when=2"]
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        process = subprocess.Popen(["strace", "-f", "-qq", "-o", "/dev/null", *trace, program, *args],
                                   cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        deadline = time.time() + 20
        while not os.path.exists(self.path(temporary)) and time.time() < deadline:
            time.sleep(0.01)
        action()
        stdout, stderr = process.communicate(timeout=60)
        return process.returncode, stdout, stderr

    @POSIX_ONLY
    def test_read_errors_are_errors(self):
        path = os.path.realpath(self.path("in.wav"))
        inputs.write_file(self, "ref.wav", b"")
        os.mkdir(self.path("M"))
        os.link(path, self.path("M", "in.wav"))
        before = self.state()
        message = b"Error reading the input file.\n"
        # The fifth read lies in the decode, past the check before it.
        for program, args, stderr in ((None, ["in.wav", "out.wav"], message), (None, ["--eac", "in.wav", "in.wav"], message),
                                      (None, ["--preserve-hdcd", "in.wav", "out.flac"], message),
                                      (None, ["--scan", "in.wav"], message),
                                      (harness.BATCH_PROGRAM, ["decode", "M", "--to", "Out"], b"Error reading the input file")):
            with self.subTest(args=args):
                trace = ["-P", path, "-P", self.path("M", "in.wav"), "-e", "trace=read",
                         "-e", "inject=read:error=EIO:when=%d" % (2 if args[0] == "--scan" else 5)]
                result = self.run_limited(args, trace=trace, program=program)
                self.assertEqual(result.status, 1, result)
                self.assertIn(stderr, result.stderr)
                self.assertEqual({n: v for n, v in self.state().items() if n != "Out"}, before)
                self.assertEqual(harness.listing(self.path("Out")) if os.path.exists(self.path("Out")) else [], [])

    @POSIX_ONLY
    @unittest.skipIf("ASAN_OPTIONS" in os.environ, "the sanitizer's shadow memory is beyond any such limit")
    def test_out_of_memory_ends_the_run_cleanly(self):
        before = self.state()
        said = set()
        # From too little to start at all to enough for the whole run: every failure in between is one line.
        for kilobytes in range(5632, 7680, 256):
            with self.subTest(kilobytes=kilobytes):
                result = self.run_limited(["--quiet", "in.wav", "out.flac"], prepare=limit_memory(kilobytes << 10))
                self.assertIn(result.status, (0, 1, 127), result)
                if result.status == 1:
                    self.assertEqual((result.stderr[:7], result.stderr.count(b"\n")), (b"Error: ", 1), result)
                    self.assertEqual(self.state(), before)
                    said.add(result.stderr)
                elif result.status == 0:
                    os.remove(self.path("out.flac"))
        self.assertIn(b"Error: out of memory.\n", said)

    def interrupt(self, args, data, opening):
        """Runs args on in.wav holding data, with SIGINT as the run opens in.wav for the given time."""
        inputs.write_file(self, "in.wav", data)
        path = os.path.realpath(self.path("in.wav"))
        result = self.run_limited([path if a == "in.wav" else a for a in args],
                                  trace=["-P", path, "-e", "trace=openat",
                                         "-e", "inject=openat:signal=SIGINT:when=%d" % opening])
        self.assertEqual(self.state(), {"in.flac": harness.read_bytes(self.path("in.flac")), "in.wav": data})
        return result.status, result.stdout, result.stderr

    @POSIX_ONLY
    def test_interrupt_during_decode(self):
        lle = harness.read_bytes(self.path("in.wav"))
        for args in (["in.wav", "out.wav"], ["in.wav", "out.flac"], ["--eac", "in.wav", "in.wav"]):
            with self.subTest(args=args):
                # Delivered as the decode opens its input: the first block is still finished.
                status, stdout, stderr = self.interrupt(args, lle, 2)
                self.assertEqual(status, 1)
                if args[0] == "--eac":
                    self.assertEqual((stdout, stderr), (b"", b"\nCancelled.\n"))
                else:
                    self.assertTrue(stdout.startswith(inputs.CHECK_YES), stdout)
                    self.assertEqual(stderr, b"\rProgress:   3%\nCancelled.\n")

    @POSIX_ONLY
    def test_interrupt_during_pre_check(self):
        plain = inputs.wav_bytes(inputs.tone_without_hdcd(16384 * 10))
        for quiet in ([], ["--quiet"]):
            with self.subTest(quiet=quiet):
                self.assertEqual(self.interrupt(["in.wav", "out.wav"] + quiet, plain, 1),
                                 (130, b"" if quiet else b"Checking for HDCD... cancelled\n", b"Cancelled.\n"))


if __name__ == "__main__":
    harness.main()
