"""The release packages as a user gets them: the Debian package unpacked and run,
and the Windows zip unpacked under wine into a folder whose name has spaces and
non-ASCII characters, run with the EAC command line its guide gives."""
import os
import re
import subprocess
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
        pages = ["usr/share/man/man1/%s.1.gz" % os.path.basename(name) for name in programs]
        docs = ["usr/share/doc/qv-hdcd/" + name for name in ("README.md", "changelog.gz", "copyright")]
        self.assertEqual(files, sorted(programs + pages + docs))
        # `cmake --install` installs the same files.
        subprocess.run(["cmake", "--install", harness.BINARY_DIR, "--prefix", self.path("prefix", "usr")],
                       check=True, stdout=subprocess.DEVNULL)
        self.assertEqual(harness.listing(self.path("prefix")), files)

        # It recommends the Debian package of the libFLAC the program loads.
        soname = harness.flac_library_name()
        owner = subprocess.run(["dpkg-query", "-S", "*/" + soname], check=True, stdout=subprocess.PIPE)
        recommends = subprocess.run(["dpkg-deb", "-f", deb, "Recommends"], check=True, stdout=subprocess.PIPE)
        self.assertEqual(recommends.stdout.decode().strip(), owner.stdout.decode().split(":")[0])

        program = os.path.join(root, "usr", "bin", "qv-hdcd")
        self.assertOutcome(harness.run(["--version"], program=program), 0, b"QV-HDCD %s\n" % version().encode())
        inputs.make_lle(self)
        self.assertOutcome(harness.run(["--quiet", "lle.wav", "lle.flac"], cwd=self.dir, program=program), 0)
        self.assertDecoded("lle.wav", "lle.flac")

        # Each manual page renders without a warning and names every option of the usage text.
        usage = set(re.findall(rb"--[a-z-]+", harness.run(["--help"], program=program).stdout))
        for page in pages:
            man = ["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", os.path.join(root, page)]
            rendered = subprocess.run(man, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                      env=dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="", MANWIDTH="80"))
            self.assertEqual((rendered.returncode, rendered.stderr), (0, b""), page)
        source = subprocess.run(["zcat", os.path.join(root, pages[programs.index("usr/bin/qv-hdcd")])],
                                check=True, stdout=subprocess.PIPE).stdout.replace(b"\\-", b"-")
        self.assertEqual({option for option in usage if option not in source}, set())

        lintian = subprocess.run(["lintian", deb], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(lintian.returncode, 0, lintian.stdout.decode())


@unittest.skipUnless(harness.ON_WINDOWS_BUILD, "the zip holds the Windows build")
class WindowsZipTest(PackageTestCase):
    def test_eac_command_line_from_the_guide(self):
        with zipfile.ZipFile(self.package("qv-hdcd-%s-win64.zip" % version())) as archive:
            names = [name for name in archive.namelist() if not name.endswith("/")]
            # The guide's install folder stands for "C:\Program Files".
            program_files = self.path("Program Files – Prögramme 日本")
            archive.extractall(program_files)
        self.assertEqual({name.split("/")[0] for name in names}, {"QV-HDCD"})
        for name in ("qv-hdcd.exe", "libFLAC.dll", "README-Windows.txt", "LICENSE-libFLAC.txt"):
            self.assertIn("QV-HDCD/" + name, names)
        for name in (name for name in names if name.endswith(".txt")):
            text = harness.read_bytes(os.path.join(program_files, name))
            self.assertEqual(text.count(b"\n"), text.count(b"\r\n"), name)
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


if __name__ == "__main__":
    harness.main()
