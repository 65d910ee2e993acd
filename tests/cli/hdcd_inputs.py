"""Inputs and expected texts shared by the operation tests: the program's own
synthetic Low-Level Gain file, copies of it made by independent tools (flac,
soundfile), and plain WAV files built byte by byte."""
import os
import shutil
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
NO_HDCD_REPORT = b"\nHDCD detected: No\n"
DECODE_STATISTICS = b"Peak-expanded PCM samples: 0\nGain-adjusted PCM samples: 442126\n\nComplete.\n"

FLAC_DECODE_ERROR = b"Error while decoding FLAC input.\n"
NO_HDCD_LINES = b"HDCD detected: No\nError: no valid HDCD signalling was detected.\nNo output file was created.\n"
HAVE_FLAC_TOOLS = shutil.which("flac") is not None and shutil.which("metaflac") is not None

_banner = None


def banner():
    """The two banner lines, as the usage text begins with them."""
    global _banner
    if _banner is None:
        result = harness.run(["--help"])
        lines = result.stdout.split(b"\n")
        _banner = lines[0] + b"\n" + lines[1] + b"\n"
    return _banner


def progress(frames_per_block, total):
    """The stderr of a loop over total frames in blocks, with its closing newline."""
    text = b""
    done = 0
    while done < total:
        done = min(done + frames_per_block, total)
        text += b"\rProgress: %3d%%" % (done * 100 // total)
    return text + b"\n"


def lle_progress():
    return progress(16384, LLE_FRAMES)


def make_lle(case, name="lle.wav"):
    result = case.run_program(["--make-lle-test", name])
    case.assertEqual(result.status, 0, result)
    return name


def to_flac(case, wav_name, flac_name, *extra):
    subprocess.run(["flac", "-s", "-f"] + list(extra) + ["-o", case.path(flac_name), case.path(wav_name)], check=True)
    return flac_name


def widen_to_pcm24(case, wav_name, out_name):
    samples, rate = sf.read(case.path(wav_name), dtype="int32")
    sf.write(case.path(out_name), samples, rate, subtype="PCM_24")
    return out_name


def read_pcm(path, shift=8):
    """Samples right-justified: PCM24 by default (soundfile delivers full scale)."""
    samples, rate = sf.read(path, dtype="int32")
    return samples >> shift, rate


def wav_bytes(samples, bits=16, rate=44100):
    """A plain stereo RIFF WAV holding interleaved right-justified samples."""
    if bits == 16:
        data = struct.pack("<%dh" % len(samples), *samples)
    else:
        data = b"".join(struct.pack("<i", v)[:3] for v in samples)
    align = 2 * bits // 8
    fmt = struct.pack("<HHIIHH", 1, 2, rate, rate * align, align, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def write_file(case, name, content):
    with open(case.path(name), "wb") as handle:
        handle.write(content)
    return name


def tone_without_hdcd(frames=40000):
    """A tone whose LSBs carry no packets (every sample even)."""
    n = np.arange(frames)
    left = (np.sin(n * 0.05) * 9000).astype(np.int32) & ~1
    right = (np.sin(n * 0.07) * 7000).astype(np.int32) & ~1
    return np.column_stack([left, right]).reshape(-1).tolist()


def corrupt(path, offset, mask=0xFF):
    with open(path, "r+b") as handle:
        handle.seek(offset)
        value = handle.read(1)[0]
        handle.seek(offset)
        handle.write(bytes([value ^ mask]))


def damage_flac_frame(path, fraction=0.7):
    """Flips a byte well inside the audio frames (after the first blocks)."""
    corrupt(path, int(os.path.getsize(path) * fraction))


def change_flac_md5(path):
    """Flips a byte of the MD5 signature in STREAMINFO, the first block."""
    with open(path, "rb") as handle:
        head = handle.read(8)
    assert head[:4] == b"fLaC" and head[4] & 0x7F == 0
    corrupt(path, 8 + 18)
