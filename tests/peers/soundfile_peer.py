"""Independent WAV/RF64 reader and writer (libsndfile through python3-soundfile)
used by the unit tests to check our files against another implementation.

  soundfile_peer.py write OUT FORMAT SUBTYPE RATE RAW_IN
      RAW_IN holds interleaved stereo samples as little-endian int32, right-
      justified at the subtype's width; OUT is written as FORMAT (WAV or RF64)
      with SUBTYPE (PCM_16 or PCM_24).
  soundfile_peer.py read IN RAW_OUT
      Writes the samples of IN to RAW_OUT in the same raw form, and a line
      "FORMAT SUBTYPE RATE CHANNELS FRAMES" to RAW_OUT + ".txt".

Exit status 0 on success; 77 when soundfile is not available.
"""
import sys

try:
    import numpy as np
    import soundfile as sf
except ImportError:
    sys.exit(77)

SHIFT = {"PCM_16": 16, "PCM_24": 8}


def write(out_path, container, subtype, rate, raw_path):
    samples = np.fromfile(raw_path, dtype="<i4").reshape(-1, 2)
    # soundfile takes int32 data at full scale.
    sf.write(out_path, (samples.astype(np.int64) << SHIFT[subtype]).astype(np.int32), int(rate),
             format=container, subtype=subtype)


def read(in_path, raw_path):
    info = sf.info(in_path)
    data, _rate = sf.read(in_path, dtype="int32", always_2d=True)
    (data >> SHIFT[info.subtype]).astype("<i4").tofile(raw_path)
    with open(raw_path + ".txt", "w") as handle:
        handle.write("%s %s %d %d %d\n" % (info.format, info.subtype, info.samplerate, info.channels, info.frames))


def main(argv):
    if len(argv) == 7 and argv[1] == "write":
        write(*argv[2:])
    elif len(argv) == 4 and argv[1] == "read":
        read(*argv[2:])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
