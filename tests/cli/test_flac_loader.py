"""libFLAC is loaded at run time from beside the program, else found by name."""
import ctypes
import glob
import os
import shutil
import struct
import subprocess
import unittest

import harness
import hdcd_inputs as inputs

NOT_ON_WINE = unittest.skipIf(harness.ON_WINDOWS_BUILD, "Linux loader messages, a Linux stand-in and raw argument bytes")
# libFLAC 1.5 with threads and its flac program (scripts/build-libflac-linux.sh).
FLAC_15 = os.path.join(harness.BINARY_DIR, "libflac-1.5")
FLAC_15_LIBRARIES = glob.glob(os.path.join(FLAC_15, "lib", "libFLAC.so.*"))


def audio_frames(path):
    """The bytes of a FLAC file after its metadata blocks."""
    data = harness.read_bytes(path)
    position, last = 4, False
    while not last:
        last = data[position] & 0x80
        position += 4 + struct.unpack(">I", b"\0" + data[position + 1:position + 4])[0]
    return data[position:]


class FlacLoaderTest(harness.CliTestCase):
    def test_status_reports_available_library(self):
        self.assertOutcome(self.run_program(["--flac-status"]), 0, b"FLAC support: available\n")

    def program_beside(self, library_source):
        """A copy of the program in a directory of its own, with library_source named as the library beside it."""
        os.mkdir(self.path("bin"))
        program = self.path("bin", os.path.basename(harness.PROGRAM))
        shutil.copy2(harness.PROGRAM, program)
        library = self.path("bin", harness.flac_library_name())
        shutil.copy2(library_source, library)
        return program, library

    @NOT_ON_WINE
    def test_unloadable_file_beside_program_is_reported_not_skipped(self):
        program, library = self.program_beside(os.path.join(harness.SOURCE_DIR, "README.md"))
        with self.assertRaises(OSError) as loading:
            ctypes.CDLL(library)
        expected = "Unable to load libFLAC.dll (%s).\n" % str(loading.exception).rstrip("\n\r .")
        result = harness.run(["--flac-status"], cwd=self.dir, program=program)
        self.assertOutcome(result, 2, b"FLAC support: unavailable\n" + expected.encode())

    @NOT_ON_WINE
    def test_library_lacking_one_entry_point_is_rejected_by_name(self):
        program, _ = self.program_beside(os.path.join(harness.BINARY_DIR, "tests", "flac_stub", "libflac_missing_export.so"))
        missing = b"libFLAC.dll is missing required export: FLAC__metadata_object_vorbiscomment_append_comment\n"
        result = harness.run(["--flac-status"], cwd=self.dir, program=program)
        self.assertOutcome(result, 2, b"FLAC support: unavailable\n" + missing)
        # A conversion that needs FLAC reports the same sentence and writes nothing.
        result = harness.run(["in.wav", "out.flac", "--title", "T"], cwd=self.dir, program=program)
        self.assertOutcome(result, 1, b"", b"Error: " + missing)
        self.assertFalse(os.path.exists(self.path("out.flac")))

    @NOT_ON_WINE
    @unittest.skipUnless(FLAC_15_LIBRARIES, "no libFLAC 1.5 build")
    def test_threads_of_libflac_1_5_change_no_byte(self):
        if len(os.sched_getaffinity(0)) < 2:
            self.skipTest("one processor: no second thread")
        program, _ = self.program_beside(FLAC_15_LIBRARIES[0])
        inputs.make_lle(self, "in.wav")
        one_processor = min(os.sched_getaffinity(0))
        for name, pinned in (("one.flac", lambda: os.sched_setaffinity(0, {one_processor})), ("all.flac", None)):
            self.assertOutcome(harness.run(["--quiet", "in.wav", name], cwd=self.dir, program=program,
                                           preexec_fn=pinned), 0)
        self.assertEqual(harness.read_bytes(self.path("one.flac")), harness.read_bytes(self.path("all.flac")))
        # The frames are those of flac 1.5 itself on the decoded samples.
        self.assertOutcome(self.run_program(["--quiet", "in.wav", "decoded.wav"]), 0)
        subprocess.run([os.path.join(FLAC_15, "bin", "flac"), "-s", "-5", "-V", "-j1", "-o", self.path("peer.flac"),
                        self.path("decoded.wav")], check=True, stderr=subprocess.DEVNULL)
        self.assertEqual(audio_frames(self.path("all.flac")), audio_frames(self.path("peer.flac")))

    @NOT_ON_WINE
    def test_tag_value_that_is_not_utf8_stops_the_run(self):
        result = self.run_program(["in.wav", "out.flac", "--artist", "fine", "--title", b"caf\xe9"])
        self.assertOutcome(result, 1, b"", b"Error: Unable to create FLAC metadata field TITLE.\n")
        self.assertFiles([])


if __name__ == "__main__":
    harness.main()
