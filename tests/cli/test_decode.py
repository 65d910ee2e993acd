"""The three decode operations and the HDCD pre-check in front of them, on the
synthetic file and on copies made by flac and soundfile."""
import os
import subprocess
import unittest

import numpy as np

import harness
import hdcd_inputs
from hdcd_inputs import DECODE_STATISTICS, LLE_REPORT

CHECK_YES = b"Checking for HDCD... Yes\n"
OUTPUT_EXISTS = b"Error: output file exists. Use --overwrite to replace it.\n"
ALPHA5 = b"Error: Alpha 5 decoding is restricted to original PCM16 input.\n"
RC1 = b"Error: RC1 decoding remains restricted to original PCM16 HDCD input.\n"

HEADERS = {
    ("wav", "wav"): b"\nInput:  44100 Hz, PCM16, stereo WAV\nOutput: 44100 Hz, PCM24, stereo WAV\n"
                    b"Peak Extend: QV-native processing using validated reference transfer data\n"
                    b"Low-Level Gain: QV-native stereo envelope enabled\n",
    ("wav", "flac"): b"\nInput:  44100 Hz, PCM16, stereo WAV/RF64\nOutput: 44100 Hz, PCM24, stereo FLAC\n",
    ("flac", "flac"): b"\nInput:  44100 Hz, PCM16, stereo FLAC\nOutput: 44100 Hz, PCM24, stereo FLAC\n",
    ("flac", "wav"): b"\nInput:  44100 Hz, PCM16, stereo FLAC\nOutput: 44100 Hz, PCM24, stereo WAV/RF64\n",
}


def decode_stdout(input_kind, output_kind):
    return (CHECK_YES + hdcd_inputs.banner() + HEADERS[(input_kind, output_kind)] + b"\nDecoding...\n" + LLE_REPORT
            + DECODE_STATISTICS)


