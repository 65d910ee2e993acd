"""--make-lle-test, then --scan, the HDCD pre-check and decoding, on the synthetic file and copies made by
flac and soundfile; metadata read back with metaflac (make deps installs both)."""
import os
import re
import subprocess

import numpy as np

import harness
import hdcd_inputs as inputs
from hdcd_inputs import CHECK_YES, FLAC_DECODE_ERROR, LLE_REPORT

NO_HDCD_REPORT = b"\nHDCD detected: No\n"
CHECK_FAILED = b"Checking for HDCD... failed\n"
ALPHA5 = b"Error: Alpha 5 decoding is restricted to original PCM16 input.\n"
RC1 = b"Error: RC1 decoding remains restricted to original PCM16 HDCD input.\n"
STATISTICS = b"Peak-expanded PCM samples: 0\nGain-adjusted PCM samples: 442126\n\nComplete.\n"
# Every tag option with a value of its own, and the comments they make in their order.
TAG_ARGS = ["--copyright", "(c)", "--composer", "Comp", "--comment", "Note", "--disctotal", "2", "--disc", "1",
            "--tracktotal", "12", "--track", "3", "--genre", "Rock", "--date", "1999", "--album-artist", "AA",
            "--album", "Al", "--artist", "Ar", "--title", "Ti"]
TAGS = ["TITLE=Ti", "ARTIST=Ar", "ALBUM=Al", "ALBUMARTIST=AA", "DATE=1999", "TRACKNUMBER=3", "TRACKTOTAL=12",
        "DISCNUMBER=1", "DISCTOTAL=2", "GENRE=Rock", "COMMENT=Note", "COMPOSER=Comp", "COPYRIGHT=(c)",
        "ENCODER=QV-HDCD 1.0.1.0"]
TAGS_BLOCK = ("VORBIS_COMMENT", TAGS)
LLE_CREATED = (b"Synthetic HDCD LLE test created: lle.wav\nDuration: 10.0 s\nPacket type: B\nPeak Extend: Off\n"
               b"Target sequence: 0.0 dB -> -4.0 dB -> -2.0 dB -> 0.0 dB\nPacket interval: 1000 samples\n\n"
               b"Next: scan this file with QV-HDCD and FFmpeg, then compare their decoded PCM.\n")
PNG = bytes.fromhex("89504e470d0a1a0a0000000d49484452000000010000000108000000003a7e9b55"
                    "0000000a4944415408d76360000000020001e221bc330000000049454e44ae426082")
HEADERS = {
    ("wav", "wav"): b"\nInput:  44100 Hz, PCM16, stereo WAV\nOutput: 44100 Hz, PCM24, stereo WAV\n"
                    b"Peak Extend: QV-native processing using validated reference transfer data\n"
                    b"Low-Level Gain: QV-native stereo envelope enabled\n",
    ("wav", "flac"): b"\nInput:  44100 Hz, PCM16, stereo WAV/RF64\nOutput: 44100 Hz, PCM24, stereo FLAC\n",
    ("flac", "flac"): b"\nInput:  44100 Hz, PCM16, stereo FLAC\nOutput: 44100 Hz, PCM24, stereo FLAC\n",
    ("flac", "wav"): b"\nInput:  44100 Hz, PCM16, stereo FLAC\nOutput: 44100 Hz, PCM24, stereo WAV/RF64\n",
}


def kind(name):
    return os.path.splitext(name)[1][1:]


def blocks(path):
    """[(type, details)] after STREAMINFO; details: comments, picture descriptions."""
    listing = subprocess.run(["metaflac", "--list", path], stdout=subprocess.PIPE, check=True).stdout.decode()
    found = []
    for text in listing.split("METADATA block #")[2:]:
        block = re.search(r"type: \d+ \((\w+)\)", text).group(1)
        details = {"VORBIS_COMMENT": re.findall(r"comment\[\d+\]: (.*)", text),
                   "PICTURE": re.findall(r"description: (.*)", text)}
        found.append((block, details.get(block)))
    return found


