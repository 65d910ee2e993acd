"""--make-lle-test, checked through an independent reader and descrambler of the LSBs."""
import os

import numpy as np
import soundfile as sf

import harness
import hdcd_inputs

SUCCESS = (b"Synthetic HDCD LLE test created: lle.wav\nDuration: 10.0 s\nPacket type: B\nPeak Extend: Off\n"
           b"Target sequence: 0.0 dB -> -4.0 dB -> -2.0 dB -> 0.0 dB\nPacket interval: 1000 samples\n\n"
           b"Next: scan this file with QV-HDCD and FFmpeg, then compare their decoded PCM.\n")


def expected_packet_bits():
    """Packet B every 1000 frames from frame 256: 0 dB, -4 dB from packet 44, -2 dB from 177, 0 dB from 265."""
    bits = np.zeros(hdcd_inputs.LLE_FRAMES, dtype=np.int64)
    for k in range(441):
        control = 0x08 if 44 <= k <= 176 else 0x04 if 177 <= k <= 264 else 0x00
        word = 0x7E0FA006 << 16 | control << 8 | (~control & 0xFF)
        bits[256 + 1000 * k:][:48] = [word >> (47 - i) & 1 for i in range(48)]
    return bits


class LleTestFileTest(harness.CliTestCase):
    def test_file_contents_and_report(self):
        # An existing file is replaced without asking.
        hdcd_inputs.write_file(self, "lle.wav", b"old contents")
        self.assertOutcome(self.run_program(["--make-lle-test", "lle.wav"]), 0, SUCCESS)
        self.assertFiles(["lle.wav"])
        samples, rate = sf.read(self.path("lle.wav"), dtype="int16")
        # A 44-byte header and 4-byte frames: stereo PCM16 without other chunks.
        self.assertEqual((rate, samples.shape, os.path.getsize(self.path("lle.wav"))),
                         (44100, (hdcd_inputs.LLE_FRAMES, 2), 44 + 4 * hdcd_inputs.LLE_FRAMES))
        self.assertEqual(samples[:3].tolist(), [[0, 3202], [1698, 4586], [3362, 5876]])
        # Both channels' LSBs descramble, a(n) = s(n) ^ s(n - 5) ^ s(n - 23), to the packets.
        s = np.concatenate([np.zeros((23, 2), dtype=np.int64), samples & 1])
        mismatches = np.flatnonzero(((s[23:] ^ s[18:-5] ^ s[:-23]) != expected_packet_bits()[:, None]).any(axis=1))
        self.assertEqual(mismatches[:5].tolist(), [])

    def test_unwritable_path_leaves_nothing(self):
        result = self.run_program(["--make-lle-test", os.path.join("missing-dir", "lle.wav")])
        self.assertOutcome(result, 1, b"", b"Error: Unable to create output file.\n")
        self.assertFiles([])


if __name__ == "__main__":
    harness.main()
