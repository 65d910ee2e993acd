"""Inputs and expected texts shared by the operation tests."""
import functools
import struct
import subprocess

import numpy as np
import soundfile as sf

import harness

LLE_FRAMES = 441000
LLE_REPORT = (b"\nHDCD detected: Yes\nPacket type: B\nValid packets: 882\n  Left:  441\n  Right: 441\n"
              b"Packet errors: 0\nPeak Extend: Never\nPeak Extend packets: 0\nTransient Filter: Not detected\n"
              b"Maximum target gain adjustment: -4.0 dB\nCode-detect timer expirations: 0\n"
              b"Stereo gain mismatch samples: 0\nHDCD processing: Active\n")
NO_HDCD_LINES = b"HDCD detected: No\nError: no valid HDCD signalling was detected.\nNo output file was created.\n"
FLAC_DECODE_ERROR = b"Error while decoding FLAC input.\n"
CHECK_YES = b"Checking for HDCD... Yes\n"
EXISTS = b"Error: output file exists. Use --overwrite to replace it.\n"


@functools.lru_cache()
def banner():
    return b"\n".join(harness.run(["--help"]).stdout.split(b"\n")[:2]) + b"\n"


def progress(total=LLE_FRAMES, block=16384):
    """The stderr of a loop over total frames in blocks, with its closing newline."""
    done = range(block, total + block, block)
    return b"".join(b"\rProgress: %3d%%" % (min(d, total) * 100 // total) for d in done) + b"\n"


def make_lle(case, name="lle.wav"):
    case.assertEqual(case.run_program(["--make-lle-test", name]).status, 0)
    return name


def to_flac(case, wav_name, flac_name, *extra):
    subprocess.run(["flac", "-s", "-f", *extra, "-o", case.path(flac_name), case.path(wav_name)], check=True)
    return flac_name


def check_flac(case, name):
    completed = subprocess.run(["flac", "-t", "-s", case.path(name)], stderr=subprocess.PIPE)
    case.assertEqual(completed.returncode, 0, completed.stderr)


def damage_flac(case, source, kind, name="bad.flac"):
    """A FLAC copy of source with a byte flipped in STREAMINFO's MD5 ("md5") or in the audio frames."""
    data = bytearray(harness.read_bytes(case.path(to_flac(case, source, name))))
    data[8 + 18 if kind == "md5" else len(data) * 7 // 10] ^= 0xFF
    return write_file(case, name, data)


def cut(case, source, frames, target):
    samples, rate = sf.read(case.path(source), dtype="int16")
    sf.write(case.path(target), samples[:frames], rate, subtype="PCM_16")
    return target


def widen_to_pcm24(case, wav_name, out_name):
    samples, rate = sf.read(case.path(wav_name), dtype="int32")
    sf.write(case.path(out_name), samples, rate, subtype="PCM_24")
    return out_name


def read_pcm(path, shift=8):
    """Samples right-justified: PCM24 by default (soundfile delivers full scale)."""
    samples, rate = sf.read(path, dtype="int32")
    return samples >> shift, rate


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


def write_file(case, name, content):
    with open(case.path(name), "wb") as handle:
        handle.write(content)
    return name


def tone_without_hdcd(frames=40000):
    """A tone whose LSBs carry no packets (every sample even)."""
    n = np.arange(frames)
    tone = np.column_stack([np.sin(n * 0.05) * 9000, np.sin(n * 0.07) * 7000]).astype(np.int32) & ~1
    return tone.reshape(-1).tolist()