class ScanTest(harness.CliTestCase):
    def test_report_and_exit_status(self):
        # --make-lle-test replaces an old file without asking; what the file signals, the scans show.
        inputs.write_file(self, "lle.wav", b"old contents")
        self.assertOutcome(self.run_program(["--make-lle-test", "lle.wav"]), 0, LLE_CREATED)
        samples, rate = inputs.read_pcm(self.path("lle.wav"), shift=16)
        # A 44-byte header and 4-byte frames: stereo PCM16 without other chunks.
        self.assertEqual((rate, samples.shape, os.path.getsize(self.path("lle.wav"))),
                         (44100, (inputs.LLE_FRAMES, 2), 44 + 4 * inputs.LLE_FRAMES))
        self.assertEqual(samples[:3].tolist(), [[0, 3202], [1698, 4586], [3362, 5876]])
        inputs.widen_to_pcm24(self, "lle.wav", "lle24.wav")
        inputs.write_file(self, "plain.wav", inputs.wav_bytes(inputs.tone_without_hdcd()))
        inputs.write_file(self, "empty.wav", inputs.wav_bytes([]))
        cases = [("lle.wav", 0, b"PCM16, stereo WAV", LLE_REPORT, inputs.progress()),
                 # Widened by eight zero bits, the signalling sits at bit 8.
                 ("lle24.wav", 0, b"PCM24, stereo WAV", LLE_REPORT, inputs.progress()),
                 ("plain.wav", 2, b"PCM16, stereo WAV", NO_HDCD_REPORT, inputs.progress(40000)),
                 ("empty.wav", 2, b"PCM16, stereo WAV", NO_HDCD_REPORT, b"\n")]
        inputs.to_flac(self, "lle.wav", "lle.flac")
        cases.append(("lle.flac", 0, b"FLAC PCM16, stereo", LLE_REPORT, inputs.progress()))
        for name, status, input_line, report, progress in cases:
            with self.subTest(name):
                stdout = inputs.banner() + b"\nInput: 44100 Hz, " + input_line + b"\n\nScanning...\n" + report
                self.assertOutcome(self.run_program(["--scan", name]), status, stdout, progress)
                self.assertOutcome(self.run_program(["--scan", name, "--quiet", "--quiet"]), status)


class DecodeTest(harness.CliTestCase):
    def test_every_container_pair_decodes_the_same_samples(self):
        inputs.to_flac(self, inputs.make_lle(self), "lle.flac")
        reference = None
        for source, target in [("lle.wav", "from-wav.wav"), ("lle.wav", "from-wav.flac"),
                               ("lle.flac", "from-flac.flac"), ("lle.flac", "from-flac.wav")]:
            with self.subTest(source=source, target=target):
                stdout = CHECK_YES + inputs.banner() + HEADERS[kind(source), kind(target)] + b"\nDecoding...\n"
                self.assertOutcome(self.run_program([source, target]), 0, stdout + LLE_REPORT + STATISTICS,
                                   inputs.progress())
                # One pipe for both streams reads in terminal order: stdout goes out before stderr is written.
                logged = self.run_program([source, target, "--overwrite"], together=True)
                self.assertEqual(logged.stdout, stdout + inputs.progress() + LLE_REPORT + STATISTICS)
                decoded, rate = inputs.read_pcm(self.path(target))
                reference = decoded if reference is None else reference
                # The detector takes the -4.0 dB code at frame 44303.
                self.assertEqual((rate, decoded.shape, decoded[44303].tolist()),
                                 (44100, (inputs.LLE_FRAMES, 2), [-817425, -1028018]))
                self.assertTrue(np.array_equal(decoded, reference))
                if kind(target) == "flac":
                    inputs.check_flac(self, target)

    def test_pcm16_restriction_keeps_an_existing_output(self):
        # The pre-check finds the widened signalling; the decode refuses, leaving the output path alone.
        inputs.widen_to_pcm24(self, inputs.make_lle(self), "lle24.wav")
        cases = [("lle24.wav", "out.wav", ALPHA5), ("lle24.wav", "out.flac", RC1)]
        inputs.to_flac(self, "lle24.wav", "lle24.flac")
        cases += [("lle24.flac", "out.flac", RC1), ("lle24.flac", "out.wav", RC1)]
        for source, target, message in cases:
            with self.subTest(source=source, target=target):
                inputs.write_file(self, target, b"precious")
                self.assertOutcome(self.run_program([source, target, "--quiet", "--overwrite"]), 1, b"", message)
                self.assertEqual(harness.read_bytes(self.path(target)), b"precious")
                os.remove(self.path(target))

    def test_flac_that_fails_to_decode_leaves_no_output(self):
        inputs.make_lle(self)
        for damage in ("frame", "md5"):
            bad = inputs.damage_flac(self, "lle.wav", damage)
            for args in (["--scan", bad], [bad, "out.flac"], [bad, "out.wav"]):
                with self.subTest(damage, args=args):
                    self.assertOutcome(self.run_program(args + ["--quiet"]), 1, b"", FLAC_DECODE_ERROR)
                    self.assertFiles([bad, "lle.wav"])


