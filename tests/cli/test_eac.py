"""--eac and runs whose output is their own input: the input is only ever
replaced by a complete output, and no temporary file outlives a run."""
import os
import struct
import unittest

import numpy as np

import harness
import hdcd_inputs as inputs

POSIX = not harness.ON_WINDOWS_BUILD


class EacTest(harness.CliTestCase):
    def setUp(self):
        super().setUp()
        inputs.make_lle(self)
        inputs.to_flac(self, "lle.wav", "lle.flac")
        # What a plain run to a fresh file writes: the runs under test must match it.
        for name in ("ref.wav", "ref.flac"):
            self.assertEqual(self.run_program(["--quiet", "lle.wav", name]).status, 0)

    def assertDecoded(self, name):
        if name.lower().endswith(".wav"):
            self.assertEqual(harness.read_bytes(self.path(name)), harness.read_bytes(self.path("ref.wav")))
        else:
            np.testing.assert_array_equal(inputs.read_pcm(self.path(name))[0],
                                          inputs.read_pcm(self.path("ref.flac"))[0])
        self.assertEqual([n for n in harness.listing(self.dir) if "qv-hdcd-eac" in n], [])

    def test_same_file_by_any_name_ends_up_decoded(self):
        os.mkdir(self.path("sub"))
        # (the file, its name as input, the output name, how the output name reaches the file)
        cases = [("in.wav", "in.wav", "in.wav", None), ("in.flac", "in.flac", "{dir}/in.flac", None),
                 ("in.wav", "sub/../in.wav", "{dir}/./in.wav", None)]
        if POSIX:
            cases += [("in.wav", "in.wav", "soft.wav", os.symlink), ("in.flac", "in.flac", "hard.flac", os.link),
                      ("in.flac", "in.flac", "soft.flac", os.symlink),
                      # Letter case is folded: the run goes through a temporary file,
                      # and on a case-sensitive file system the input stays as it was.
                      ("in.wav", "in.wav", "IN.WAV", None)]
        else:
            # Windows spellings; a directory path past 520 characters, beyond every fixed path buffer.
            deep = "/".join("d%02d%s" % (level, "x" * 46) for level in range(11))
            os.makedirs(self.path(deep))
            full = lambda name: "Z:" + self.path(name).replace("/", "\\")  # wine shows the Unix root as Z:
            cases += [("in.wav", "in.wav", output, None)
                      for output in (".\\in.wav", "IN.WAV", "sub\\..\\In.Wav", full("in.wav").upper())]
            cases += [(deep + "/\u00c4.wav", full(deep + "/\u00c4.wav"), full(deep + "/\u00e4.wav"), None),
                      (deep + "/\u00c4.wav", (deep + "/\u00c4.wav").replace("/", "\\"), full(deep + "/\u00c4.wav"), None)]
        files = harness.listing(self.dir)
        for name, source, target, link in cases:
            with self.subTest(source=source, target=target):
                original = harness.read_bytes(self.path("lle" + os.path.splitext(name)[1]))
                inputs.write_file(self, name, original)
                if link:
                    link(self.path(name), self.path(target))
                target = target.format(dir=self.dir)
                self.assertOutcome(self.run_program(["--eac", source, target]), 0)
                if link or (POSIX and os.path.basename(target) != name):
                    # The output name now holds the decode; the input was never written.
                    self.assertDecoded(target)
                    self.assertFalse(os.path.islink(self.path(target)))
                    self.assertEqual(harness.read_bytes(self.path(name)), original)
                    os.remove(self.path(target))
                else:  # one file, under its old name, now holding the decode
                    self.assertDecoded(name)
                    self.assertFiles(files + [name])
                os.remove(self.path(name))

    def test_without_eac_the_same_file_needs_overwrite(self):
        lle = harness.read_bytes(self.path("lle.wav"))
        self.assertOutcome(self.run_program(["lle.wav", "./lle.wav"]), 1, inputs.CHECK_YES, inputs.EXISTS)
        self.assertEqual(harness.read_bytes(self.path("lle.wav")), lle)
        replaced = self.run_program(["lle.wav", "./lle.wav", "--overwrite"])
        self.assertTrue(replaced.stdout.endswith(b"\nComplete.\n"), replaced)
        self.assertDecoded("lle.wav")

    def test_distinct_output_replaces_an_old_one(self):
        for target in ("out.wav", "out.flac"):
            with self.subTest(target=target):
                inputs.write_file(self, target, b"old contents")
                self.assertOutcome(self.run_program(["--eac", "lle.wav", target]), 0)
                self.assertDecoded(target)

    def test_replacement_keeps_access_and_passes_a_planted_link(self):
        # A dangling link at the first temporary name must be neither followed nor replaced.
        os.mkdir(self.path("elsewhere"))
        os.symlink(self.path("elsewhere", "planted.wav"), self.path("lle.qv-hdcd-eac.tmp.wav"))
        if POSIX:
            os.chmod(self.path("lle.wav"), 0o640)
            if os.geteuid() == 0:
                os.chown(self.path("lle.wav"), 1234, 1235)
        self.assertOutcome(self.run_program(["--eac", "lle.wav", "lle.wav"]), 0)
        self.assertEqual(harness.read_bytes(self.path("lle.wav")), harness.read_bytes(self.path("ref.wav")))
        self.assertEqual(os.listdir(self.path("elsewhere")), [])
        self.assertTrue(os.path.islink(self.path("lle.qv-hdcd-eac.tmp.wav")))
        self.assertEqual(len(harness.listing(self.dir)), 5)  # no other temporary file is left
        if POSIX:
            status = os.lstat(self.path("lle.wav"))
            self.assertEqual(oct(status.st_mode), oct(0o100640))
            if os.geteuid() == 0:
                self.assertEqual((status.st_uid, status.st_gid), (1234, 1235))

    @unittest.skipUnless(POSIX, "access lists and extended attributes are POSIX here")
    def test_replacement_keeps_access_lists_and_attributes(self):
        # An access list that shuts out user 65534, whom the bits alone would let read.
        entries = [(0x01, 6, 0xFFFFFFFF), (0x02, 0, 65534), (0x04, 4, 0xFFFFFFFF), (0x10, 4, 0xFFFFFFFF),
                   (0x20, 4, 0xFFFFFFFF)]
        acl = struct.pack("<I", 2) + b"".join(struct.pack("<HHI", *entry) for entry in entries)
        attributes = {"user.note": b"ripped 2026", "system.posix_acl_access": acl}
        original = harness.read_bytes(self.path("lle.wav"))
        for name, value in attributes.items():
            os.setxattr(self.path("lle.wav"), name, value)
        self.assertOutcome(self.run_program(["--eac", "lle.wav", "lle.wav"]), 0)
        self.assertDecoded("lle.wav")
        self.assertEqual({name: os.getxattr(self.path("lle.wav"), name) for name in os.listxattr(self.path("lle.wav"))},
                         attributes)
        if os.geteuid() != 0:
            return
        # A runner who may not give the file its group takes the group's rights away rather than lending them
        # to his own group.
        os.chmod(self.dir, 0o777)
        shared = self.path("lle.wav")
        os.remove(shared)
        inputs.write_file(self, "lle.wav", original)
        os.chown(shared, 65534, 1235)
        os.chmod(shared, 0o660)
        result = harness.run(["--eac", "lle.wav", "lle.wav"], cwd=self.dir, preexec_fn=lambda: os.setuid(65534))
        self.assertEqual(result.status, 0, result)
        status = os.stat(shared)
        self.assertEqual((status.st_uid, status.st_mode & 0o777), (65534, 0o600))

    def test_failures_keep_the_input_and_leave_no_temporary_file(self):
        inputs.write_file(self, "plain.wav", inputs.wav_bytes(inputs.tone_without_hdcd()))
        taken = ["lle.qv-hdcd-eac.tmp.wav"] + ["lle.qv-hdcd-eac-%d.tmp.wav" % n for n in range(1, 1000)]
        for name in taken:
            inputs.write_file(self, name, b"")
        cases = [
            (["plain.wav", "plain.wav"], 2, inputs.NO_HDCD_LINES),
            (["lle.wav", "lle.wav"], 1, b"Error: could not create a safe EAC temporary output path.\n"),
        ]
        if POSIX:  # a link to /dev/null takes the output happily and reads back empty
            os.symlink("/dev/null", self.path("void.wav"))
            cases.append((["--preserve-hdcd", "lle.wav", "void.wav"], 1,
                          b"Error: EAC requested output was not created or is empty.\n"))
        before = harness.contents(self.dir)
        for args, status, stderr in cases:
            with self.subTest(args=args):
                self.assertOutcome(self.run_program(["--eac"] + args), status, b"", stderr)
                self.assertEqual(harness.contents(self.dir), before)
        # One free temporary name is enough.
        os.remove(self.path(taken[500]))
        self.assertOutcome(self.run_program(["--eac", "lle.wav", "lle.wav"]), 0)
        self.assertEqual(harness.read_bytes(self.path("lle.wav")), harness.read_bytes(self.path("ref.wav")))
        self.assertEqual(len(harness.listing(self.dir)), len(before) - 1)


if __name__ == "__main__":
    harness.main()
