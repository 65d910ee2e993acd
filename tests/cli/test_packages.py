"""The release packages as a user gets them: the Debian package unpacked and run,
and the Windows zip unpacked under wine into a folder whose name has spaces and
non-ASCII characters, run with the EAC command line its guide gives; and a
second build of both from the same sources, byte for byte the same."""
import os
import re
import subprocess
import unicodedata
import unittest
import zipfile

import numpy as np

import harness
import hdcd_inputs as inputs

PACKAGE_DIR = os.environ.get("QV_PACKAGE_DIR", "")
# The tags EAC fills in, by placeholder: the Vorbis comment each must end up in,
# and the value this test gives it (empty ones are left out of the file).
EAC_TAGS = {
    "title": ("TITLE", "Frühling – Allegro"), "artist": ("ARTIST", "Värnel Ensemble"),
    "albumtitle": ("ALBUM", "Die Jahreszeiten"), "albumartist": ("ALBUMARTIST", "Värnel & Friends"),
    "year": ("DATE", "2026"), "tracknr": ("TRACKNUMBER", "02"), "numtracks": ("TRACKTOTAL", "12"),
    "cdnumber": ("DISCNUMBER", "1"), "totalcds": ("DISCTOTAL", "2"), "genre": ("GENRE", "Classical"),
    "composer": ("COMPOSER", "Antonio Vivaldi"), "comment": ("COMMENT", ""),
}


def version():
    return harness.run(["--version"]).stdout.decode().split()[-1]


def windows_build_dir():
    """The folder of the Windows build beside this one (`make windows` notes its .exe in the CMake cache), or None."""
    cache = os.path.join(harness.BINARY_DIR, "CMakeCache.txt")
    match = re.search(r"^QV_WINE_EXE:FILEPATH=(.+)$", open(cache).read(), re.M) if os.path.exists(cache) else None
    return os.path.dirname(match.group(1)) if match and os.path.exists(match.group(1)) else None


def licence_paragraphs(text):
    """The words of a licence text, paragraph by paragraph, whatever its line breaks and indentation."""
    text = re.sub(r"^ ?\.$", "", text.replace("\r\n", "\n"), flags=re.M)
    return [" ".join(paragraph.split()) for paragraph in re.split(r"\n\s*\n", text) if paragraph.strip()]


class PackageTestCase(harness.CliTestCase):
    def package(self, name):
        if not PACKAGE_DIR:
            self.skipTest("no package directory given (QV_PACKAGE_DIR)")
        path = os.path.join(PACKAGE_DIR, name)
        self.assertTrue(os.path.isfile(path), path + " is missing: make package / make dist build it")
        return path

    def assertDecoded(self, source, flac):
        """flac is sound and holds what the build under test decodes from source."""
        inputs.check_flac(self, flac)
        self.assertEqual(self.run_program(["--quiet", source, "reference.wav"]).status, 0)
        np.testing.assert_array_equal(inputs.read_pcm(self.path(flac))[0],
                                      inputs.read_pcm(self.path("reference.wav"))[0])


