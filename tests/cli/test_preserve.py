"""--preserve-hdcd: container conversion that keeps every PCM16 sample, and its refusals."""
import os
import subprocess
import unittest
import zlib
import struct

import numpy as np
import soundfile as sf

import harness
import hdcd_inputs as inputs
from hdcd_inputs import HAVE_FLAC_TOOLS

CHECKING = b"Checking for HDCD... Yes\n"
BAD_SUFFIX = b"Error: --preserve-hdcd output must be .wav or .flac.\n"
NOT_PCM16 = b"Error: --preserve-hdcd requires stereo PCM16 input.\n"
EXISTS = b"Error: output file exists. Use --overwrite to replace it.\n"


def header(input_kind, output_kind):
    return (inputs.banner() + b"\nMode: Preserve HDCD\n"
            + b"Input:  44100 Hz, PCM16, stereo " + input_kind + b"\n"
            + b"Output: 44100 Hz, PCM16, stereo " + output_kind + b"\n"
            + b"HDCD decoding: Disabled\nPCM preservation: Lossless\n\nConverting...\n")


DONE = b"HDCD signalling samples preserved unchanged.\n\nComplete.\n"


def tiny_png():
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"\x00\xff\x00\x00")) + chunk(b"IEND", b""))


def metaflac(*args):
    return subprocess.run(["metaflac"] + list(args), check=True, stdout=subprocess.PIPE).stdout


class PreserveRoundTripTest(harness.CliTestCase):
    def setUp(self):
        super().setUp()
        inputs.make_lle(self)

    def scan_report(self, name):
        result = self.run_program(["--scan", name])
        self.assertEqual(result.status, 0, result)
        # Everything after the input line: the input line names the container.
        return result.stdout[result.stdout.index(b"Scanning..."):]

    def preserve(self, source, target, source_kind, target_kind):
        result = self.run_program([source, target, "--preserve-hdcd"])
        self.assertOutcome(result, 0, CHECKING + header(source_kind, target_kind) + DONE, inputs.lle_progress())

    @unittest.skipUnless(HAVE_FLAC_TOOLS, "needs flac")
    def test_every_direction_keeps_the_samples_bit_for_bit(self):
        inputs.to_flac(self, "lle.wav", "ref.flac")
        original = self.scan_report("lle.wav")
        original_samples, _ = inputs.read_pcm(self.path("lle.wav"), shift=16)
        chains = [
            # (steps of (source, target, source kind, target kind)); the last target is compared.
            [("lle.wav", "a.flac", b"WAV", b"FLAC"), ("a.flac", "a.wav", b"FLAC", b"WAV")],
            [("ref.flac", "b.WAV", b"FLAC", b"WAV")],
            [("ref.flac", "c.Flac", b"FLAC", b"FLAC")],
            [("lle.wav", "d.wav", b"WAV", b"WAV")],
        ]
        for steps in chains:
            with self.subTest(steps=[s[:2] for s in steps]):
                for step in steps:
                    self.preserve(*step)
                final = steps[-1][1]
                self.assertEqual(self.scan_report(final), original)
                samples, rate = inputs.read_pcm(self.path(final), shift=16)
                self.assertEqual(rate, 44100)
                np.testing.assert_array_equal(samples, original_samples)
                if not final.lower().endswith(".flac"):
                    compared = self.run_program(["--compare-pcm", "lle.wav", final])
                    self.assertEqual(compared.status, 0, compared)
                else:
                    subprocess.run(["flac", "-t", "-s", self.path(final)], check=True)

    def test_quiet_run_prints_nothing_and_writes_the_same_file(self):
        self.preserve("lle.wav", "loud.flac", b"WAV", b"FLAC")
        self.assertOutcome(self.run_program(["--quiet", "--preserve-hdcd", "lle.wav", "quiet.flac"]), 0)
        self.assertEqual(harness.read_bytes(self.path("loud.flac")), harness.read_bytes(self.path("quiet.flac")))

    def test_output_suffix_rule(self):
        accepted = ["o1.WAV", "o2.Flac", "o3.wav", "o4.flac"]
        for name in accepted:
            with self.subTest(name=name):
                result = self.run_program(["--quiet", "--preserve-hdcd", "lle.wav", name])
                self.assertOutcome(result, 0)
        refused = ["out.wv", "out.flac.bak", "out", "wav", "out.wave"]
        for name in refused:
            with self.subTest(name=name):
                result = self.run_program(["--preserve-hdcd", "lle.wav", name])
                self.assertOutcome(result, 1, CHECKING, BAD_SUFFIX)
        self.assertFiles(["lle.wav"] + accepted)

    def test_refusals_leave_existing_outputs_alone(self):
        inputs.widen_to_pcm24(self, "lle.wav", "wide.wav")
        inputs.write_file(self, "keep.wav", b"user data")
        cases = [
            # (arguments, stderr); the HDCD check passes in every case.
            (["wide.wav", "new.wav"], NOT_PCM16),
            (["wide.wav", "new.flac"], NOT_PCM16),
            # Refused before the output is touched, so even --overwrite keeps it.
            (["wide.wav", "keep.wav", "--overwrite"], NOT_PCM16),
            (["lle.wav", "keep.wav"], EXISTS),
        ]
        for args, stderr in cases:
            with self.subTest(args=args):
                result = self.run_program(["--quiet", "--preserve-hdcd"] + args)
                self.assertOutcome(result, 1, b"", stderr)
                self.assertFiles(["keep.wav", "lle.wav", "wide.wav"])
                self.assertEqual(harness.read_bytes(self.path("keep.wav")), b"user data")

    def test_no_hdcd_is_refused_before_any_output(self):
        inputs.write_file(self, "plain.wav", inputs.wav_bytes(inputs.tone_without_hdcd()))
        result = self.run_program(["--preserve-hdcd", "plain.wav", "out.flac"])
        self.assertEqual((result.status, result.stderr), (2, inputs.NO_HDCD_LINES))
        self.assertFiles(["lle.wav", "plain.wav"])


