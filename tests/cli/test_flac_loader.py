"""libFLAC is loaded at run time from beside the program, else found by name: libFLAC.so.14 (libFLAC 1.5,
Debian 13) before libFLAC.so.12 (libFLAC 1.4, Debian 12)."""
import ctypes
import glob
import os
import re
import shutil
import stat
import struct
import subprocess
import unittest

import harness
import hdcd_inputs as inputs

NOT_ON_WINE = unittest.skipIf(harness.ON_WINDOWS_BUILD, "Linux loader messages, a Linux stand-in and raw argument bytes")
# libFLAC 1.5 with threads and its flac program (scripts/build-libflac-linux.sh).
FLAC_15 = os.path.join(harness.BINARY_DIR, "libflac-1.5")
FLAC_15_LIBRARIES = glob.glob(os.path.join(FLAC_15, "lib", "libFLAC.so.*"))
NEEDS_FLAC_15 = unittest.skipUnless(FLAC_15_LIBRARIES, "no libFLAC 1.5 build")
SONAMES = ("libFLAC.so.14", "libFLAC.so.12")
# Bound when the library has it, but not required: new in libFLAC 1.5.
OPTIONAL_ENTRY_POINTS = {b"FLAC__stream_encoder_set_num_threads"}


def system_library_dir():
    """The folder the system's loader finds libc in, where the Debian packages put libFLAC too."""
    cache = subprocess.run(["ldconfig", "-p"], check=True, stdout=subprocess.PIPE).stdout.decode()
    return os.path.realpath(os.path.dirname(re.search(r"libc\.so\.6 \(libc6,x86-64\) => (\S+)", cache).group(1)))


def system_libflac_12():
    """The system's own libFLAC.so.12 file, or None."""
    path = os.path.join(system_library_dir(), "libFLAC.so.12")
    return os.path.realpath(path) if os.path.exists(path) else None


