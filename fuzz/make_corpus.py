#!/usr/bin/python3
"""Writes the seed corpora kept under fuzz/corpus/ (run by hand; the FLAC seeds need flac)."""
import struct
import subprocess
import tempfile
from pathlib import Path

CORPUS = Path(__file__).resolve().parent / "corpus"
GUID_TAIL = bytes.fromhex("000000001000800000aa00389b71")  # KSDATAFORMAT_SUBTYPE GUID after its tag
PNG = bytes.fromhex("89504e470d0a1a0a0000000d49484452000000010000000108000000003a7e9b55"
                    "0000000a4944415408d76360000000020001e221bc330000000049454e44ae426082")


def put(target, name, data):
    (CORPUS / target).mkdir(parents=True, exist_ok=True)
    (CORPUS / target / name).write_bytes(data)


def chunk(ident, body, declared=None):
    return ident + struct.pack("<I", len(body) if declared is None else declared) + body + b"\0" * (len(body) % 2)


def wave(form, *chunks):
    body = b"WAVE" + b"".join(chunks)
    return form + struct.pack("<I", len(body)) + body


def fmt(tag=1, bits=16, rate=44100, extension=b""):
    return chunk(b"fmt ", struct.pack("<HHIIHH", tag, 2, rate, rate * bits // 4, bits // 4, bits) + extension)


def extensible(bits, valid, sub_format=1):
    return fmt(0xFFFE, bits, 48000, struct.pack("<HHIH", 22, valid, 3, sub_format) + GUID_TAIL)


def pcm16(frames):
    return b"".join(struct.pack("<hh", n * 1237 % 65536 - 32768, n * 3301 % 65536 - 32768) for n in range(frames))


def pcm24(frames):
    return b"".join((n * 0x12345 & 0xFFFFFF).to_bytes(3, "little") for n in range(2 * frames))


def packet(kind, *payload):
    """Packet A (kind 5) or B (kind 6) as its bits appear in one channel's LSBs."""
    return struct.pack(">I", 0x7E0FA000 | kind) + bytes(payload)


def hdcd(rate_choice, cut_seed, level, left, right):
    # Signalling mode (byte 0 bit 0) with the sample-rate choice in bits 1-2.
    half = max(len(left), len(right))
    return bytes([1 | rate_choice << 1, cut_seed, level]) + left.ljust(half, b"\0") + right.ljust(half, b"\0")


put("wav_reader", "pcm16.wav", wave(b"RIFF", fmt(), chunk(b"data", pcm16(12))))
put("wav_reader", "pcm24_odd_chunk.wav", wave(b"RIFF", chunk(b"LIST", b"abc"), fmt(bits=24), chunk(b"data", pcm24(5))))
put("wav_reader", "pcm20_in_24.wav", wave(b"RIFF", extensible(24, 20), chunk(b"data", pcm24(4) + b"\x10\x00\x80")))
put("wav_reader", "rf64.wav", wave(b"RF64", chunk(b"ds64", struct.pack("<QQQI", 0, 48, 12, 0)), fmt(),
                                   chunk(b"data", pcm16(12), 0xFFFFFFFF)))
put("wav_reader", "truncated.wav", wave(b"RIFF", fmt(), chunk(b"data", pcm16(8), 4000)))
put("wav_reader", "float_extensible.wav", wave(b"RIFF", extensible(24, 24, 3), chunk(b"data", pcm24(2))))

with tempfile.TemporaryDirectory() as scratch:
    png, raw, flac = (Path(scratch, name) for name in ("p.png", "a.raw", "a.flac"))
    png.write_bytes(PNG)
    for name, data, bits, extra in [("pcm16.flac", pcm16(300), 16, ["--tag=TITLE=seed", "--picture=%s" % png]),
                                    ("pcm24.flac", pcm24(200), 24, ["--no-md5-sum"])]:
        raw.write_bytes(data)
        subprocess.run(["flac", "--silent", "--force", "--force-raw-format", "--endian=little", "--sign=signed",
                        "--channels=2", "--sample-rate=44100", "--blocksize=192", "--padding=0",
                        "--bps=%d" % bits, *extra, "-o", str(flac), str(raw)], check=True)
        put("flac_reader", name, flac.read_bytes())

gap = b"\0" * 12
a = gap + packet(5, 0x17) + gap + packet(5, 0x03)
b = gap + packet(6, 0x1F, 0xE0) + gap + packet(6, 0x05, 0xFA)
put("hdcd", "packets_a.bin", hdcd(0, 3, 200, a, a))
put("hdcd", "packets_b_mismatch.bin", hdcd(1, 7, 255, b, gap + packet(6, 0x02, 0xFD)))
put("hdcd", "packets_bad_check.bin", hdcd(0, 9, 90, gap + packet(6, 0x12, 0x12), b))
put("hdcd", "short_timer.bin", hdcd(2, 5, 255, b + gap * 8 + b, a + gap * 8))
put("hdcd", "raw.bin", bytes([0, 1]) + pcm16(64))

# Arguments separated by single spaces ("  ": an empty argument).
for name, line in [("plain", "in.wav out.flac"),
                   ("tags", "--title T --year 1999 in.flac --albumartist  out.FLAC --quiet"),
                   ("eac", "--eac x.wav x.wav --preserve-hdcd --overwrite"),
                   ("value_like_option", "--comment --quiet - --track --disc a b"),
                   ("errors", "a b c --bogus"), ("missing_value", "a b --copyright")]:
    put("command_line", name + ".args", line.replace(" ", "\0").encode())
