import struct

import harness


def chunk(ident, body, declared=None):
    data = ident + struct.pack("<I", len(body) if declared is None else declared) + body
    return data + (b"\0" if len(body) % 2 else b"")


def fmt_chunk(rate, bits, valid=None, channels=2):
    align = channels * bits // 8
    body = struct.pack("<HHIIHH", 1, channels, rate, rate * align, align, bits)
    if valid is not None:
        body = struct.pack("<HHIIHH", 0xFFFE, channels, rate, rate * align, align, bits)
        body += struct.pack("<HHI", 22, valid, 3) + b"\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"
    return chunk(b"fmt ", body)


def pack_samples(samples, bits):
    if bits == 16:
        return struct.pack("<%dh" % len(samples), *samples)
    return b"".join(struct.pack("<i", v)[:3] for v in samples)


def wav_bytes(samples, bits=16, rate=44100, valid=None, rf64=False, extra=b"", claimed_frames=None):
    """A stereo WAV (or RF64 with ds64) holding the interleaved samples."""
    data = pack_samples(samples, bits)
    size = len(data) if claimed_frames is None else claimed_frames * 2 * bits // 8
    if rf64:
        ds64 = chunk(b"ds64", struct.pack("<QQQI", 0, size, size // (2 * bits // 8), 0))
        body = b"WAVE" + ds64 + extra + fmt_chunk(rate, bits, valid) + chunk(b"data", data, 0xFFFFFFFF)
        return b"RF64" + struct.pack("<I", 0xFFFFFFFF) + body
    body = b"WAVE" + fmt_chunk(rate, bits, valid) + extra + chunk(b"data", data, size)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def summary_identical(frames):
    return b"PCM compare\nFrames: %d\nResult: IDENTICAL\n" % frames


def summary_different(frames, count, frame, channel, a, b, delta):
    return (b"PCM compare\nFrames: %d\nResult: DIFFERENT\nMismatched samples: %d\n"
            b"First mismatch: frame %d, channel %d\n  A: %d\n  B: %d\nMaximum absolute sample delta: %d\n"
            % (frames, count, frame, channel, a, b, delta))


def ramp(frames, scale=1):
    return [((i * 37 + (i & 1) * 1000) % 60000 - 30000) * scale for i in range(2 * frames)]


class ComparePcmTest(harness.CliTestCase):
    def write(self, name, content):
        with open(self.path(name), "wb") as handle:
            handle.write(content)
        return name

    def compare(self, a_bytes, b_bytes):
        self.write("a.wav", a_bytes)
        self.write("b.wav", b_bytes)
        return self.run_program(["--compare-pcm", "a.wav", "b.wav"])

    def test_identical_sample_data(self):
        base = ramp(20000)
        pcm20 = [v * 16 for v in ramp(100)]
        cases = [
            ("RIFF against RF64 with an extra chunk", wav_bytes(base), wav_bytes(base, rf64=True, extra=chunk(b"LIST", b"abc")),
             20000),
            ("PCM24 against extensible PCM24", wav_bytes(base, bits=24), wav_bytes(base, bits=24, valid=24), 20000),
            ("PCM20-in-24 differing only in the padding bits", wav_bytes(pcm20, bits=24, valid=20),
             wav_bytes([v | 0xF for v in pcm20], bits=24, valid=20), 100),
            ("two empty files", wav_bytes([]), wav_bytes([], rf64=True), 0),
        ]
        for name, a, b, frames in cases:
            with self.subTest(name):
                self.assertOutcome(self.compare(a, b), 0, summary_identical(frames))

    def test_file_against_itself(self):
        self.write("a.wav", wav_bytes(ramp(5000, 200), bits=24))
        self.assertOutcome(self.run_program(["--compare-pcm", "a.wav", "a.wav"]), 0, summary_identical(5000))

    def test_differences_are_counted_per_sample(self):
        base = ramp(20000)

        def changed(samples, edits):
            out = list(samples)
            for index, value in edits.items():
                out[index] = value
            return out

        right_of_frame_5 = changed(base, {11: base[11] + 3})
        both_of_frame_2 = changed(base, {4: base[4] - 7, 5: base[5] + 9, 41: base[41] + 20})
        past_first_block = changed(base, {2 * 17000 + 1: 0, 2 * 19999: base[2 * 19999] + 1})
        full_scale = [-8388608, 8388607, 0, 0]
        cases = [
            ("right channel of frame 5", wav_bytes(base), wav_bytes(right_of_frame_5),
             summary_different(20000, 1, 5, 1, base[11], base[11] + 3, 3)),
            ("both channels of frame 2", wav_bytes(base), wav_bytes(both_of_frame_2),
             summary_different(20000, 3, 2, 0, base[4], base[4] - 7, 20)),
            ("frame index counts across blocks", wav_bytes(base, rf64=True), wav_bytes(past_first_block),
             summary_different(20000, 2, 17000, 1, base[34001], 0, abs(base[34001]))),
            ("full-scale PCM24 opposites", wav_bytes(full_scale, bits=24), wav_bytes([8388607, -8388608, 0, 0], bits=24),
             summary_different(2, 2, 0, 0, -8388608, 8388607, 16777215)),
        ]
        for name, a, b, expected in cases:
            with self.subTest(name):
                self.assertOutcome(self.compare(a, b), 3, expected)

    def test_formats_and_lengths_must_match(self):
        base = ramp(100)
        differ = b"PCM formats/frame counts differ.\n"
        cases = [
            ("PCM16 against PCM24", wav_bytes(base), wav_bytes(base, bits=24), differ),
            ("PCM24 against PCM20-in-24", wav_bytes(base, bits=24), wav_bytes(base, bits=24, valid=20), differ),
            ("sample rates", wav_bytes(base), wav_bytes(base, rate=48000), differ),
            ("frame counts", wav_bytes(base), wav_bytes(base[:-2]), differ),
            ("header claims more than the file holds", wav_bytes(ramp(20000)), wav_bytes(ramp(20000)[:-200], claimed_frames=20000),
             b"PCM frame counts differ while reading.\n"),
        ]
        for name, a, b, stderr in cases:
            with self.subTest(name):
                self.assertOutcome(self.compare(a, b), 1, b"", stderr)

    def test_unopenable_inputs(self):
        good = self.write("good.wav", wav_bytes(ramp(10)))
        self.write("fLaC.flac", b"fLaC\0\0\0\x22" + b"\0" * 34)
        self.write("mono.wav", wav_bytes([1, 2]).replace(struct.pack("<HH", 1, 2), struct.pack("<HH", 1, 1), 1))
        cases = [
            (["missing.wav", good], b"Error opening A: Unable to open input file.\n"),
            (["fLaC.flac", "missing.wav"], b"Error opening A: Input is not RIFF/RF64 WAVE.\n"),
            ([good, "fLaC.flac"], b"Error opening B: Input is not RIFF/RF64 WAVE.\n"),
            ([good, "mono.wav"], b"Error opening B: Requires stereo integer PCM WAVE.\n"),
        ]
        for paths, stderr in cases:
            with self.subTest(paths=paths):
                self.assertOutcome(self.run_program(["--compare-pcm"] + paths), 1, b"", stderr)
        self.assertFiles(["fLaC.flac", "good.wav", "mono.wav"])


if __name__ == "__main__":
    harness.main()
