"""An independent WAV/RF64 reader (libsndfile through python3-soundfile).

  soundfile_peer.py read IN RAW_OUT
RAW_OUT gets stereo little-endian int32 samples at the subtype's width (PCM_16 or PCM_24), and
RAW_OUT.txt "FORMAT SUBTYPE RATE CHANNELS FRAMES". Exits 77 without soundfile.
"""
import sys

try:
    import soundfile as sf
except ImportError:
    sys.exit(77)

SHIFT = {"PCM_16": 16, "PCM_24": 8}  # soundfile delivers int32 data at full scale

in_path, raw_path = sys.argv[2:]
info = sf.info(in_path)
data, _rate = sf.read(in_path, dtype="int32", always_2d=True)
(data >> SHIFT[info.subtype]).astype("<i4").tofile(raw_path)
with open(raw_path + ".txt", "w") as handle:
    handle.write("%s %s %d %d %d\n" % (info.format, info.subtype, info.samplerate, info.channels, info.frames))
