"""--eac runs, and runs whose output is their own input: the input is only ever
replaced by a complete output, and no temporary file outlives a run."""
import os
import resource
import signal
import stat
import subprocess
import unittest

import numpy as np

import harness
import hdcd_inputs as inputs

POSIX_ONLY = unittest.skipIf(harness.ON_WINDOWS_BUILD, "uses POSIX links, signals and limits")
NO_TEMP_NAME = b"Error: could not create a safe EAC temporary output path.\n"
EMPTY_OUTPUT = b"Error: EAC requested output was not created or is empty.\n"
EXISTS = b"Error: output file exists. Use --overwrite to replace it.\n"


class EacCase(harness.CliTestCase):
    def setUp(self):
        super().setUp()
        inputs.make_lle(self)
        # What a plain run to a fresh file writes: the runs under test must match it.
        for name in ("ref.wav", "ref.flac"):
            self.assertEqual(self.run_program(["--quiet", "lle.wav", name]).status, 0)
        self.lle = harness.read_bytes(self.path("lle.wav"))

    def fresh_input(self, name):
        if name.endswith(".flac"):
            inputs.to_flac(self, "lle.wav", name)
        else:
            inputs.write_file(self, name, self.lle)
        return harness.read_bytes(self.path(name))

    def assertDecoded(self, name):
        """name holds the decode of the synthetic file, as a plain run writes it."""
        reference = "ref.flac" if name.lower().endswith(".flac") else "ref.wav"
        if reference == "ref.wav":
            self.assertEqual(harness.read_bytes(self.path(name)), harness.read_bytes(self.path(reference)))
        else:
            np.testing.assert_array_equal(inputs.read_pcm(self.path(name))[0],
                                          inputs.read_pcm(self.path(reference))[0])

    def assertNoTemporary(self):
        leftovers = [name for name in harness.listing(self.dir) if "qv-hdcd-eac" in name]
        self.assertEqual(leftovers, [])


class SameFileSuccessTest(EacCase):
    def test_one_file_as_input_and_output_ends_up_decoded(self):
        cases = [
            # (input, output as named on the command line)
            ("in.wav", "in.wav"),
            ("in.flac", "in.flac"),
            ("./in.wav", "in.wav"),
            ("in.flac", "{dir}/in.flac"),
            ("sub/../in.wav", "{dir}/./in.wav"),
        ]
        for source, target in cases:
            with self.subTest(source=source, target=target):
                name = os.path.basename(source)
                os.makedirs(self.path("sub"), exist_ok=True)
                self.fresh_input(name)
                result = self.run_program(["--eac", source, target.format(dir=self.dir)])
                self.assertOutcome(result, 0)
                self.assertDecoded(name)
                self.assertNoTemporary()

    @POSIX_ONLY
    def test_links_to_the_input_go_through_the_temporary_file(self):
        for kind in ("wav", "flac"):
            for link in ("soft", "hard"):
                with self.subTest(kind=kind, link=link):
                    source, target = "in." + kind, link + "." + kind
                    original = self.fresh_input(source)
                    if os.path.lexists(self.path(target)):
                        os.remove(self.path(target))
                    if link == "soft":
                        os.symlink(source, self.path(target))
                    else:
                        os.link(self.path(source), self.path(target))
                    self.assertOutcome(self.run_program(["--eac", source, target]), 0)
                    # The output name now holds the decode; the input was never written.
                    self.assertDecoded(target)
                    self.assertFalse(os.path.islink(self.path(target)))
                    self.assertEqual(harness.read_bytes(self.path(source)), original)
                    self.assertNoTemporary()

    def test_preserve_in_place_keeps_the_samples(self):
        for name in ("in.wav", "in.flac"):
            with self.subTest(name=name):
                self.fresh_input(name)
                self.assertOutcome(self.run_program(["--eac", "--preserve-hdcd", name, "./" + name]), 0)
                np.testing.assert_array_equal(inputs.read_pcm(self.path(name), shift=16)[0],
                                              inputs.read_pcm(self.path("lle.wav"), shift=16)[0])
                self.assertNoTemporary()

    @POSIX_ONLY
    def test_names_differing_in_case_are_two_files_here(self):
        self.fresh_input("in.wav")
        self.assertOutcome(self.run_program(["--eac", "in.wav", "IN.WAV"]), 0)
        self.assertDecoded("IN.WAV")
        self.assertEqual(harness.read_bytes(self.path("in.wav")), self.lle)
        self.assertNoTemporary()

    def test_without_eac_same_file_needs_overwrite(self):
        self.fresh_input("in.wav")
        refused = self.run_program(["in.wav", "./in.wav"])
        self.assertOutcome(refused, 1, b"Checking for HDCD... Yes\n", EXISTS)
        self.assertEqual(harness.read_bytes(self.path("in.wav")), self.lle)
        # With --overwrite it is replaced safely, and quiet is not forced.
        replaced = self.run_program(["in.wav", "./in.wav", "--overwrite"])
        self.assertEqual(replaced.status, 0, replaced)
        self.assertTrue(replaced.stdout.endswith(b"\nComplete.\n"), replaced)
        self.assertDecoded("in.wav")
        self.assertNoTemporary()


