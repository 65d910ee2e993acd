#!/usr/bin/env bash
# Runs the program on its built-in example and shows what it does: makes the
# synthetic HDCD test file, scans it, and decodes it to PCM24 WAV and FLAC.
set -euo pipefail
build_dir=${1:-build}
program="$build_dir/qv-hdcd"
demo_dir="$build_dir/demo"
mkdir -p "$demo_dir"

echo "== $program --version"
"$program" --version
echo
echo "== $program --selftest"
"$program" --selftest
echo
echo "== $program --make-lle-test $demo_dir/lle-test.wav"
"$program" --make-lle-test "$demo_dir/lle-test.wav"
echo
echo "== $program --scan $demo_dir/lle-test.wav"
"$program" --scan "$demo_dir/lle-test.wav"
echo
echo "== $program $demo_dir/lle-test.wav $demo_dir/lle-decoded.wav --overwrite"
"$program" "$demo_dir/lle-test.wav" "$demo_dir/lle-decoded.wav" --overwrite
echo
echo "== $program $demo_dir/lle-test.wav $demo_dir/lle-decoded.flac --overwrite --title ... --track 1"
"$program" "$demo_dir/lle-test.wav" "$demo_dir/lle-decoded.flac" --overwrite \
    --title "Synthetic Low-Level Gain test" --artist "QV-HDCD" --album "Demo" --date "2026" --track 1
echo
echo "Files written:"
echo "  synthetic input:  $demo_dir/lle-test.wav"
echo "  decoded PCM24:    $demo_dir/lle-decoded.wav"
echo "  decoded FLAC:     $demo_dir/lle-decoded.flac"
echo
echo "== Preserve round trip: WAV -> FLAC -> WAV, samples unchanged"
"$program" "$demo_dir/lle-test.wav" "$demo_dir/lle-preserved.flac" --preserve-hdcd --overwrite --quiet
"$program" "$demo_dir/lle-preserved.flac" "$demo_dir/lle-roundtrip.wav" --preserve-hdcd --overwrite --quiet
"$program" --compare-pcm "$demo_dir/lle-test.wav" "$demo_dir/lle-roundtrip.wav"
echo "  preserved FLAC:   $demo_dir/lle-preserved.flac"
echo "  round trip WAV:   $demo_dir/lle-roundtrip.wav"
