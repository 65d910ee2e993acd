"""--compare-pcm: sample by sample, and the inputs it refuses to compare."""
import harness
from hdcd_inputs import chunk, wav_bytes, write_file


def ramp(frames):
    return [(i * 37 + (i & 1) * 1000) % 60000 - 30000 for i in range(2 * frames)]


def changed(samples, edits):
    return [edits.get(index, value) for index, value in enumerate(samples)]


class ComparePcmTest(harness.CliTestCase):
    def compare(self, a_bytes, b_bytes):
        write_file(self, "a.wav", a_bytes)
        write_file(self, "b.wav", b_bytes)
        return self.run_program(["--compare-pcm", "a.wav", "b.wav"])

    def test_identical_and_different_sample_data(self):
        base = ramp(20000)
        pcm20 = [v * 16 for v in ramp(100)]
        identical = b"PCM compare\nFrames: %d\nResult: IDENTICAL\n"
        different = (b"PCM compare\nFrames: %d\nResult: DIFFERENT\nMismatched samples: %d\nFirst mismatch: frame %d, "
                     b"channel %d\n  A: %d\n  B: %d\nMaximum absolute sample delta: %d\n")
        cases = [
            ("RIFF against RF64 with an extra chunk", wav_bytes(base), wav_bytes(base, rf64=True, extra=chunk(b"LIST", b"abc")),
             0, identical % 20000),
            ("PCM20-in-24 differing only in the padding bits", wav_bytes(pcm20, bits=24, valid=20),
             wav_bytes([v | 0xF for v in pcm20], bits=24, valid=20), 0, identical % 100),
            ("every changed sample counts, the first in file order is shown",
             wav_bytes(base), wav_bytes(changed(base, {4: base[4] - 7, 5: base[5] + 9, 41: base[41] + 20})),
             3, different % (20000, 3, 2, 0, base[4], base[4] - 7, 20)),
            ("frame index counts across blocks", wav_bytes(base, rf64=True),
             wav_bytes(changed(base, {2 * 17000 + 1: 0, 2 * 19999: base[2 * 19999] + 1})),
             3, different % (20000, 2, 17000, 1, base[34001], 0, abs(base[34001]))),
            ("full-scale PCM24 opposites", wav_bytes([-8388608, 8388607], bits=24), wav_bytes([8388607, -8388608], bits=24),
             3, different % (1, 2, 0, 0, -8388608, 8388607, 16777215)),
        ]
        for name, a, b, status, stdout in cases:
            with self.subTest(name):
                self.assertOutcome(self.compare(a, b), status, stdout)

    def test_formats_and_lengths_must_match(self):
        base = ramp(100)
        differ = b"PCM formats/frame counts differ.\n"
        cases = [
            ("PCM24 against PCM20-in-24", wav_bytes(base, bits=24), wav_bytes(base, bits=24, valid=20), differ),
            ("sample rates", wav_bytes(base), wav_bytes(base, rate=48000), differ),
            ("frame counts", wav_bytes(base), wav_bytes(base[:-2]), differ),
            ("header claims more than the file holds", wav_bytes(ramp(20000)),
             wav_bytes(ramp(20000)[:-200], claimed_frames=20000), b"PCM frame counts differ while reading.\n"),
            ("B cannot be opened", wav_bytes(base), b"fLaC\0\0\0\x22" + b"\0" * 34,
             b"Error opening B: Input is not RIFF/RF64 WAVE.\n"),
        ]
        for name, a, b, stderr in cases:
            with self.subTest(name):
                self.assertOutcome(self.compare(a, b), 1, b"", stderr)


if __name__ == "__main__":
    harness.main()
