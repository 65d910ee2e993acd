"""An independent WAV/RF64 reader and writer (libsndfile through python3-soundfile).

  soundfile_peer.py write OUT FORMAT SUBTYPE RATE RAW_IN
  soundfile_peer.py read IN RAW_OUT
RAW files hold stereo little-endian int32 samples at the subtype's width (PCM_16 or PCM_24); FORMAT
is WAV or RF64. read also writes "FORMAT SUBTYPE RATE CHANNELS FRAMES" to RAW_OUT.txt. Exits 77 without soundfile.
"""
import sys

try:
    import numpy as np
    import soundfile as sf
except ImportError:
    sys.exit(77)

SHIFT = {"PCM_16": 16, "PCM_24": 8}  # soundfile takes int32 data at full scale

if sys.argv[1] == "write":
    out_path, container, subtype, rate, raw_path = sys.argv[2:]
    samples = np.fromfile(raw_path, dtype="<i4").reshape(-1, 2).astype(np.int64) << SHIFT[subtype]
    sf.write(out_path, samples.astype(np.int32), int(rate), format=container, subtype=subtype)
else:
    in_path, raw_path = sys.argv[2:]
    info = sf.info(in_path)
    data, _rate = sf.read(in_path, dtype="int32", always_2d=True)
    (data >> SHIFT[info.subtype]).astype("<i4").tofile(raw_path)
    with open(raw_path + ".txt", "w") as handle:
        handle.write("%s %s %d %d %d\n" % (info.format, info.subtype, info.samplerate, info.channels, info.frames))