def private_mounts_work():
    """True when this process may overlay a folder in a mount namespace of its own (root, a kernel with overlayfs)."""
    if os.geteuid() != 0 or not shutil.which("unshare"):
        return False
    return subprocess.run(["unshare", "-m", "true"], stderr=subprocess.DEVNULL).returncode == 0


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
    @NEEDS_FLAC_15
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
    @NEEDS_FLAC_15
    def test_every_entry_point_bound_is_in_both_sonames(self):
        twelve = system_libflac_12()
        if twelve is None:
            self.skipTest("no libFLAC.so.12 on this system")
        for program in (harness.PROGRAM, harness.BATCH_PROGRAM):
            bound = set(re.findall(rb"(?<=\0)FLAC__\w+(?=\0)", harness.read_bytes(program)))
            self.assertIn(b"FLAC__metadata_object_vorbiscomment_append_comment", bound)
            for library, optional in ((twelve, OPTIONAL_ENTRY_POINTS), (FLAC_15_LIBRARIES[0], set())):
                loaded = ctypes.CDLL(library)
                missing = {name for name in bound - optional if not hasattr(loaded, name.decode())}
                self.assertEqual(missing, set(), (program, library))

    @NOT_ON_WINE
    @NEEDS_FLAC_15
    @unittest.skipUnless(private_mounts_work(), "needs root and a private mount namespace")
    def test_which_libflac_is_loaded(self):
        """The system's library folder is overlaid in a private mount namespace, with each soname present or
        hidden; a library beside the program comes before both."""
        libdir = system_library_dir()
        libraries = {"1.5": FLAC_15_LIBRARIES[0], "1.4": system_libflac_12()}
        unavailable = ("Unable to load libFLAC.dll (libFLAC.so.14: cannot open shared object file: No such file or "
                       "directory; libFLAC.so.12: cannot open shared object file: No such file or directory).")
        # The system's libFLAC.so.14 and .so.12 (libFLAC 1.5 or 1.4; None: hidden), the libraries beside the
        # program, and where the one both programs then take is.
        cases = [
            ("so.14 only", {"libFLAC.so.14": "1.5", "libFLAC.so.12": None}, {}, ("1.5", libdir + "/libFLAC.so.14")),
            ("so.12 only", {"libFLAC.so.14": None, "libFLAC.so.12": "1.4"}, {}, ("1.4", libdir + "/libFLAC.so.12")),
            ("both", {"libFLAC.so.14": "1.5", "libFLAC.so.12": "1.4"}, {}, ("1.5", libdir + "/libFLAC.so.14")),
            ("beside the program", {"libFLAC.so.14": "1.5", "libFLAC.so.12": "1.4"}, {"libFLAC.so.12": "1.4"},
             ("1.4", "BIN/libFLAC.so.12")),
            ("none", {"libFLAC.so.14": None, "libFLAC.so.12": None}, {}, None),
        ]
        inputs.make_lle(self, "in.wav")
        for name, system, beside, found in cases:
            if libraries["1.4"] is None and "1.4" in list(system.values()) + list(beside.values()):
                continue  # no libFLAC.so.12 on this system to place
            with self.subTest(name):
                case_dir = self.path(name.replace(" ", "-"))
                os.makedirs(os.path.join(case_dir, "upper"))
                os.makedirs(os.path.join(case_dir, "work"))
                os.makedirs(os.path.join(case_dir, "bin"))
                for soname, source in system.items():
                    target = os.path.join(case_dir, "upper", soname)
                    if source is None:
                        os.mknod(target, stat.S_IFCHR, os.makedev(0, 0))  # the overlay's mark for a removed file
                    else:
                        shutil.copy2(libraries[source], target)
                for soname, source in beside.items():
                    shutil.copy2(libraries[source], os.path.join(case_dir, "bin", soname))
                programs = []
                for program in (harness.PROGRAM, harness.BATCH_PROGRAM):
                    programs.append(os.path.join(case_dir, "bin", os.path.basename(program)))
                    shutil.copy2(program, programs[-1])

                def run(program, *args):
                    mount = ('mount -t overlay overlay -o "lowerdir=$1,upperdir=$2/upper,workdir=$2/work" "$1" '
                             '&& shift 2 && exec "$@"')
                    return harness.run(["-m", "sh", "-c", mount, "sh", libdir, case_dir, program] + list(args),
                                       cwd=self.dir, program="unshare")

                if found:
                    library = ctypes.CDLL(libraries[found[0]])
                    described = "%s, version %s, encoder %s threads" % (
                        found[1].replace("BIN", os.path.join(case_dir, "bin")),
                        ctypes.c_char_p.in_dll(library, "FLAC__VERSION_STRING").value.decode(),
                        "with" if found[0] == "1.5" else "without")
                version = b"qv-hdcd-batch 1.0.1.0\nlibFLAC: %s\n" % (
                    described if found else "unavailable: " + unavailable).encode()
                result = run(programs[1], "--version")
                # The system's loader names the folder by the path it searched (/lib or /usr/lib).
                stdout = re.sub(rb"(?<=libFLAC: )(/\S+)(?=/libFLAC)",
                                lambda match: os.path.realpath(match.group(1)), result.stdout)
                self.assertOutcome(result._replace(stdout=stdout), 0, version)
                if found is None:
                    self.assertOutcome(run(programs[0], "--flac-status"), 2,
                                       b"FLAC support: unavailable\n%s\n" % unavailable.encode())
                    self.assertOutcome(run(programs[0], "--quiet", "in.wav", "none.flac"), 1, b"",
                                       b"Error: %s\n" % unavailable.encode())
                    self.assertFalse(os.path.exists(self.path("none.flac")))
                    continue
                self.assertOutcome(run(programs[0], "--flac-status"), 0, b"FLAC support: available\n")
                # The bound entry points work: a tagged FLAC decode, read back by flac and metaflac.
                output = name.replace(" ", "-") + ".flac"
                self.assertOutcome(run(programs[0], "--quiet", "in.wav", output, "--title", "Zoë"), 0)
                inputs.check_flac(self, output)
                tags = subprocess.run(["metaflac", "--show-tag=TITLE", self.path(output)], check=True,
                                      stdout=subprocess.PIPE).stdout
                self.assertEqual(tags, "TITLE=Zoë\n".encode())

    @NOT_ON_WINE
    def test_tag_value_that_is_not_utf8_stops_the_run(self):
        result = self.run_program(["in.wav", "out.flac", "--artist", "fine", "--title", b"caf\xe9"])
        self.assertOutcome(result, 1, b"", b"Error: Unable to create FLAC metadata field TITLE.\n")
        self.assertFiles([])


if __name__ == "__main__":
    harness.main()
