#include "cli/usage.h"

#include <cstdio>

#include "console/banner.h"

namespace {

const char* const USAGE_LINES[] = {
    "",
    "Usage:",
    "  qv-hdcd.exe --scan input.wav|input.flac",
    "  qv-hdcd.exe input.wav|input.flac output.wav|output.flac [--overwrite] [--quiet]",
    "  qv-hdcd.exe --eac input.wav|input.flac output.wav|output.flac",
    "  qv-hdcd.exe input.wav|input.flac output.wav|output.flac --preserve-hdcd [--overwrite] [--quiet]",
    "  qv-hdcd.exe --compare-pcm a.wav b.wav",
    "  qv-hdcd.exe --make-lle-test output.wav",
    "  qv-hdcd.exe --flac-status",
    "  qv-hdcd.exe --selftest",
    "  qv-hdcd.exe --version",
    "",
    "Decode scope:",
    "  PCM16 stereo HDCD WAV/FLAC -> PCM24 stereo WAV/FLAC",
    "  Peak Extend: enabled",
    "  Low-Level Gain: enabled (stereo-coordinated)",
    "",
    "Preserve mode:",
    "  --preserve-hdcd keeps original PCM16 samples unchanged.",
    "  --eac enables EAC-safe output handling, quiet mode and overwrite.",
    "",
    "EAC / FLAC metadata:",
    "  --title <text>  --artist <text>  --album <text>",
    "  --album-artist <text>  (--albumartist is an alias)",
    "  --genre <text>  --date <text>  (--year is an alias)",
    "  --track <n>  --tracktotal <n>  --disc <n>  --disctotal <n>",
    "  --comment <text>  --composer <text>  --copyright <text>",
    "  Metadata is written to FLAC output as Vorbis comments.",
    "  WAV/RF64 output remains untagged.",
    "  WAV/RF64 <-> FLAC container conversion remains HDCD-decodable.",
    "",
    "Conversion safety:",
    "  Decode and preserve modes first confirm valid HDCD signalling.",
    "  If HDCD is not detected, conversion stops and no output is created.",
};

}  // namespace

void print_usage() {
    banner_print();
    for (const char* line : USAGE_LINES) std::puts(line);
}
