"""The first argument chooses the command; the conversion and scan grammar."""
import harness

USAGE = b"""QV-HDCD 1.0.1.0 - Varnel HDCD Audio Converter
Copyright (c) 2026 Varnel. All rights reserved.

Usage:
  qv-hdcd.exe --scan input.wav|input.flac
  qv-hdcd.exe input.wav|input.flac output.wav|output.flac [--overwrite] [--quiet]
  qv-hdcd.exe --eac input.wav|input.flac output.wav|output.flac
  qv-hdcd.exe input.wav|input.flac output.wav|output.flac --preserve-hdcd [--overwrite] [--quiet]
  qv-hdcd.exe --compare-pcm a.wav b.wav
  qv-hdcd.exe --make-lle-test output.wav
  qv-hdcd.exe --flac-status
  qv-hdcd.exe --selftest
  qv-hdcd.exe --version

Decode scope:
  PCM16 stereo HDCD WAV/FLAC -> PCM24 stereo WAV/FLAC
  Peak Extend: enabled
  Low-Level Gain: enabled (stereo-coordinated)

Preserve mode:
  --preserve-hdcd keeps original PCM16 samples unchanged.
  --eac enables EAC-safe output handling, quiet mode and overwrite.

EAC / FLAC metadata:
  --title <text>  --artist <text>  --album <text>
  --album-artist <text>  (--albumartist is an alias)
  --genre <text>  --date <text>  (--year is an alias)
  --track <n>  --tracktotal <n>  --disc <n>  --disctotal <n>
  --comment <text>  --composer <text>  --copyright <text>
  Metadata is written to FLAC output as Vorbis comments.
  WAV/RF64 output remains untagged.
  WAV/RF64 <-> FLAC container conversion remains HDCD-decodable.

Conversion safety:
  Decode and preserve modes first confirm valid HDCD signalling.
  If HDCD is not detected, conversion stops and no output is created.
"""

SELFTEST = (b"Self-test: PASS\n  native packet state: ready\n  Peak Extend table size: 9856\n"
            b"  Peak Extend lower anchor: OK\n  Peak Extend upper anchor: OK\n"
            b"  Low-Level Gain unity anchor: OK\n  Low-Level Gain -7.5 dB anchor: OK\n")
VERSION = b"QV-HDCD 1.0.1.0\n"
LLE_USAGE = b"Usage: qv-hdcd.exe --make-lle-test output.wav\n"
COMPARE_USAGE = b"Usage: qv-hdcd.exe --compare-pcm a.wav b.wav\n"
THIRD = b"Unexpected positional argument: c.wav\n"
NOTE = b"Note: metadata options are ignored for WAV/RF64 output.\n"


def unexpected(argument):
    return b"Unexpected argument: " + argument + b"\n"


class DispatchTest(harness.CliTestCase):
    def test_fixed_outputs_and_argument_errors(self):
        cases = [
            # (arguments, status, stdout, stderr); none of them creates a file.
            ([], 1, USAGE, b""),
            (["--help", "--version"], 0, USAGE, b""),
            (["--version", "--bogus", "a.wav"], 0, VERSION, b""),
            (["--selftest", "--version", "x.wav"], 0, SELFTEST, b""),
            (["--make-lle-test", "a.wav", "b.wav"], 1, b"", LLE_USAGE),
            (["--compare-pcm", "--help"], 1, b"", COMPARE_USAGE),
            (["--HELP"], 1, b"", unexpected(b"--HELP")),
            (["-h"], 1, USAGE, b""),
            # The tag option swallows b.wav, leaving one file name.
            (["a.wav", "--title", "b.wav"], 1, USAGE, b""),
            (["a.wav", "--version", "b.wav"], 1, b"", unexpected(b"--version")),
            # Parsing stops at the third file name, before later errors.
            (["a.wav", "b.wav", "c.wav", "--bogus"], 1, b"", THIRD),
            (["a.wav", "b.wav", "c.wav", "--title"], 1, b"", THIRD),
            (["--bogus", "a.wav", "b.wav", "c.wav"], 1, b"", unexpected(b"--bogus")),
            # A value that looks like an option is still a value.
            (["a.wav", "b.wav", "--title", "--bogus", "c.wav"], 1, b"", THIRD),
            # A tag option at the end is named exactly as typed.
            (["a.wav", "b.wav", "--year"], 1, b"", b"Missing value for --year\n"),
            (["a.wav", "b.wav", "--albumartist"], 1, b"", b"Missing value for --albumartist\n"),
            # Scan: one input, then only --quiet.
            (["--scan"], 1, USAGE, b""),
            (["--scan", "a.wav", "b.wav"], 1, b"", unexpected(b"b.wav")),
            (["--scan", "--quiet", "a.wav"], 1, b"", unexpected(b"a.wav")),
        ]
        for args, status, stdout, stderr in cases:
            with self.subTest(args=args):
                self.assertOutcome(self.run_program(args), status, stdout, stderr)
                self.assertFiles([])

    def test_metadata_note_follows_output_suffix_and_quiet(self):
        # The input is missing: the note, when due, comes before the error.
        cases = [
            (["--title", "x", "missing.wav", "out.flac.bak"], True),
            (["--title", "x", "missing.flac", "out.wav"], True),
            (["--title", "x", "missing.wav", "out.fl\u00c1c"], True),
            (["--title", "x", "missing.wav", "out.FLAC"], False),
            (["--title", "x", "missing.wav", ".flac"], False),
            (["--title", "", "missing.wav", "out.wav"], True),
            # --quiet taken as the title's value leaves quiet off.
            (["--title", "--quiet", "missing.wav", "out.wav"], True),
            (["--quiet", "--title", "x", "missing.wav", "out.wav"], False),
            (["--eac", "--title", "x", "missing.wav", "out.wav"], False),
            (["--preserve-hdcd", "--year", "2001", "missing.wav", "out.wav"], True),
            (["missing.wav", "out.wav"], False),
        ]
        for args, note in cases:
            with self.subTest(args=args):
                result = self.run_program(args)
                self.assertEqual((result.status, result.stderr.startswith(NOTE), result.stderr.count(NOTE)),
                                 (1, note, int(note)), result)
                self.assertFiles([])


if __name__ == "__main__":
    harness.main()
