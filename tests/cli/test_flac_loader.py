"""libFLAC is loaded at run time from beside the program, else found by name."""
import ctypes
import os
import shutil
import unittest

import harness


def library_file_name():
    """The file name the loader looks for beside the program."""
    with open(os.path.join(harness.BINARY_DIR, "flac_library_file.txt")) as handle:
        return handle.read().strip()


class FlacLoaderTest(harness.CliTestCase):
    def test_status_reports_available_library(self):
        result = self.run_program(["--flac-status"])
        self.assertOutcome(result, 0, b"FLAC support: available\n")
        self.assertFiles([])

    def copy_program_beside(self, library_source=None, library_bytes=None):
        """Copies the program into a directory of its own, with a file named as
        the library beside it; returns the copy's path and the library's path."""
        os.mkdir(self.path("bin"))
        program = self.path("bin", os.path.basename(harness.PROGRAM))
        shutil.copy2(harness.PROGRAM, program)
        library = self.path("bin", library_file_name())
        if library_source is not None:
            shutil.copy2(library_source, library)
        else:
            with open(library, "wb") as handle:
                handle.write(library_bytes)
        return program, library

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "the system loader's messages are Linux ones")
    def test_unloadable_file_beside_program_is_reported_not_skipped(self):
        program, library = self.copy_program_beside(library_bytes=b"this is not a shared library\n")
        try:
            ctypes.CDLL(library)
            self.fail("the stand-in file loaded")
        except OSError as error:
            system_text = str(error).rstrip("\n\r .")
        expected = "Unable to load libFLAC.dll (%s)." % system_text
        result = harness.run(["--flac-status"], cwd=self.dir, program=program)
        self.assertOutcome(result, 2, b"FLAC support: unavailable\n" + expected.encode() + b"\n")

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "the stand-in library is built for Linux")
    def test_library_lacking_one_entry_point_is_rejected_by_name(self):
        stand_in = os.path.join(harness.BINARY_DIR, "tests", "flac_stub", "libflac_missing_export.so")
        program, _library = self.copy_program_beside(library_source=stand_in)
        missing = b"libFLAC.dll is missing required export: FLAC__metadata_object_vorbiscomment_append_comment"
        result = harness.run(["--flac-status"], cwd=self.dir, program=program)
        self.assertOutcome(result, 2, b"FLAC support: unavailable\n" + missing + b"\n")
        # A conversion that needs FLAC reports the same sentence and writes nothing.
        result = harness.run(["in.wav", "out.flac", "--title", "T"], cwd=self.dir, program=program)
        self.assertOutcome(result, 1, b"", b"Error: " + missing + b"\n")
        self.assertFalse(os.path.exists(self.path("out.flac")))

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "raw argument bytes pass through wine's conversion")
    def test_tag_value_that_is_not_utf8_stops_the_run(self):
        result = self.run_program(["in.wav", "out.flac", "--artist", "fine", "--title", b"caf\xe9"])
        self.assertOutcome(result, 1, b"", b"Error: Unable to create FLAC metadata field TITLE.\n")
        self.assertFiles([])


if __name__ == "__main__":
    harness.main()