class PreCheckTest(harness.CliTestCase):
    def test_input_without_signalling_or_unreadable(self):
        inputs.write_file(self, "plain.wav", inputs.wav_bytes(inputs.tone_without_hdcd()))
        for target, quiet in [("kept.wav", False), ("kept.flac", True)]:
            with self.subTest(target, quiet=quiet):
                args = ["plain.wav", target, "--overwrite"] + ["--quiet"] * quiet
                stdout = b"" if quiet else b"Checking for HDCD... No\n"
                inputs.write_file(self, target, b"untouched")
                self.assertOutcome(self.run_program(args), 2, stdout, inputs.NO_HDCD_LINES)
                self.assertEqual(harness.read_bytes(self.path(target)), b"untouched")
        result = self.run_program(["missing.wav", "out.wav"])
        self.assertEqual((result.status, result.stdout), (1, CHECK_FAILED), result)
        # No signalling before the damage: the check reads to the end and fails there.
        bad = inputs.damage_flac(self, "plain.wav", "md5")
        self.assertOutcome(self.run_program([bad, "out.flac"]), 1, CHECK_FAILED,
                           b"Error while checking input for HDCD signalling.\n")
        self.assertFiles(["plain.wav", "kept.wav", "kept.flac", "bad.flac"])


class FlacMetadataTest(harness.CliTestCase):
    def decode(self, *args):
        self.assertOutcome(self.run_program(list(args) + ["--quiet"]), 0)
        inputs.check_flac(self, args[1])
        return blocks(self.path(args[1]))

    def test_flac_input(self):
        inputs.write_file(self, "p.png", PNG)
        inputs.to_flac(self, inputs.make_lle(self), "in.flac", "--padding=4096", "-S", "2s", "--tag=GENRE=Test",
                       "--tag=ARTIST=Input Artist", "--picture=3||front||" + self.path("p.png"),
                       "--picture=4||back||" + self.path("p.png"))
        given = blocks(self.path("in.flac"))
        self.assertEqual(" ".join(block for block, _ in given), "SEEKTABLE VORBIS_COMMENT PICTURE PICTURE PADDING")
        # Without tags: the input's comments and pictures in their order, no
        # padding or seek table, no ENCODER comment.
        self.assertEqual(self.decode("in.flac", "plain.flac"), given[1:4])
        # With tags: the pictures, then the one block built from the tags.
        self.assertEqual(self.decode("in.flac", "tagged.flac", *TAG_ARGS), given[2:4] + [TAGS_BLOCK])

    def test_wav_input(self):
        inputs.make_lle(self)
        # An empty value makes no comment.
        self.assertEqual(self.decode("lle.wav", "tagged.flac", *TAG_ARGS, "--album-artist", ""),
                         [("VORBIS_COMMENT", [tag for tag in TAGS if not tag.startswith("ALBUMARTIST")])])


if __name__ == "__main__":
    harness.main()
