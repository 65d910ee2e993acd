"""--make-lle-test: the synthetic Low-Level Gain file, checked through an
independent reader and an independent descrambler of its LSBs."""
import os

import numpy as np
import soundfile as sf

import harness
import hdcd_inputs

SUCCESS = (b"Synthetic HDCD LLE test created: %s\nDuration: 10.0 s\nPacket type: B\nPeak Extend: Off\n"
           b"Target sequence: 0.0 dB -> -4.0 dB -> -2.0 dB -> 0.0 dB\nPacket interval: 1000 samples\n\n"
           b"Next: scan this file with QV-HDCD and FFmpeg, then compare their decoded PCM.\n")


def expected_packet_bits():
    bits = np.zeros(hdcd_inputs.LLE_FRAMES, dtype=np.int64)
    for k in range(441):
        start = 256 + 1000 * k
        control = 0x00 if k <= 43 else 0x08 if k <= 176 else 0x04 if k <= 264 else 0x00
        word = (0x7E0FA006 << 16) | (control << 8) | (~control & 0xFF)
        for i in range(48):
            bits[start + i] = (word >> (47 - i)) & 1
    return bits


def descramble(lsb):
    """a(n) = s(n) ^ s(n - 5) ^ s(n - 23), earlier bits taken as 0."""
    s = np.concatenate([np.zeros(23, dtype=np.int64), lsb.astype(np.int64)])
    return s[23:] ^ s[18:-5] ^ s[:-23]


class LleTestFileTest(harness.CliTestCase):
    def test_file_contents_and_report(self):
        # An existing file is replaced without asking.
        hdcd_inputs.write_file(self, "lle.wav", b"old contents")
        result = self.run_program(["--make-lle-test", "lle.wav"])
        self.assertOutcome(result, 0, SUCCESS % b"lle.wav")
        self.assertFiles(["lle.wav"])

        info = sf.info(self.path("lle.wav"))
        self.assertEqual((info.format, info.subtype, info.samplerate, info.channels, info.frames),
                         ("WAV", "PCM_16", 44100, 2, hdcd_inputs.LLE_FRAMES))
        self.assertEqual(os.path.getsize(self.path("lle.wav")), 44 + 4 * hdcd_inputs.LLE_FRAMES)
        samples, _ = sf.read(self.path("lle.wav"), dtype="int16")
        self.assertEqual(samples[:3].tolist(), [[0, 3202], [1698, 4586], [3362, 5876]])

        lsb = samples.astype(np.int64) & 1
        self.assertEqual(lsb[:256].sum(), 0)
        self.assertTrue((lsb[:, 0] == lsb[:, 1]).all(), "both channels carry the same scrambled bits")
        wanted = expected_packet_bits()
        for channel in (0, 1):
            got = descramble(lsb[:, channel])
            self.assertEqual(np.flatnonzero(got != wanted)[:5].tolist(), [])

        # Apart from bit 0, the samples are the tone truncated toward zero.
        n = np.arange(hdcd_inputs.LLE_FRAMES)
        phase = n * 6264.335751258048 / 44100
        tone = np.column_stack([np.trunc(np.sin(phase) * 12000), np.trunc(np.sin(phase + 0.31) * 10500)])
        self.assertTrue(((samples.astype(np.int64) & ~1) == (tone.astype(np.int64) & ~1)).all())

    def test_unwritable_path_leaves_nothing(self):
        result = self.run_program(["--make-lle-test", os.path.join("missing-dir", "lle.wav")])
        self.assertOutcome(result, 1, b"", b"Error: Unable to create output file.\n")
        self.assertFiles([])


if __name__ == "__main__":
    harness.main()