@unittest.skipIf(harness.ON_WINDOWS_BUILD, "the Debian package holds the Linux build")
class DebianPackageTest(PackageTestCase):
    def test_unpacked_package(self):
        architecture = subprocess.run(["dpkg", "--print-architecture"], check=True, stdout=subprocess.PIPE)
        deb = self.package("qv-hdcd_%s_%s.deb" % (version(), architecture.stdout.decode().strip()))
        root = self.path("root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        files = harness.listing(root)
        programs = [name for name in files if name.startswith("usr/bin/")]
        self.assertIn("usr/bin/qv-hdcd", programs)
        self.assertIn("usr/bin/qv-hdcd-batch", programs)
        pages = ["usr/share/man/man1/%s.1.gz" % os.path.basename(name) for name in programs]
        docs = ["usr/share/doc/qv-hdcd/" + name for name in ("README.md", "changelog.gz", "copyright")]
        self.assertEqual(files, sorted(programs + pages + docs))
        # The README there is the user's: both programs and where their manuals are, no developers' make targets.
        readme = harness.read_bytes(os.path.join(root, docs[0])).decode()
        for text in ("man qv-hdcd\n", "man qv-hdcd-batch\n", "qv-hdcd-batch scan ", "qv-hdcd --scan "):
            self.assertIn(text, readme)
        self.assertNotIn("make ", readme)
        # `cmake --install` installs the same files.
        subprocess.run(["cmake", "--install", harness.BINARY_DIR, "--prefix", self.path("prefix", "usr")],
                       check=True, stdout=subprocess.DEVNULL)
        self.assertEqual(harness.listing(self.path("prefix")), files)

        # It recommends the packages of the libFLAC the programs load: Debian 13's, else Debian 12's.
        recommends = subprocess.run(["dpkg-deb", "-f", deb, "Recommends"], check=True, stdout=subprocess.PIPE)
        self.assertEqual(recommends.stdout.decode().strip(), "libflac14 | libflac12")

        # Hardened as Debian builds its packages: stack protector, fortified calls, relro, bind-now, no .comment.
        for name in programs:
            binary = os.path.join(root, name)
            elf = subprocess.run(["readelf", "-W", "--sections", "--program-headers", "--dynamic", "--dyn-syms",
                                  binary], check=True, stdout=subprocess.PIPE).stdout.decode()
            self.assertNotIn(" .comment ", elf, name)
            for pattern in (r"GNU_RELRO", r"\(FLAGS\)\s+BIND_NOW", r"\(FLAGS_1\)\s+Flags: NOW PIE",
                            r" __stack_chk_fail\b", r" __\w+_chk@"):
                self.assertRegex(elf, pattern, name)

        program = os.path.join(root, "usr", "bin", "qv-hdcd")
        self.assertOutcome(harness.run(["--version"], program=program), 0, b"QV-HDCD %s\n" % version().encode())
        inputs.make_lle(self)
        self.assertOutcome(harness.run(["--quiet", "lle.wav", "lle.flac"], cwd=self.dir, program=program), 0)
        self.assertDecoded("lle.wav", "lle.flac")

        # Each manual page renders without a warning within 80 columns and names every option of its
        # program's usage text; each usage text explains every option it names.
        env = dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="", MANWIDTH="80")
        for name, page in zip(programs, pages):
            man = ["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", os.path.join(root, page)]
            rendered = subprocess.run(man, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
            self.assertEqual((rendered.returncode, rendered.stderr), (0, b""), page)
            shown = subprocess.run(["man", "-E", "UTF-8", "-l", os.path.join(root, page)], check=True,
                                   stdout=subprocess.PIPE, env=env).stdout.decode()
            wide = [line for line in re.sub(r".\x08", "", shown).splitlines()
                    if sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in line) > 80]
            self.assertEqual(wide, [], page)
            usage = harness.run(["--help"], program=os.path.join(root, name)).stdout
            options = set(re.findall(rb"--[a-z-]+", usage))
            source = subprocess.run(["zcat", os.path.join(root, page)], check=True,
                                    stdout=subprocess.PIPE).stdout.replace(b"\\-", b"-")
            self.assertEqual({option for option in options if option not in source}, set(), page)
            if name.endswith("-batch"):
                explained = set(re.findall(rb"^  (--[a-z-]*)", usage, re.M))
                self.assertEqual(options - {b"--help", b"--version"} - explained, set())
                self.assertIn(b"--", explained)

        # Not even an informational or pedantic tag.
        lintian = subprocess.run(["lintian", "-I", "--pedantic", deb], stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT)
        said = [line for line in lintian.stdout.decode().splitlines() if "running with root privileges" not in line]
        self.assertEqual((lintian.returncode, said), (0, []))


