"""The Windows program as shipped: what it imports, the resources it carries, and
how it finds (or misses) libFLAC.dll beside itself. Runs only against the
Windows build; the Linux build has none of this."""
import os
import re
import shutil
import struct
import subprocess
import unittest

import harness

# DLLs every Windows installation has. The program must need nothing else: the
# compiler's runtime is linked in, and libFLAC.dll is loaded at run time.
SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "shell32.dll",
    "ole32.dll", "ntdll.dll", "ucrtbase.dll", "ws2_32.dll", "bcrypt.dll",
}

EXPECTED_STRINGS = {
    "CompanyName": "Varnel",
    "FileDescription": "Varnel HDCD Audio Converter",
    "FileVersion": "1.0.1.0",
    "LegalCopyright": "Copyright (c) 2026 Varnel. All rights reserved.",
    "OriginalFilename": "qv-hdcd.exe",
    "ProductName": "QV-HDCD",
    "ProductVersion": "1.0.1.0",
}


def tool(name):
    path = shutil.which(name)
    if path is None:
        raise AssertionError("%s is not installed (make deps installs it)" % name)
    return path


def resource(kind, output=None):
    """A resource of the program, read back with wrestool (bytes)."""
    command = [tool("wrestool"), "--extract", "--type=%s" % kind, harness.PROGRAM]
    if output is None:
        command.insert(2, "--raw")
    else:
        command += ["--output", output]
    return subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout


def parse_version_block(data, offset=0):
    """One node of a VS_VERSIONINFO tree: (key, value bytes, is_text, children, end)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    position = offset + 6
    key_end = position
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[position:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    # Text values count UTF-16 units, binary ones bytes.
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[position:position + value_size]
    position = (position + value_size + 3) & ~3
    children = []
    while position < end:
        child = parse_version_block(data, position)
        children.append(child)
        position = (child[4] + 3) & ~3
    return key, value, value_type == 1, children, end


@unittest.skipUnless(harness.ON_WINDOWS_BUILD, "checks the Windows executable")
class WindowsExecutableTest(harness.CliTestCase):
    def test_imports_only_system_dlls(self):
        dump = subprocess.run([tool("x86_64-w64-mingw32-objdump"), "-p", harness.PROGRAM],
                              check=True, stdout=subprocess.PIPE).stdout.decode()
        imported = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertIn("kernel32.dll", imported)
        self.assertEqual(imported - SYSTEM_DLLS, set())

    def test_version_resource(self):
        key, fixed, _text, children, _end = parse_version_block(resource("version"))
        self.assertEqual(key, "VS_VERSION_INFO")
        signature, _struct_version, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        self.assertEqual(signature, 0xFEEF04BD)
        self.assertEqual((file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF), (1, 0, 1, 0))
        self.assertEqual((product_ms, product_ls), (file_ms, file_ls))

        strings = {}
        for child in children:
            if child[0] == "StringFileInfo":
                for table in child[3]:
                    for entry in table[3]:
                        strings[entry[0]] = entry[1].decode("utf-16-le").rstrip("\0")
        for name, expected in EXPECTED_STRINGS.items():
            with self.subTest(name=name):
                self.assertEqual(strings.get(name), expected)

    def test_copyright_matches_usage_text(self):
        usage = self.run_program(["--help"]).stdout.decode().splitlines()
        self.assertEqual(usage[1], EXPECTED_STRINGS["LegalCopyright"])

    def test_icon_sizes(self):
        icon = self.path("icon.ico")
        resource("group_icon", output=icon)
        listing = subprocess.run([tool("icotool"), "--list", icon], check=True,
                                 stdout=subprocess.PIPE).stdout.decode()
        sizes = sorted(int(width) for width in re.findall(r"--width=(\d+)", listing))
        self.assertEqual(sizes, [16, 32, 48, 256])

    def test_manifest_declares_utf8_code_page(self):
        manifest = resource("24").decode()
        self.assertRegex(manifest, r"<activeCodePage[^>]*>UTF-8</activeCodePage>")


@unittest.skipUnless(harness.ON_WINDOWS_BUILD, "Windows library loading")
class WindowsFlacLoadingTest(harness.CliTestCase):
    def test_library_beside_program(self):
        self.assertTrue(os.path.isfile(os.path.join(os.path.dirname(harness.PROGRAM), "libFLAC.dll")))
        result = self.run_program(["--flac-status"])
        self.assertOutcome(result, 0, b"FLAC support: available\n")

    def test_program_without_library(self):
        alone = self.path("alone", "qv-hdcd.exe")
        os.makedirs(os.path.dirname(alone))
        shutil.copyfile(harness.PROGRAM, alone)
        result = self.run_program(["--flac-status"], program=alone)
        self.assertEqual((result.status, result.stderr), (2, b""), result)
        # 126 is ERROR_MOD_NOT_FOUND; the system's own text follows, its line
        # break and full stop removed.
        match = re.fullmatch(rb"FLAC support: unavailable\nUnable to load libFLAC\.dll "
                             rb"\(Windows error 126: ([^\r\n]*[^\r\n. ])\)\.\n", result.stdout)
        self.assertIsNotNone(match, result.stdout)

    def test_file_that_is_no_library(self):
        directory = self.path("broken")
        os.makedirs(directory)
        shutil.copyfile(harness.PROGRAM, os.path.join(directory, "qv-hdcd.exe"))
        with open(os.path.join(directory, "libFLAC.dll"), "wb") as handle:
            handle.write(b"MZ not really a library")
        result = self.run_program(["--flac-status"], program=os.path.join(directory, "qv-hdcd.exe"))
        self.assertEqual(result.status, 2, result)
        self.assertRegex(result.stdout, rb"^FLAC support: unavailable\nUnable to load libFLAC\.dll "
                                        rb"\(Windows error \d+(: [^\r\n]*[^\r\n. ])?\)\.\n$")


if __name__ == "__main__":
    harness.main()
