#!/usr/bin/python3
"""Writes the seed corpora under fuzz/corpus/. Run once by hand when a seed
is to change; the generated files are kept in the repository.

The FLAC seeds need the flac and metaflac tools."""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def put(target, name, data):
    directory = os.path.join(CORPUS, target)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as handle:
        handle.write(data)


def chunk(ident, body, declared=None):
    size = len(body) if declared is None else declared
    data = ident + struct.pack("<I", size) + body
    if len(body) % 2:
        data += b"\0"
    return data


def fmt_body(tag=1, channels=2, rate=44100, bits=16, align=None):
    if align is None:
        align = channels * bits // 8
    return struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)


def extensible_body(bits, valid, sub_format=1):
    align = 2 * bits // 8
    return fmt_body(0xFFFE, 2, 48000, bits, align) + struct.pack("<HHI", 22, valid, 3) + \
        bytes([sub_format, 0]) + b"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"


def pcm16(frames):
    values = []
    for n in range(frames):
        values += [(n * 1237) % 65536 - 32768, (n * 3301) % 65536 - 32768]
    return struct.pack("<%dh" % len(values), *values)


def pcm24(frames):
    out = bytearray()
    for n in range(2 * frames):
        out += ((n * 0x12345) & 0xFFFFFF).to_bytes(3, "little")
    return bytes(out)


def wave(form, chunks):
    return form + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks


def wav_seeds():
    put("wav_reader", "pcm16.wav", wave(b"RIFF", chunk(b"fmt ", fmt_body()) + chunk(b"data", pcm16(12))))
    put("wav_reader", "pcm24_odd_chunk.wav",
        wave(b"RIFF", chunk(b"LIST", b"abc") + chunk(b"fmt ", fmt_body(bits=24)) + chunk(b"data", pcm24(5))))
    put("wav_reader", "pcm20_in_24.wav",
        wave(b"RIFF", chunk(b"fmt ", extensible_body(24, 20)) + chunk(b"data", pcm24(4) + b"\x10\x00\x80")))
    ds64 = struct.pack("<QQQI", 0, 48, 12, 0)
    put("wav_reader", "rf64.wav",
        wave(b"RF64", chunk(b"ds64", ds64) + chunk(b"fmt ", fmt_body()) + chunk(b"data", pcm16(12), 0xFFFFFFFF)))
    put("wav_reader", "truncated.wav", wave(b"RIFF", chunk(b"fmt ", fmt_body()) + chunk(b"data", pcm16(8), 4000)))
    put("wav_reader", "float_extensible.wav",
        wave(b"RIFF", chunk(b"fmt ", extensible_body(24, 24, 3)) + chunk(b"data", pcm24(2))))


def flac_seeds():
    with tempfile.TemporaryDirectory() as scratch:
        raw16 = os.path.join(scratch, "a.raw")
        with open(raw16, "wb") as handle:
            handle.write(pcm16(300))
        raw24 = os.path.join(scratch, "b.raw")
        with open(raw24, "wb") as handle:
            handle.write(pcm24(200))
        png = os.path.join(scratch, "p.png")
        with open(png, "wb") as handle:
            handle.write(bytes.fromhex("89504e470d0a1a0a0000000d49484452000000010000000108000000003a7e9b55"
                                       "0000000a4944415408d76360000000020001e221bc330000000049454e44ae426082"))
        common = ["flac", "--silent", "--force", "--force-raw-format", "--endian=little", "--sign=signed",
                  "--channels=2", "--sample-rate=44100", "--blocksize=192", "--padding=0"]
        outputs = [("pcm16.flac", raw16, 16, ["--tag=TITLE=seed", "--picture=" + png]),
                   ("pcm24.flac", raw24, 24, ["--no-md5-sum"])]
        for name, raw, bits, extra in outputs:
            path = os.path.join(scratch, name)
            subprocess.run(common + ["--bps=%d" % bits] + extra + ["-o", path, raw], check=True)
            with open(path, "rb") as handle:
                put("flac_reader", name, handle.read())


def hdcd_bits_packet_a(payload):
    return struct.pack(">I", 0x7E0FA005) + bytes([payload])


def hdcd_bits_packet_b(control, check=None):
    if check is None:
        check = ~control & 0xFF
    return struct.pack(">I", 0x7E0FA006) + bytes([control, check])


def hdcd_seed(rate_choice, cut_seed, level, left, right):
    # Signalling mode: byte 0 bit 0 set, the sample-rate choice in bits 1-2.
    half = max(len(left), len(right))
    left = left.ljust(half, b"\0")
    right = right.ljust(half, b"\0")
    return bytes([1 | (rate_choice << 1), cut_seed, level]) + left + right


def hdcd_seeds():
    gap = b"\0" * 12
    a = gap + hdcd_bits_packet_a(0x17) + gap + hdcd_bits_packet_a(0x03)
    b = gap + hdcd_bits_packet_b(0x1F) + gap + hdcd_bits_packet_b(0x05)
    put("hdcd", "packets_a.bin", hdcd_seed(0, 3, 200, a, a))
    put("hdcd", "packets_b_mismatch.bin", hdcd_seed(1, 7, 255, b, gap + hdcd_bits_packet_b(0x02)))
    put("hdcd", "packets_bad_check.bin", hdcd_seed(0, 9, 90, gap + hdcd_bits_packet_b(0x12, 0x12), b))
    put("hdcd", "short_timer.bin", hdcd_seed(2, 5, 255, b + gap * 8 + b, a + gap * 8))
    put("hdcd", "raw.bin", bytes([0, 1]) + pcm16(64))


def command_line_seeds():
    seeds = {
        "plain.args": ["in.wav", "out.flac"],
        "tags.args": ["--title", "T", "--year", "1999", "in.flac", "--albumartist", "", "out.FLAC", "--quiet"],
        "eac.args": ["--eac", "x.wav", "x.wav", "--preserve-hdcd", "--overwrite"],
        "value_like_option.args": ["--comment", "--quiet", "-", "--track", "--disc", "a", "b"],
        "errors.args": ["a", "b", "c", "--bogus"],
        "missing_value.args": ["a", "b", "--copyright"],
    }
    for name, arguments in seeds.items():
        put("command_line", name, b"\0".join(a.encode() for a in arguments))


def main():
    wav_seeds()
    flac_seeds()
    hdcd_seeds()
    command_line_seeds()
    return 0


if __name__ == "__main__":
    sys.exit(main())
