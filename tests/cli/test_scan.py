"""--scan on the synthetic file in several containers, on files without HDCD,
and on FLAC streams that fail to decode."""
import unittest

import harness
import hdcd_inputs
from hdcd_inputs import LLE_REPORT, NO_HDCD_REPORT


class ScanTest(harness.CliTestCase):
    def scan(self, name, *extra):
        return self.run_program(["--scan", name] + list(extra))

    def test_synthetic_file_in_each_container(self):
        hdcd_inputs.make_lle(self)
        hdcd_inputs.widen_to_pcm24(self, "lle.wav", "lle24.wav")
        cases = [
            ("PCM16 WAV", "lle.wav", b"\nInput: 44100 Hz, PCM16, stereo WAV\n"),
            # Widened by eight zero bits, the signalling sits at bit 8.
            ("PCM24 WAV", "lle24.wav", b"\nInput: 44100 Hz, PCM24, stereo WAV\n"),
        ]
        if hdcd_inputs.HAVE_FLAC_TOOLS:
            hdcd_inputs.to_flac(self, "lle.wav", "lle.flac")
            cases.append(("FLAC", "lle.flac", b"\nInput: 44100 Hz, FLAC PCM16, stereo\n"))
        for name, path, input_line in cases:
            with self.subTest(name):
                expected = hdcd_inputs.banner() + input_line + b"\nScanning...\n" + LLE_REPORT
                self.assertOutcome(self.scan(path), 0, expected, hdcd_inputs.lle_progress())
                self.assertOutcome(self.scan(path, "--quiet", "--quiet"), 0)

    def test_input_without_signalling(self):
        samples = hdcd_inputs.tone_without_hdcd(40000)
        hdcd_inputs.write_file(self, "plain.wav", hdcd_inputs.wav_bytes(samples))
        hdcd_inputs.write_file(self, "empty.wav", hdcd_inputs.wav_bytes([]))
        cases = [
            ("tone", "plain.wav", hdcd_inputs.progress(16384, 40000)),
            ("empty data chunk", "empty.wav", b"\n"),
        ]
        for name, path, progress in cases:
            with self.subTest(name):
                expected = hdcd_inputs.banner() + b"\nInput: 44100 Hz, PCM16, stereo WAV\n\nScanning...\n"
                self.assertOutcome(self.scan(path), 2, expected + NO_HDCD_REPORT, progress)
                self.assertOutcome(self.scan(path, "--quiet"), 2)
        self.assertFiles(["empty.wav", "plain.wav"])

    @unittest.skipUnless(hdcd_inputs.HAVE_FLAC_TOOLS, "needs flac")
    def test_flac_that_fails_to_decode(self):
        hdcd_inputs.make_lle(self)
        for name, damage in [("damaged frame", hdcd_inputs.damage_flac_frame),
                             ("changed MD5 signature", hdcd_inputs.change_flac_md5)]:
            with self.subTest(name):
                hdcd_inputs.to_flac(self, "lle.wav", "bad.flac")
                damage(self.path("bad.flac"))
                result = self.scan("bad.flac", "--quiet")
                self.assertOutcome(result, 1, b"", hdcd_inputs.FLAC_DECODE_ERROR)
                # Not quiet: the header and progress are printed, the report is not.
                result = self.scan("bad.flac")
                self.assertEqual(result.status, 1)
                self.assertFalse(b"HDCD detected" in result.stdout, result)
                self.assertTrue(result.stderr.endswith(b"\n" + hdcd_inputs.FLAC_DECODE_ERROR), result)


if __name__ == "__main__":
    harness.main()