@unittest.skipUnless(harness.ON_WINDOWS_BUILD, "the zip holds the Windows build")
class WindowsZipTest(PackageTestCase):
    def test_eac_command_line_from_the_guide(self):
        with zipfile.ZipFile(self.package("qv-hdcd-%s-win64.zip" % version())) as archive:
            names = [name for name in archive.namelist() if not name.endswith("/")]
            # The guide's install folder stands for "C:\Program Files".
            program_files = self.path("Program Files – Prögramme 日本")
            archive.extractall(program_files)
        self.assertEqual(sorted(names), ["QV-HDCD/" + name for name in sorted([
            "qv-hdcd.exe", "qv-hdcd-batch.exe", "libFLAC.dll", "README-Windows.txt", "COPYRIGHT.txt",
            "LICENSE-libFLAC.txt", "LICENSE-MinGW-w64.txt", "LICENSE-nlohmann-json.txt"])])
        for name in (name for name in names if name.endswith(".txt")):
            text = harness.read_bytes(os.path.join(program_files, name))
            self.assertEqual(text.count(b"\n"), text.count(b"\r\n"), name)
        # The program's terms are the Debian package's copyright file, and the JSON library's licence is the
        # one that file credits it with.
        terms = harness.read_bytes(os.path.join(program_files, "QV-HDCD", "COPYRIGHT.txt")).decode()
        copyright = harness.read_bytes(os.path.join(harness.SOURCE_DIR, "packaging", "copyright")).decode()
        self.assertEqual(terms, copyright.replace("\n", "\r\n"))
        expat = licence_paragraphs(copyright.split("\nLicense: Expat\n")[-1])
        json_licence = licence_paragraphs(harness.read_bytes(
            os.path.join(program_files, "QV-HDCD", "LICENSE-nlohmann-json.txt")).decode())
        self.assertEqual(json_licence[-len(expat):], expat)
        self.assertIn("Copyright (c) 2013-2022 Niels Lohmann", json_licence[2])
        self.assertRegex(harness.read_bytes(os.path.join(program_files, "QV-HDCD", "libFLAC.dll")),
                         rb"reference libFLAC 1\.5\.0")

        guide = harness.read_bytes(os.path.join(program_files, "QV-HDCD", "README-Windows.txt")).decode("ascii")
        program = re.search(r"Program, including path, used for compression:\r\n +(\S.*)\r\n", guide).group(1)
        options = re.search(r"Additional command line options[^\r\n]*:\r\n +(\S.*)\r\n", guide).group(1)
        self.assertEqual(program, "C:\\Program Files\\QV-HDCD\\qv-hdcd.exe")

        def windows_path(path):  # wine shows the Unix root as drive Z:
            return "Z:" + path.replace("/", "\\")

        rips = "Rips – Frühling"
        os.mkdir(self.path(rips))
        source = inputs.make_lle(self, rips + "/02 Frühling – Allegro.wav")
        wav = harness.read_bytes(self.path(source))
        launcher = os.path.join(os.path.dirname(harness.PROGRAM), "run_command_line.exe")
        for title, status in (("Frühling – Allegro", 0), ('12" Mix', 1)):
            with self.subTest(title=title):
                # EAC quotes the file names itself and puts the tag texts in as they are.
                values = {"source": '"%s"' % windows_path(self.path(source)),
                          "dest": '"%s"' % windows_path(self.path(source[:-4] + ".flac"))}
                values.update((placeholder, value) for placeholder, (_, value) in EAC_TAGS.items())
                values["title"] = title
                command = '"%s" %s' % (program.replace("C:\\Program Files", windows_path(program_files)),
                                       re.sub(r"%(\w+)%", lambda match: values[match.group(1)], options))
                inputs.write_file(self, "command.txt", command.encode())
                result = harness.run([windows_path(self.path("command.txt"))], cwd=self.dir, program=launcher)
                self.assertEqual(result.status, status, result)
                self.assertEqual(harness.read_bytes(self.path(source)), wav)
        # A double quote in a tag value splits the line wrongly: the run is refused, nothing written.
        self.assertTrue(result.stderr.startswith(b"Unexpected positional argument: "), result)
        self.assertEqual(harness.listing(self.path(rips)), ["02 Frühling – Allegro.flac", "02 Frühling – Allegro.wav"])

        flac = source[:-4] + ".flac"
        self.assertDecoded(source, flac)
        expected = {field: value for field, value in EAC_TAGS.values() if value}
        expected["ENCODER"] = "QV-HDCD " + version()
        exported = subprocess.run(["metaflac", "--export-tags-to=-", self.path(flac)], check=True,
                                  stdout=subprocess.PIPE).stdout.decode()
        self.assertEqual(dict(line.split("=", 1) for line in exported.splitlines()), expected)


@unittest.skipIf(harness.ON_WINDOWS_BUILD, "builds both packages once, from the Linux tests")
class ReproducibleBuildTest(PackageTestCase):
    def test_second_build_is_byte_for_byte_the_same(self):
        """A second tree built with make from the same sources in another folder (reusing the libFLAC.dll built
        before) gives the same .deb, zip and .exe files."""
        deb = "qv-hdcd_%s_%s.deb" % (version(), subprocess.run(["dpkg", "--print-architecture"], check=True,
                                                                 stdout=subprocess.PIPE).stdout.decode().strip())
        zip_name = "qv-hdcd-%s-win64.zip" % version()
        firsts = [self.package(deb), self.package(zip_name)]
        windows = windows_build_dir()
        if windows is None:
            self.skipTest("no Windows build (make windows)")
        firsts += [os.path.join(windows, name) for name in ("qv-hdcd.exe", "qv-hdcd-batch.exe")]
        second = self.path("second")
        make = ["make", "-C", harness.SOURCE_DIR, "package", "dist", "JOBS=2", "BUILD_DIR=" + second + "/build",
                "WINDOWS_DIR=" + second + "/build-windows", "DIST_DIR=" + second + "/dist",
                "WINDOWS_LIBFLAC=" + os.path.join(windows, "libflac")]
        # A make of its own, not a part of the make that may have started the tests.
        env = {name: value for name, value in os.environ.items() if name not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL")}
        built = subprocess.run(make, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        self.assertEqual(built.returncode, 0, built.stdout.decode(errors="replace")[-3000:])
        seconds = [os.path.join(second, "dist", deb), os.path.join(second, "dist", zip_name),
                   os.path.join(second, "build-windows", "qv-hdcd.exe"),
                   os.path.join(second, "build-windows", "qv-hdcd-batch.exe")]
        for first, again in zip(firsts, seconds):
            self.assertEqual(harness.read_bytes(first), harness.read_bytes(again), os.path.basename(first))


if __name__ == "__main__":
    harness.main()
