"""--preserve-hdcd: container conversion that keeps every PCM16 sample, and its refusals."""
import subprocess

import numpy as np

import harness
import hdcd_inputs as inputs


class PreserveTest(harness.CliTestCase):
    def setUp(self):
        super().setUp()
        inputs.make_lle(self)
        inputs.write_file(self, "cover.bin", b"not really a picture")
        inputs.to_flac(self, "lle.wav", "lle.flac", "-TARTIST=Somebody", "-TTITLE=Original title")
        subprocess.run(["metaflac", "--import-picture-from=3|image/png|front|1x1x24|cover.bin", "lle.flac"],
                       cwd=self.dir, check=True)

    def preserve(self, source, target):
        kinds = [b"FLAC" if name.lower().endswith(".flac") else b"WAV" for name in (source, target)]
        header = (inputs.banner() + b"\nMode: Preserve HDCD\n"
                  + b"Input:  44100 Hz, PCM16, stereo %s\nOutput: 44100 Hz, PCM16, stereo %s\n" % tuple(kinds)
                  + b"HDCD decoding: Disabled\nPCM preservation: Lossless\n\nConverting...\n")
        self.assertOutcome(self.run_program([source, target, "--preserve-hdcd"]), 0,
                           inputs.CHECK_YES + header + b"HDCD signalling samples preserved unchanged.\n\nComplete.\n",
                           inputs.progress())

    def metadata(self, name):
        """Comments and pictures as metaflac lists them, less what depends on the writer."""
        listing = subprocess.run(["metaflac", "--list", "--block-type=VORBIS_COMMENT,PICTURE", name],
                                 cwd=self.dir, check=True, capture_output=True).stdout.splitlines()
        return [line for line in listing if not line.startswith((b"METADATA", b"  is last", b"  length", b"  vendor"))]

    def scan_report(self, name):
        result = self.run_program(["--scan", name])
        self.assertEqual(result.status, 0, result)
        return result.stdout[result.stdout.index(b"Scanning..."):]  # the input line names the container

    def test_every_direction_keeps_the_samples_bit_for_bit(self):
        original = self.scan_report("lle.wav")
        original_samples = inputs.read_pcm(self.path("lle.wav"), shift=16)[0]
        for steps in (["lle.wav", "a.flac", "a.wav"], ["lle.flac", "b.WAV"], ["lle.flac", "c.Flac"]):
            with self.subTest(steps=steps):
                for source, target in zip(steps, steps[1:]):
                    self.preserve(source, target)
                self.assertEqual(self.scan_report(steps[-1]), original)
                np.testing.assert_array_equal(inputs.read_pcm(self.path(steps[-1]), shift=16)[0], original_samples)
        # FLAC to FLAC carries the comments and pictures over as they were.
        self.assertEqual(self.metadata("c.Flac"), self.metadata("lle.flac"))
        self.assertIn(b"  type: 3 (Cover (front))", self.metadata("c.Flac"))
        self.assertIn(b"    comment[1]: TITLE=Original title", self.metadata("c.Flac"))

    def test_refusals_leave_no_file(self):
        inputs.widen_to_pcm24(self, "lle.wav", "wide.wav")
        inputs.write_file(self, "keep.wav", b"user data")
        suffix = b"Error: --preserve-hdcd output must be .wav or .flac.\n"
        not_pcm16 = b"Error: --preserve-hdcd requires stereo PCM16 input.\n"
        cases = [(["lle.wav", name], suffix) for name in ("out.wv", "out.flac.bak", "out", "wav", "out.wave")]
        cases += [
            (["wide.wav", "new.wav"], not_pcm16),
            (["wide.wav", "new.flac"], not_pcm16),
            # Refused before the output is touched, so even --overwrite keeps it.
            (["wide.wav", "keep.wav", "--overwrite"], not_pcm16),
            (["lle.wav", "keep.wav"], inputs.EXISTS),
        ]
        files = harness.listing(self.dir)
        for args, stderr in cases:
            with self.subTest(args=args):
                self.assertOutcome(self.run_program(["--quiet", "--preserve-hdcd"] + args), 1, b"", stderr)
                self.assertFiles(files)
                self.assertEqual(harness.read_bytes(self.path("keep.wav")), b"user data")


if __name__ == "__main__":
    harness.main()
