import struct

import harness


def chunk(ident, body, declared=None):
    data = ident + struct.pack("<I", len(body) if declared is None else declared) + body
    return data + (b"\0" if len(body) % 2 else b"")


def wav_bytes(samples, bits=16, rate=44100, valid=None, rf64=False, extra=b"", claimed_frames=None):
    """A stereo WAV (or RF64 with ds64; extensible when valid is set) holding the interleaved samples."""
    data = b"".join(struct.pack("<i", v)[:bits // 8] for v in samples)
    fmt = struct.pack("<HHIIHH", 1 if valid is None else 0xFFFE, 2, rate, rate * bits // 4, bits // 4, bits)
    if valid is not None:
        fmt += struct.pack("<HHI", 22, valid, 3) + b"\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71"
    size = len(data) if claimed_frames is None else claimed_frames * bits // 4
    if rf64:
        ds64 = chunk(b"ds64", struct.pack("<QQQI", 0, size, size // (bits // 4), 0))
        return b"RF64\xff\xff\xff\xffWAVE" + ds64 + extra + chunk(b"fmt ", fmt) + chunk(b"data", data, 0xFFFFFFFF)
    body = b"WAVE" + chunk(b"fmt ", fmt) + extra + chunk(b"data", data, size)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def ramp(frames):
    return [(i * 37 + (i & 1) * 1000) % 60000 - 30000 for i in range(2 * frames)]


def changed(samples, edits):
    return [edits.get(index, value) for index, value in enumerate(samples)]


class ComparePcmTest(harness.CliTestCase):
    def compare(self, a_bytes, b_bytes):
        for name, content in (("a.wav", a_bytes), ("b.wav", b_bytes)):
            with open(self.path(name), "wb") as handle:
                handle.write(content)
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
            ("PCM16 against PCM24", wav_bytes(base), wav_bytes(base, bits=24), differ),
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