class DistinctOutputTest(EacCase):
    def test_distinct_output_is_written_and_replaces_an_old_one(self):
        for target in ("out.wav", "out.flac"):
            with self.subTest(target=target):
                inputs.write_file(self, target, b"old contents")
                self.assertOutcome(self.run_program(["--eac", "lle.wav", target]), 0)
                self.assertDecoded(target)
                self.assertEqual(harness.read_bytes(self.path("lle.wav")), self.lle)
                self.assertNoTemporary()

    @POSIX_ONLY
    def test_success_with_an_empty_output_is_reported(self):
        # The operation writes happily into a link to /dev/null, which reads back empty.
        os.symlink("/dev/null", self.path("void.wav"))
        result = self.run_program(["--eac", "--preserve-hdcd", "lle.wav", "void.wav"])
        self.assertOutcome(result, 1, b"", EMPTY_OUTPUT)
        self.assertTrue(os.path.islink(self.path("void.wav")))


class SameFileFailureTest(EacCase):
    """Every failure leaves the input byte for byte as it was, and no temporary file."""

    def check_input_kept(self, name, original, extra=()):
        self.assertEqual(harness.read_bytes(self.path(name)), original)
        self.assertEqual(sorted(set(harness.listing(self.dir)) - {"lle.wav", "ref.wav", "ref.flac", name}),
                         sorted(extra))

    def test_no_hdcd(self):
        plain = inputs.write_file(self, "plain.wav", inputs.wav_bytes(inputs.tone_without_hdcd()))
        original = harness.read_bytes(self.path(plain))
        self.assertOutcome(self.run_program(["--eac", plain, plain]), 2, b"", inputs.NO_HDCD_LINES)
        self.check_input_kept(plain, original)

    def test_every_temporary_name_taken(self):
        original = self.fresh_input("in.wav")
        taken = ["in.qv-hdcd-eac.tmp.wav"] + ["in.qv-hdcd-eac-%d.tmp.wav" % n for n in range(1, 1000)]
        for name in taken:
            inputs.write_file(self, name, b"")
        self.assertOutcome(self.run_program(["--eac", "in.wav", "in.wav"]), 1, b"", NO_TEMP_NAME)
        self.check_input_kept("in.wav", original, taken)
        # One free name is enough.
        os.remove(self.path(taken[500]))
        self.assertOutcome(self.run_program(["--eac", "in.wav", "in.wav"]), 0)
        self.assertDecoded("in.wav")

    @POSIX_ONLY
    def test_disk_full_during_the_operation(self):
        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (300000, 300000))
        for name, args in (("in.wav", []), ("in.flac", []), ("in.wav", ["--preserve-hdcd"])):
            with self.subTest(name=name, args=args):
                original = self.fresh_input(name)
                command = harness.RUNNER + [harness.PROGRAM, "--eac", name, name] + args
                completed = subprocess.run(command, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                           preexec_fn=limit_file_size, timeout=300)
                self.assertEqual(completed.returncode, 1, completed)
                self.assertEqual(completed.stdout, b"")
                self.assertTrue(completed.stderr.startswith(b"\nError writing"), completed.stderr)
                self.check_input_kept(name, original)
                os.remove(self.path(name))

    @POSIX_ONLY
    def test_cancelled_run(self):
        # The input is a named pipe, named as both input and output: the test
        # decides how far the program gets before the interrupt arrives.
        fifo = self.path("live.wav")
        os.mkfifo(fifo)
        process = subprocess.Popen(harness.RUNNER + [harness.PROGRAM, "--eac", "live.wav", "live.wav"],
                                   cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

        def held_by_program():
            directory = "/proc/%d/fd" % process.pid
            for entry in os.listdir(directory):
                try:
                    if os.readlink(os.path.join(directory, entry)) == fifo:
                        return True
                except OSError:
                    pass
            return False

        # The HDCD check gets the header and the first block, which decides it.
        descriptor = os.open(fifo, os.O_WRONLY)
        os.write(descriptor, self.lle[:44 + 65536])
        os.close(descriptor)
        # Only once it has let go may the operation's own read begin.
        while held_by_program():
            self.assertIsNone(process.poll(), "the program ended during the HDCD check")
            os.sched_yield()
        descriptor = os.open(fifo, os.O_WRONLY)
        # Once these bytes are in, the operation has read past its first blocks
        # (the pipe holds less than one more block).
        os.write(descriptor, self.lle[:44 + 3 * 65536])
        process.send_signal(signal.SIGINT)
        try:
            rest = memoryview(self.lle)[44 + 3 * 65536:]
            while rest:
                rest = rest[os.write(descriptor, rest):]
        except BrokenPipeError:
            pass
        finally:
            os.close(descriptor)
        stdout, stderr = process.communicate(timeout=300)
        self.assertEqual((process.returncode, stdout, stderr), (1, b"", b"\nCancelled.\n"))
        self.assertTrue(stat.S_ISFIFO(os.lstat(fifo).st_mode))
        self.assertEqual(harness.listing(self.dir), sorted(["lle.wav", "live.wav", "ref.flac", "ref.wav"]))


if __name__ == "__main__":
    harness.main()