@unittest.skipUnless(HAVE_FLAC_TOOLS, "needs flac and metaflac")
class PreserveFlacMetadataTest(harness.CliTestCase):
    TAGS = ["ARTIST=Somebody", "TITLE=Original title", "COMMENT=kept as it was"]

    def setUp(self):
        super().setUp()
        inputs.make_lle(self)
        inputs.write_file(self, "cover.png", tiny_png())
        tag_args = ["-T" + tag for tag in self.TAGS]
        inputs.to_flac(self, "lle.wav", "tagged.flac", *tag_args)
        metaflac("--import-picture-from=3||front||" + self.path("cover.png"), self.path("tagged.flac"))
        metaflac("--import-picture-from=4||back||" + self.path("cover.png"), self.path("tagged.flac"))

    def comments(self, name):
        return metaflac("--export-tags-to=-", self.path(name)).decode().splitlines()

    def pictures(self, name):
        listing = metaflac("--list", "--block-type=PICTURE", self.path(name)).decode()
        # Everything but the block's own offsets and sizes in the listing.
        return [line for line in listing.splitlines() if "type:" in line or "description" in line
                or "data" in line]

    def block_types(self, name):
        lines = metaflac("--list", self.path(name)).decode().splitlines()
        return [lines[i + 1].split()[1] for i, line in enumerate(lines) if line.startswith("METADATA block")]

    def test_flac_metadata_follows_the_input_and_the_tag_options(self):
        encoder = "ENCODER=QV-HDCD 1.0.1.0"
        cases = [
            # (source, extra arguments, expected comments, pictures kept)
            ("tagged.flac", [], self.TAGS, True),
            ("tagged.flac", ["--title", "New", "--date", "2001"], ["TITLE=New", "DATE=2001", encoder], True),
            ("lle.wav", [], [], False),
            ("lle.wav", ["--artist", "A"], ["ARTIST=A", encoder], False),
        ]
        for index, (source, extra, comments, pictures) in enumerate(cases):
            with self.subTest(source=source, extra=extra):
                target = "out%d.flac" % index
                result = self.run_program(["--quiet", "--preserve-hdcd", source, target] + extra)
                self.assertOutcome(result, 0)
                self.assertEqual(self.comments(target), comments)
                self.assertEqual(self.pictures(target), self.pictures("tagged.flac") if pictures else [])
                # One comment block: the input's in its place, or the new one after the pictures.
                expected_types = {
                    (True, False): self.block_types("tagged.flac"),
                    (True, True): ["0", "6", "6", "4"],
                    (False, False): ["0", "4"],  # the encoder's own, holding no comments
                    (False, True): ["0", "4"],
                }[(pictures, bool(extra))]
                # Padding and seek table are not carried over.
                self.assertEqual(self.block_types(target), [t for t in expected_types if t in ("0", "4", "6")])

    def test_wav_output_drops_metadata(self):
        result = self.run_program(["--preserve-hdcd", "--quiet", "tagged.flac", "plain.wav", "--title", "x"])
        self.assertOutcome(result, 0)
        data = harness.read_bytes(self.path("plain.wav"))
        self.assertEqual(len(data), 44 + 4 * inputs.LLE_FRAMES)


if __name__ == "__main__":
    harness.main()
