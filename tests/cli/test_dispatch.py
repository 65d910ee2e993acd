"""The first argument chooses the command; later arguments never do."""
import harness

USAGE = b"".join(line + b"\n" for line in [
    b"QV-HDCD 1.0.1.0 - Varnel HDCD Audio Converter",
    b"Copyright (c) 2026 Varnel. All rights reserved.",
    b"",
    b"Usage:",
    b"  qv-hdcd.exe --scan input.wav|input.flac",
    b"  qv-hdcd.exe input.wav|input.flac output.wav|output.flac [--overwrite] [--quiet]",
    b"  qv-hdcd.exe --eac input.wav|input.flac output.wav|output.flac",
    b"  qv-hdcd.exe input.wav|input.flac output.wav|output.flac --preserve-hdcd [--overwrite] [--quiet]",
    b"  qv-hdcd.exe --compare-pcm a.wav b.wav",
    b"  qv-hdcd.exe --make-lle-test output.wav",
    b"  qv-hdcd.exe --flac-status",
    b"  qv-hdcd.exe --selftest",
    b"  qv-hdcd.exe --version",
    b"",
    b"Decode scope:",
    b"  PCM16 stereo HDCD WAV/FLAC -> PCM24 stereo WAV/FLAC",
    b"  Peak Extend: enabled",
    b"  Low-Level Gain: enabled (stereo-coordinated)",
    b"",
    b"Preserve mode:",
    b"  --preserve-hdcd keeps original PCM16 samples unchanged.",
    b"  --eac enables EAC-safe output handling, quiet mode and overwrite.",
    b"",
    b"EAC / FLAC metadata:",
    b"  --title <text>  --artist <text>  --album <text>",
    b"  --album-artist <text>  (--albumartist is an alias)",
    b"  --genre <text>  --date <text>  (--year is an alias)",
    b"  --track <n>  --tracktotal <n>  --disc <n>  --disctotal <n>",
    b"  --comment <text>  --composer <text>  --copyright <text>",
    b"  Metadata is written to FLAC output as Vorbis comments.",
    b"  WAV/RF64 output remains untagged.",
    b"  WAV/RF64 <-> FLAC container conversion remains HDCD-decodable.",
    b"",
    b"Conversion safety:",
    b"  Decode and preserve modes first confirm valid HDCD signalling.",
    b"  If HDCD is not detected, conversion stops and no output is created.",
])

SELFTEST = (b"Self-test: PASS\n"
            b"  native packet state: ready\n"
            b"  Peak Extend table size: 9856\n"
            b"  Peak Extend lower anchor: OK\n"
            b"  Peak Extend upper anchor: OK\n"
            b"  Low-Level Gain unity anchor: OK\n"
            b"  Low-Level Gain -7.5 dB anchor: OK\n")

LLE_USAGE = b"Usage: qv-hdcd.exe --make-lle-test output.wav\n"
COMPARE_USAGE = b"Usage: qv-hdcd.exe --compare-pcm a.wav b.wav\n"


class DispatchTest(harness.CliTestCase):
    def test_fixed_outputs(self):
        cases = [
            # (arguments, status, stdout, stderr)
            ([], 1, USAGE, b""),
            (["--help"], 0, USAGE, b""),
            (["--help", "--version"], 0, USAGE, b""),
            (["--version", "--help"], 0, b"QV-HDCD 1.0.1.0\n", b""),
            (["--selftest"], 0, SELFTEST, b""),
            (["--selftest", "--version", "x.wav"], 0, SELFTEST, b""),
            # Wrong argument counts for the two diagnostic tools.
            (["--make-lle-test"], 1, b"", LLE_USAGE),
            (["--make-lle-test", "a.wav", "b.wav"], 1, b"", LLE_USAGE),
            (["--compare-pcm"], 1, b"", COMPARE_USAGE),
            (["--compare-pcm", "a.wav", "b.wav", "c.wav"], 1, b"", COMPARE_USAGE),
            (["--compare-pcm", "--help"], 1, b"", COMPARE_USAGE),
        ]
        for args, status, stdout, stderr in cases:
            with self.subTest(args=args):
                self.assertOutcome(self.run_program(args), status, stdout, stderr)
                self.assertFiles([])

    def test_flac_status_report_shape(self):
        # Whether libFLAC loads depends on the machine; the report's form does not.
        result = self.run_program(["--flac-status", "--help"])
        self.assertEqual(result.stderr, b"")
        if result.status == 0:
            self.assertEqual(result.stdout, b"FLAC support: available\n")
        else:
            self.assertEqual(result.status, 2)
            self.assertRegex(result.stdout, rb"\AFLAC support: unavailable\n[^\n]*\n\Z")
        self.assertFiles([])


if __name__ == "__main__":
    harness.main()
