"""Which metadata blocks reach decoded FLAC output, read back with metaflac."""
import re
import struct
import subprocess
import unittest
import zlib

import harness
import hdcd_inputs

TAG_ARGS = ["--track", "3", "--date", "1999", "--album", "Al", "--artist", "Ar", "--title", "Ti"]
TAG_COMMENTS = ["TITLE=Ti", "ARTIST=Ar", "ALBUM=Al", "DATE=1999", "TRACKNUMBER=3", "ENCODER=QV-HDCD 1.0.1.0"]


def tiny_png(colour):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"\0" + bytes(colour)))
            + chunk(b"IEND", b""))


def blocks(path):
    """[(type name, details)] after STREAMINFO: comments for VORBIS_COMMENT
    blocks, the description for PICTURE blocks."""
    listing = subprocess.run(["metaflac", "--list", path], stdout=subprocess.PIPE, check=True).stdout.decode()
    found = []
    for text in listing.split("METADATA block #")[1:]:
        kind = re.search(r"type: \d+ \((\w+)\)", text).group(1)
        if kind == "VORBIS_COMMENT":
            found.append((kind, re.findall(r"comment\[\d+\]: (.*)", text)))
        elif kind == "PICTURE":
            found.append((kind, re.search(r"description: (.*)", text).group(1)))
        else:
            found.append((kind, None))
    assert found[0][0] == "STREAMINFO"
    return found[1:]


@unittest.skipUnless(hdcd_inputs.HAVE_FLAC_TOOLS, "needs flac and metaflac")
class FlacMetadataTest(harness.CliTestCase):
    def make_tagged_input(self):
        hdcd_inputs.make_lle(self)
        for index, colour in enumerate([(255, 0, 0), (0, 0, 255)]):
            hdcd_inputs.write_file(self, "p%d.png" % index, tiny_png(colour))
        hdcd_inputs.to_flac(self, "lle.wav", "in.flac", "--padding=4096", "-S", "2s",
                            "--tag=ARTIST=Input Artist", "--tag=GENRE=Test",
                            "--picture=3||front||" + self.path("p0.png"),
                            "--picture=4||back||" + self.path("p1.png"))
        kinds = [kind for kind, _ in blocks(self.path("in.flac"))]
        self.assertTrue({"PADDING", "SEEKTABLE"} <= set(kinds), kinds)
        return [block for block in blocks(self.path("in.flac")) if block[0] in ("VORBIS_COMMENT", "PICTURE")]

    def decode(self, args):
        result = self.run_program(args + ["--quiet"])
        self.assertOutcome(result, 0)
        completed = subprocess.run(["flac", "-t", "-s", self.path(args[1])], stderr=subprocess.PIPE)
        self.assertEqual(completed.returncode, 0, completed.stderr)
        return blocks(self.path(args[1]))

    def test_flac_input(self):
        carried = self.make_tagged_input()
        self.assertEqual([kind for kind, _ in carried], ["VORBIS_COMMENT", "PICTURE", "PICTURE"])
        # Without tags: the input's comments and pictures, in their order; no
        # padding or seek table, no ENCODER comment.
        self.assertEqual(self.decode(["in.flac", "plain.flac"]), carried)
        # With tags: the pictures, then the one block built from the tags.
        pictures = [block for block in carried if block[0] == "PICTURE"]
        self.assertEqual(self.decode(["in.flac", "tagged.flac"] + TAG_ARGS),
                         pictures + [("VORBIS_COMMENT", TAG_COMMENTS)])

    def test_wav_input(self):
        hdcd_inputs.make_lle(self)
        self.assertEqual(self.decode(["lle.wav", "tagged.flac"] + TAG_ARGS), [("VORBIS_COMMENT", TAG_COMMENTS)])
        # Without tags no comment is written (libFLAC still adds its own block
        # holding just the vendor string).
        plain = self.decode(["lle.wav", "plain.flac"])
        self.assertEqual([details for kind, details in plain if kind == "VORBIS_COMMENT"], [[]] * len(plain))
        self.assertLessEqual(len(plain), 1)


if __name__ == "__main__":
    harness.main()
