"""The Windows program as shipped, a file name outside the ANSI code page, and its outputs against the Linux
program's; the EAC tests name one file in the Windows ways."""
import fcntl
import os
import pty
import re
import shutil
import struct
import subprocess
import termios
import unittest

import numpy as np

import harness
import hdcd_inputs as inputs

WINDOWS_ONLY = unittest.skipUnless(harness.ON_WINDOWS_BUILD, "checks the Windows program")
# The runtime is linked in and libFLAC.dll loaded at run time: nothing else is needed.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "ntdll.dll",
               "ucrtbase.dll", "ws2_32.dll", "bcrypt.dll"}
VERSION_STRINGS = {"CompanyName": "Varnel", "FileDescription": "Varnel HDCD Audio Converter", "FileVersion": "1.0.1.0",
                   "LegalCopyright": "Copyright (c) 2026 Varnel. All rights reserved.", "ProductName": "QV-HDCD",
                   "OriginalFilename": "qv-hdcd.exe", "ProductVersion": "1.0.1.0"}


def tool_output(*command):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout


def run_on_terminal(args, program, cwd):
    """Runs the program with a terminal as its standard streams (wine gives it a console on it); returns the exit
    status and the text the terminal got, with wine's cursor moves, erasures and carriage returns taken out."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 200, 0, 0))
    process = subprocess.Popen(harness.RUNNER + [program] + args, cwd=cwd, stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    shown = b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal closes with the last program on it
            break
        if not chunk:
            break
        shown += chunk
    os.close(master)
    status = process.wait(timeout=300)
    shown = re.sub(rb"\x1b\[(\d*)C", lambda match: b" " * int(match.group(1) or 1), shown)
    shown = re.sub(rb"\x1b\][^\x07]*\x07|\x1b\[[0-9;?]*[A-Za-z]|\r", b"", shown)
    return status, shown.decode("utf-8")


@WINDOWS_ONLY
class WindowsExecutableTest(harness.CliTestCase):
    def test_imports_and_resources(self):
        batch_strings = {"OriginalFilename": "qv-hdcd-batch.exe",
                         "FileDescription": "Varnel HDCD Collection Scanner and Decoder"}
        for program, strings in [(harness.PROGRAM, VERSION_STRINGS), (harness.BATCH_PROGRAM,
                                                                      dict(VERSION_STRINGS, **batch_strings))]:
            with self.subTest(program):
                self.check_imports_and_resources(program, strings)

    def check_imports_and_resources(self, program, strings):
        dump = tool_output("x86_64-w64-mingw32-objdump", "-p", program).decode()
        imported = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertIn("kernel32.dll", imported)
        self.assertEqual(imported - SYSTEM_DLLS, set())

        version = tool_output("wrestool", "--extract", "--raw", "--type=version", program)
        # VS_FIXEDFILEINFO: signature, structure version, then file and product version 1.0.1.0.
        fixed = version.find(struct.pack("<I", 0xFEEF04BD))
        self.assertEqual(struct.unpack_from("<4I", version, fixed + 8), (0x10000, 0x10000) * 2)
        text = version[:len(version) // 2 * 2].decode("utf-16-le", "replace")
        for name, value in strings.items():
            self.assertRegex(text, re.escape(name) + "\0+" + re.escape(value) + "\0")

        icon = self.path("icon.ico")
        subprocess.run(["wrestool", "--extract", "--type=group_icon", "--output", icon, program], check=True)
        sizes = re.findall(r"--width=(\d+)", tool_output("icotool", "--list", icon).decode())
        self.assertEqual(sorted(map(int, sizes)), [16, 32, 48, 256])
        manifest = tool_output("wrestool", "--extract", "--raw", "--type=24", program).decode()
        self.assertRegex(manifest, r"<activeCodePage[^>]*>UTF-8</activeCodePage>")
        self.assertRegex(manifest, r"<longPathAware[^>]*>true</longPathAware>")

    def test_flac_status_without_the_library(self):
        os.makedirs(self.path("alone"))
        for program in (harness.PROGRAM, harness.BATCH_PROGRAM):
            shutil.copyfile(program, self.path("alone", os.path.basename(program)))
        result = self.run_program(["--flac-status"], program=self.path("alone", "qv-hdcd.exe"))
        self.assertEqual((result.status, result.stderr), (2, b""), result)
        # 126 is ERROR_MOD_NOT_FOUND; the system's text follows without its line break and full stop.
        unavailable = rb"Unable to load libFLAC\.dll \(Windows error 126: [^\r\n]*[^\r\n. ]\)\."
        self.assertRegex(result.stdout, rb"^FLAC support: unavailable\n" + unavailable + rb"\n\Z")
        result = self.run_program(["--version"], program=self.path("alone", "qv-hdcd-batch.exe"))
        self.assertEqual((result.status, result.stderr), (0, b""), result)
        self.assertRegex(result.stdout, rb"^qv-hdcd-batch 1\.0\.1\.0\nlibFLAC: unavailable: " + unavailable + rb"\n\Z")

    def test_version_names_the_library_beside_the_program(self):
        result = self.run_batch(["--version"])
        folder = os.path.dirname(harness.BATCH_PROGRAM).replace("/", "\\")
        self.assertOutcome(result, 0, b"qv-hdcd-batch 1.0.1.0\nlibFLAC: Z:%s\\libFLAC.dll, version 1.5.0, "
                                      b"encoder with threads\n" % folder.encode())


class FileNameTest(harness.CliTestCase):
    def test_name_outside_the_ansi_code_page(self):
        stem = "Müller – 日本語の曲 Ελληνικά"
        self.assertEqual(self.run_program(["--quiet", inputs.make_lle(self), "ref.wav"]).status, 0)
        os.rename(self.path("lle.wav"), self.path(stem + ".wav"))
        self.assertOutcome(self.run_program(["--quiet", stem + ".wav", stem + " (decoded).wav"]), 0)
        self.assertEqual(harness.read_bytes(self.path(stem + " (decoded).wav")), harness.read_bytes(self.path("ref.wav")))
        self.assertFiles([stem + ".wav", stem + " (decoded).wav", "ref.wav"])

    def test_name_on_the_console_and_redirected(self):
        """A console shows the name as it is (on Windows the text goes to it as UTF-16); redirected, the name
        stays UTF-8 bytes."""
        folder = "Zoë – 日本"
        os.mkdir(self.path(folder))
        inputs.make_lle(self, folder + "/01.wav")
        album = "[HDCD] %s: 1 track (1 hdcd, 0 signalling-only, 0 none, 0 errors)\n" % folder
        extra = "Unexpected positional argument: %s.wav\n" % folder
        for program, args, stream, line in ((harness.BATCH_PROGRAM, ["scan", folder], "stdout", album),
                                            (harness.PROGRAM, ["a.wav", "b.wav", folder + ".wav"], "stderr", extra)):
            with self.subTest(args[0]):
                status, shown = run_on_terminal(args, program, self.dir)
                self.assertEqual(status, 0 if program == harness.BATCH_PROGRAM else 1, shown)
                self.assertIn(line, shown)
                redirected = self.run_program(args, program=program)
                self.assertIn(line.encode(), getattr(redirected, stream).splitlines(keepends=True))

    @WINDOWS_ONLY
    def test_names_windows_would_change(self):
        inputs.make_lle(self)
        inputs.to_flac(self, "lle.wav", "a.flac")
        before = harness.contents(self.dir)
        # The system would drop a trailing dot or space, or take the name for a device: refused, by both programs.
        for output, reason in (("a.flac.", b"a name ending in a dot or a space, which Windows drops"),
                               ("a.flac ", b"a name ending in a dot or a space, which Windows drops"),
                               ("aux.flac", b"a name Windows reserves for a device"),
                               ("sub\\COM1", b"a name Windows reserves for a device"),
                               ("CON", b"a name Windows reserves for a device")):
            with self.subTest(output=output):
                expected = b"Error: the output path is " + reason + b", not a file that can be written.\n"
                self.assertOutcome(self.run_program(["--eac", "a.flac", output]), 1, b"", expected)
                report = self.run_batch(["scan", "a.flac", "--json", output])
                self.assertEqual(report.status, 1, report)
                self.assertIn(reason, report.stderr)
                self.assertEqual(harness.contents(self.dir), before)
        # NUL is the null device: written, and read back empty.
        self.assertOutcome(self.run_program(["--eac", "a.flac", "NUL"]), 1, b"",
                           b"Error: EAC requested output was not created or is empty.\n")
        self.assertEqual(self.run_program(["--quiet", "--overwrite", "a.flac", "nul"]).status, 0)
        self.assertEqual(harness.contents(self.dir), before)


@WINDOWS_ONLY
class SameOutputAsLinuxTest(harness.CliTestCase):
    def test_outputs_match_the_linux_build(self):
        linux = os.path.join(harness.BINARY_DIR, "qv-hdcd")
        if not (harness.BINARY_DIR and os.access(linux, os.X_OK)):
            self.skipTest("no Linux build beside the wine tests")
        for step in [["--make-lle-test", "{}lle.wav"], ["--quiet", "{}lle.wav", "{}decoded.wav"],
                     ["--quiet", "{}lle.wav", "{}decoded.flac", "--title", "Track", "--artist", "Värnel"],
                     ["--quiet", "--preserve-hdcd", "{}lle.wav", "{}preserved.flac"],
                     ["--quiet", "{}preserved.flac", "{}from-flac.wav"]]:
            self.assertEqual(subprocess.run([linux] + [a.format("linux-") for a in step], cwd=self.dir,
                                            stdout=subprocess.PIPE).returncode, 0, step)
            self.assertEqual(self.run_program([a.format("windows-") for a in step]).status, 0, step)
        for name in ("lle.wav", "decoded.wav", "from-flac.wav"):
            self.assertEqual(*(harness.read_bytes(self.path(side + name)) for side in ("windows-", "linux-")), name)
        # Two libFLAC builds may frame the same samples differently (their
        # encoders' choices rest on floating point): same samples and tags.
        for name, shift in (("decoded.flac", 8), ("preserved.flac", 16)):
            windows, linux = (inputs.read_pcm(self.path(side + name), shift) for side in ("windows-", "linux-"))
            np.testing.assert_array_equal(windows[0], linux[0])
            self.assertEqual(windows[1], linux[1])
            self.assertEqual(*(tool_output("metaflac", "--export-tags-to=-", self.path(side + name))
                               for side in ("windows-", "linux-")), name)


if __name__ == "__main__":
    harness.main()