def flac_test(case, name):
    completed = subprocess.run(["flac", "-t", "-s", case.path(name)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    case.assertEqual(completed.returncode, 0, completed.stderr)


class DecodeTest(harness.CliTestCase):
    def test_wav_to_wav(self):
        hdcd_inputs.make_lle(self)
        result = self.run_program(["lle.wav", "out.wav"])
        self.assertOutcome(result, 0, decode_stdout("wav", "wav"), hdcd_inputs.lle_progress())
        decoded, rate = hdcd_inputs.read_pcm(self.path("out.wav"))
        self.assertEqual((rate, decoded.shape), (44100, (hdcd_inputs.LLE_FRAMES, 2)))
        # The detector takes the -4.0 dB code at frame 44303.
        self.assertEqual(decoded[44303].tolist(), [-817425, -1028018])
        self.assertEqual(os.path.getsize(self.path("out.wav")), 44 + 6 * hdcd_inputs.LLE_FRAMES)

        # Quiet: nothing on stdout or stderr, the same bytes written.
        result = self.run_program(["lle.wav", "quiet.wav", "--quiet"])
        self.assertOutcome(result, 0)
        self.assertEqual(harness.read_bytes(self.path("quiet.wav")), harness.read_bytes(self.path("out.wav")))

    @unittest.skipUnless(hdcd_inputs.HAVE_FLAC_TOOLS, "needs flac")
    def test_every_container_pair_decodes_the_same_samples(self):
        hdcd_inputs.make_lle(self)
        hdcd_inputs.to_flac(self, "lle.wav", "lle.flac")
        self.assertEqual(self.run_program(["lle.wav", "reference.wav", "--quiet"]).status, 0)
        reference, _ = hdcd_inputs.read_pcm(self.path("reference.wav"))
        for input_name, output_name in [("lle.wav", "out.flac"), ("lle.flac", "out.flac"), ("lle.flac", "out.wav")]:
            kinds = (input_name.rsplit(".", 1)[1], output_name.rsplit(".", 1)[1])
            with self.subTest(kinds):
                result = self.run_program([input_name, output_name, "--overwrite"])
                self.assertOutcome(result, 0, decode_stdout(*kinds), hdcd_inputs.lle_progress())
                decoded, _ = hdcd_inputs.read_pcm(self.path(output_name))
                self.assertTrue(np.array_equal(decoded, reference))
                if kinds[1] == "flac":
                    flac_test(self, output_name)
                    quiet = "quiet." + kinds[1]
                    self.assertOutcome(self.run_program([input_name, quiet, "--quiet"]), 0)
                    self.assertEqual(harness.read_bytes(self.path(quiet)), harness.read_bytes(self.path(output_name)))
                    os.remove(self.path(quiet))

    def test_existing_output_needs_overwrite(self):
        hdcd_inputs.make_lle(self)
        hdcd_inputs.write_file(self, "out.wav", b"keep me")
        result = self.run_program(["lle.wav", "out.wav"])
        self.assertOutcome(result, 1, CHECK_YES, OUTPUT_EXISTS)
        self.assertEqual(harness.read_bytes(self.path("out.wav")), b"keep me")
        self.assertOutcome(self.run_program(["lle.wav", "out.wav", "--overwrite", "--quiet"]), 0)
        self.assertEqual(os.path.getsize(self.path("out.wav")), 44 + 6 * hdcd_inputs.LLE_FRAMES)

    def test_pcm16_restriction_keeps_an_existing_output(self):
        # The pre-check finds the widened signalling, the decode refuses the
        # input; a file already at the output path was never replaced and stays.
        hdcd_inputs.make_lle(self)
        hdcd_inputs.widen_to_pcm24(self, "lle.wav", "lle24.wav")
        cases = [("to WAV", "lle24.wav", "out.wav", ALPHA5), ("to FLAC", "lle24.wav", "out.flac", RC1)]
        if hdcd_inputs.HAVE_FLAC_TOOLS:
            hdcd_inputs.to_flac(self, "lle24.wav", "lle24.flac")
            cases += [("FLAC to FLAC", "lle24.flac", "out.flac", RC1), ("FLAC to WAV", "lle24.flac", "out.wav", RC1)]
        for name, source, target, message in cases:
            with self.subTest(name):
                self.assertOutcome(self.run_program([source, target, "--quiet"]), 1, b"", message)
                self.assertFalse(os.path.exists(self.path(target)))
                hdcd_inputs.write_file(self, target, b"precious")
                self.assertOutcome(self.run_program([source, target, "--quiet", "--overwrite"]), 1, b"", message)
                self.assertEqual(harness.read_bytes(self.path(target)), b"precious")
                os.remove(self.path(target))

    @unittest.skipUnless(hdcd_inputs.HAVE_FLAC_TOOLS, "needs flac")
    def test_flac_input_that_fails_to_decode_leaves_no_output(self):
        hdcd_inputs.make_lle(self)
        for name, damage in [("damaged frame", hdcd_inputs.damage_flac_frame),
                             ("changed MD5 signature", hdcd_inputs.change_flac_md5)]:
            for output in ("out.flac", "out.wav"):
                with self.subTest(name, output=output):
                    hdcd_inputs.to_flac(self, "lle.wav", "bad.flac")
                    damage(self.path("bad.flac"))
                    result = self.run_program(["bad.flac", output, "--quiet"])
                    self.assertOutcome(result, 1, b"", hdcd_inputs.FLAC_DECODE_ERROR)
                    self.assertFiles(["bad.flac", "lle.wav"])

    def test_invalid_utf8_tag_fails_before_any_output(self):
        if harness.ON_WINDOWS_BUILD:
            self.skipTest("raw argument bytes pass through wine's conversion")
        hdcd_inputs.make_lle(self)
        result = self.run_program(["lle.wav", "out.flac", "--title", b"bad \xff\xfe".decode("utf-8", "surrogateescape")])
        self.assertOutcome(result, 1, b"", b"Error: Unable to create FLAC metadata field TITLE.\n")
        self.assertFiles(["lle.wav"])


class PreCheckTest(harness.CliTestCase):
    def test_input_without_signalling(self):
        hdcd_inputs.write_file(self, "plain.wav", hdcd_inputs.wav_bytes(hdcd_inputs.tone_without_hdcd()))
        for output in ("out.wav", "out.flac"):
            for quiet in (False, True):
                with self.subTest(output=output, quiet=quiet):
                    hdcd_inputs.write_file(self, output, b"untouched")
                    args = ["plain.wav", output, "--overwrite"] + (["--quiet"] if quiet else [])
                    stdout = b"" if quiet else b"Checking for HDCD... No\n"
                    self.assertOutcome(self.run_program(args), 2, stdout, hdcd_inputs.NO_HDCD_LINES)
                    self.assertEqual(harness.read_bytes(self.path(output)), b"untouched")
                    os.remove(self.path(output))
                    self.assertOutcome(self.run_program(args), 2, stdout, hdcd_inputs.NO_HDCD_LINES)
                    self.assertFiles(["plain.wav"])

    def test_input_that_cannot_be_checked(self):
        hdcd_inputs.write_file(self, "plain.wav", hdcd_inputs.wav_bytes(hdcd_inputs.tone_without_hdcd()))
        result = self.run_program(["missing.wav", "out.wav"])
        self.assertEqual((result.status, result.stdout), (1, b"Checking for HDCD... failed\n"))
        self.assertTrue(result.stderr.startswith(b"Error: "), result)
        if hdcd_inputs.HAVE_FLAC_TOOLS:
            # No signalling before the damage: the check reads to the end and fails there.
            hdcd_inputs.to_flac(self, "plain.wav", "bad.flac")
            hdcd_inputs.change_flac_md5(self.path("bad.flac"))
            result = self.run_program(["bad.flac", "out.flac"])
            self.assertOutcome(result, 1, b"Checking for HDCD... failed\n",
                               b"Error while checking input for HDCD signalling.\n")
        self.assertFalse(os.path.exists(self.path("out.wav")) or os.path.exists(self.path("out.flac")))


if __name__ == "__main__":
    harness.main()
