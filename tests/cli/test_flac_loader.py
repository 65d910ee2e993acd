"""libFLAC is loaded at run time from beside the program, else found by name."""
import ctypes
import os
import shutil
import unittest

import harness

NOT_ON_WINE = unittest.skipIf(harness.ON_WINDOWS_BUILD, "Linux loader messages, a Linux stand-in and raw argument bytes")


class FlacLoaderTest(harness.CliTestCase):
    def test_status_reports_available_library(self):
        self.assertOutcome(self.run_program(["--flac-status"]), 0, b"FLAC support: available\n")

    def program_beside(self, library_source):
        """A copy of the program in a directory of its own, with library_source named as the library beside it."""
        os.mkdir(self.path("bin"))
        program = self.path("bin", os.path.basename(harness.PROGRAM))
        shutil.copy2(harness.PROGRAM, program)
        library = self.path("bin", harness.read_bytes(os.path.join(harness.BINARY_DIR, "flac_library_file.txt")).decode().strip())
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
    def test_tag_value_that_is_not_utf8_stops_the_run(self):
        result = self.run_program(["in.wav", "out.flac", "--artist", "fine", "--title", b"caf\xe9"])
        self.assertOutcome(result, 1, b"", b"Error: Unable to create FLAC metadata field TITLE.\n")
        self.assertFiles([])


if __name__ == "__main__":
    harness.main()
