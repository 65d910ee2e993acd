"""qv-hdcd-batch decode over a generated collection: outputs against `qv-hdcd IN OUT`, copies, a second run
that finds everything in place, --dry-run; and faults for real: a full disk, Ctrl+C and a rerun, an output
folder inside the input."""
import os
import resource
import shutil
import signal
import subprocess
import time
import unittest

import harness
import hdcd_inputs as inputs
import test_faults
import test_scan_and_decode as scan_tests

PNG = scan_tests.PNG


def actions(case, report):
    files = harness.read_json(case.path(report))["files"]
    sep = harness.SEP
    return {f["path"].replace(sep, "/"): (f["action"], f["output"] and f["output"].replace(sep, "/")) for f in files}


@unittest.skipUnless(harness.BATCH_PROGRAM, "QV_HDCD_BATCH_TARGET is not set")
class BatchDecodeTest(harness.CliTestCase):
    def setUp(self):
        super().setUp()
        inputs.make_lle(self, "lle.wav")

    def test_collection_decoded_copied_then_left_alone(self):
        album = "Music/Album \u00e4"
        inputs.to_flac(self, "lle.wav", "tagged.flac")
        inputs.write_file(self, "cover.png", PNG)
        subprocess.run(["metaflac", "--set-tag=TITLE=\u00c9t\u00e9", "--set-tag=ARTIST=Someone",
                        "--import-picture-from=3|image/png|front||" + self.path("cover.png"),
                        "--import-picture-from=4|image/png|back||" + self.path("cover.png"),
                        self.path("tagged.flac")], check=True)
        self.place("tagged.flac", album + "/01 lle.flac")
        self.place("lle.wav", album + "/02 lle.wav")
        self.place("cover.png", album + "/cover.png")
        self.place(inputs.cut(self, "lle.wav", 40000, "signalling.wav"), album + "/Disc 2/03 signalling.wav")
        inputs.write_file(self, "plain.wav", inputs.wav_bytes(inputs.tone_without_hdcd()))
        self.place("plain.wav", "Music/Other/plain.wav")
        self.place(inputs.widen_to_pcm24(self, "lle.wav", "lle24.wav"), "Music/Other/lle24.wav")
        self.place(inputs.damage_flac(self, "lle.wav", "frames", "bad.flac"), "Music/Other/bad.flac")
        self.assertEqual(self.run_program(["lle.wav", "Music/Other/lle decoded.flac"]).status, 0)
        if not harness.ON_WINDOWS_BUILD:
            os.chmod(self.path(album, "cover.png"), 0o600)
        before = harness.contents(self.path("Music"))
        args = ["decode", "Music", "--to", "Out", "--copy-others", "--jobs", "2", "--json", "r.json"]

        planned = self.run_batch(args + ["--dry-run"])
        self.assertEqual(planned.status, 1, planned)  # the damaged FLAC
        self.assertIn(b"would decode: Music", planned.stdout)
        self.assertIn(b"Dry run into Out: 2 would be decoded, 6 would be copied, 0 exist, 0 skipped, 0 failed\n",
                      planned.stdout)
        self.assertIn(b"Disc 2: 1 track (0 hdcd, 1 signalling-only", planned.stdout)
        self.assertFalse(os.path.exists(self.path("Out")))

        result = self.run_batch(args)
        self.assertEqual(result.status, 1, result)
        self.assertIn(b"Error while decoding FLAC input.", result.stderr)
        decoded = {album + "/01 lle.flac": "Out/Album \u00e4/01 lle.flac",
                   album + "/02 lle.wav": "Out/Album \u00e4/02 lle.flac"}
        copied = {name: "Out/" + name[len("Music/"):] for name in
                  [album + "/cover.png", album + "/Disc 2/03 signalling.wav", "Music/Other/plain.wav",
                   "Music/Other/lle24.wav", "Music/Other/bad.flac", "Music/Other/lle decoded.flac"]}
        expected = {name: ("decoded", out) for name, out in decoded.items()}
        expected.update({name: ("copied", out) for name, out in copied.items()})
        self.assertEqual(actions(self, "r.json"), expected)
        written = harness.contents(self.path("Out"))
        self.assertEqual(sorted(written), sorted(out[len("Out/"):] for out in list(decoded.values()) +
                                                 list(copied.values())))
        for source, out in copied.items():  # whole albums: damaged audio too, with its mode and time
            self.assertEqual(written[out[len("Out/"):]], before[source[len("Music/"):]], source)
            original, copy = os.stat(self.path(source)), os.stat(self.path(out))
            self.assertLess(abs(copy.st_mtime_ns - original.st_mtime_ns), 100, source)  # Windows counts 100 ns
            if not harness.ON_WINDOWS_BUILD:
                self.assertEqual(copy.st_mode, original.st_mode, source)
        for source, out in decoded.items():
            with self.subTest(source):
                reference = self.path("reference.flac")
                self.assertEqual(harness.run([source, reference, "--quiet", "--overwrite"], cwd=self.dir).status, 0)
                self.assertEqual(written[out[len("Out/"):]], harness.read_bytes(reference))
        self.assertEqual([kind for kind, _ in scan_tests.blocks(self.path(decoded[album + "/01 lle.flac"]))],
                         ["VORBIS_COMMENT", "PICTURE", "PICTURE"])

        again = self.run_batch(args)
        self.assertEqual(again.status, 1, again)
        self.assertEqual({name: action for name, (action, _) in actions(self, "r.json").items()},
                         {name: "exists" if action in ("decoded", "copied") else action
                          for name, (action, _) in expected.items()})
        self.assertEqual(harness.contents(self.path("Out")), written)
        self.assertEqual(harness.contents(self.path("Music")), before)

        # A decoder's output is never decoded again, not even with --all-hdcd.
        result = self.run_batch(["decode", "Music/Other", "--to", "Out2", "--all-hdcd", "--json", "r.json"])
        self.assertEqual(actions(self, "r.json")["Music/Other/lle decoded.flac"], ("skipped: already decoded", None))
        self.assertFalse(os.path.exists(self.path("Out2", "lle decoded.flac")))

    def test_refused_before_anything_is_written(self):
        self.place("lle.wav", "Music/a.wav")
        inputs.write_file(self, "note.txt", b"a file")
        # The output folder and the PATHs overlap, however they are spelt or linked.
        overlapping = [["Music", "--to", "Music/Out"], ["Music/a.wav", "--to", "."], ["Music//", "--to", "./Music/../Music/x"],
                       ["Music", "--to", "note.txt"]]
        if not harness.ON_WINDOWS_BUILD:
            os.symlink("Music", self.path("Mlink"))
            overlapping += [["Music", "--to", "Mlink", "--overwrite"], ["Mlink/a.wav", "--to", "Music"]]
        for args in overlapping:
            with self.subTest(args):
                result = self.run_batch(["decode"] + args)
                self.assertEqual((result.status, result.stdout), (1, b""), result)
                self.assertIn(b"\nUsage:\n", result.stderr)
                self.assertEqual(harness.listing(self.dir), ["Music/a.wav", "lle.wav", "note.txt"])
        if not harness.ON_WINDOWS_BUILD:
            # A folder below the output folder that links into a PATH takes nothing.
            os.makedirs(self.path("Out"))
            os.makedirs(self.path("Music", "Sub"))
            self.place("lle.wav", "Music/Sub/b.wav")
            os.symlink(self.path("Music", "Sub"), self.path("Out", "Sub"))
            result = self.run_batch(["decode", "Music", "--to", "Out", "--json", "r.json"])
            self.assertEqual(result.status, 1, result)
            self.assertEqual(actions(self, "r.json")["Music/Sub/b.wav"][0],
                             "failed: the output folder of Out/Sub/b.flac lies inside Music, which is read")
            self.assertEqual(harness.listing(self.path("Music")), ["Sub/b.wav", "a.wav"])
            for name in ("Out/Sub", "Mlink", "r.json"):
                os.remove(self.path(name))
            shutil.rmtree(self.path("Out"))
            shutil.rmtree(self.path("Music", "Sub"))
        # Two inputs that would both become Out/a.flac: neither is written, whatever --jobs does.
        self.place(inputs.to_flac(self, "lle.wav", "lle.flac"), "Music/a.flac")
        result = self.run_batch(["decode", "Music", "--to", "Out", "--json", "r.json"])
        self.assertEqual(result.status, 1, result)
        self.assertFalse(os.path.exists(self.path("Out")))
        other = "failed: Music%s%%s has the same output name" % harness.SEP
        self.assertEqual(actions(self, "r.json"), {"Music/a.flac": (other % "a.wav", "Out/a.flac"),
                                                   "Music/a.wav": (other % "a.flac", "Out/a.flac")})

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "POSIX file-size limits and signals")
    def test_full_disk_stops_the_run_once(self):
        # One short HDCD track whose output fits under the limit, then two that do not.
        self.place(inputs.cut(self, "lle.wav", 150000, "short.wav"), "Music/1 short.wav")
        self.place("lle.wav", "Music/2 long.wav")
        self.place("lle.wav", "Music/3 long.wav")
        result = self.run_batch(["decode", "Music", "--to", "Out", "--jobs", "1", "--json", "r.json"], timeout=120,
                                preexec_fn=test_faults.limit_output(400000))
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.stderr.count(b"disk is full"), 1, result.stderr)
        self.assertEqual(harness.listing(self.path("Out")), ["1 short.flac"])
        reference = self.path("short.flac")
        self.assertEqual(harness.run(["Music/1 short.wav", reference, "--quiet"], cwd=self.dir).status, 0)
        self.assertEqual(harness.read_bytes(self.path("Out", "1 short.flac")), harness.read_bytes(reference))
        self.assertEqual(sorted(actions(self, "r.json")), ["Music/1 short.wav", "Music/2 long.wav"])
        # A disk too full to take a new folder stops the run the same way.
        shutil.rmtree(self.path("Out"))
        shutil.rmtree(self.path("Music"))
        for album in ("A", "B", "C"):
            self.place("short.wav", "Music/%s/1.wav" % album)
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        traced = subprocess.run(["strace", "-f", "-qq", "-o", "/dev/null", "-e", "inject=mkdir,mkdirat:error=ENOSPC:when=2+",
                                 harness.BATCH_PROGRAM, "decode", "Music", "--to", "Out", "--jobs", "1"],
                                cwd=self.dir, capture_output=True, timeout=120, env=env)
        self.assertEqual(traced.returncode, 1, traced)
        self.assertEqual(traced.stderr.count(b"disk is full"), 1, traced.stderr)

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "SIGINT is POSIX")
    def test_interrupt_then_rerun_completes(self):
        for n in range(1, 9):
            self.place("lle.wav", "Music/%02d.wav" % n)
        args = [harness.BATCH_PROGRAM, "decode", "Music", "--to", "Out", "--jobs", "1", "--json", "r.json"]
        process = subprocess.Popen(harness.RUNNER + args, cwd=self.dir, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        deadline = time.time() + 60
        while not os.path.exists(self.path("Out", "01.flac")) and time.time() < deadline:
            time.sleep(0.005)
        process.send_signal(signal.SIGINT)
        _, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 130, stderr)
        done = harness.listing(self.path("Out"))
        self.assertTrue(all(name.endswith(".flac") for name in done), done)  # no temporary file
        self.assertLess(len(done), 8)
        self.assertTrue(harness.read_json(self.path("r.json"))["cancelled"])

        rerun = self.run_batch(args[1:])
        self.assertEqual(rerun.status, 0, rerun)
        self.assertEqual(harness.listing(self.path("Out")), ["%02d.flac" % n for n in range(1, 9)])
        self.assertEqual(sorted(action for action, _ in actions(self, "r.json").values()),
                         ["decoded"] * (8 - len(done)) + ["exists"] * len(done))

    def test_output_names_taken_or_shared(self):
        inputs.write_file(self, "plain.wav", inputs.wav_bytes(inputs.tone_without_hdcd()))
        inputs.to_flac(self, "plain.wav", "plain.flac")
        inputs.to_flac(self, "lle.wav", "lle.flac")
        # (files below Music, folders made below the output folder, the actions expected)
        cases = [({"x.wav": "plain.wav", "x.flac": "plain.flac"}, [],  # no decode: each copy keeps its own name
                  {"x.wav": ("copied", "x.wav"), "x.flac": ("copied", "x.flac")}),
                 ({"y.wav": "lle.wav", "y.flac": "plain.flac"}, [],  # a decode and a copy both named y.flac
                  {"y.wav": ("failed: Music/y.flac has the same output name", "y.flac"),
                   "y.flac": ("failed: Music/y.wav has the same output name", "y.flac")}),
                 ({"z.wav": "lle.wav"}, ["z.flac"],  # a folder where the output goes
                  {"z.wav": ("failed: the output name n1/n2/Out/z.flac is a folder", "z.flac")})]
        for files, folders, expected in cases:
            with self.subTest(files=sorted(files)):
                shutil.rmtree(self.path("Music"), ignore_errors=True)
                shutil.rmtree(self.path("n1"), ignore_errors=True)
                for name, source in files.items():
                    self.place(source, "Music/" + name)
                for folder in folders:  # missing folders above the output folder are made
                    os.makedirs(self.path("n1", "n2", "Out", folder))
                result = self.run_batch(["decode", "Music", "--to", "n1/n2/Out", "--copy-others", "--json", "r.json"])
                self.assertEqual(result.status, 0 if all(a == "copied" for a, _ in expected.values()) else 1, result)
                got = {name: (action.replace(harness.SEP, "/"), out) for name, (action, out) in actions(self, "r.json").items()}
                self.assertEqual(got, {"Music/" + name: (action, "n1/n2/Out/" + out) for name, (action, out) in expected.items()})

    def test_two_runs_into_one_folder_at_once(self):
        for n in range(1, 5):
            self.place("lle.wav", "Music/%02d.wav" % n)
        self.assertEqual(harness.run(["--quiet", "lle.wav", "reference.flac"], cwd=self.dir).status, 0)
        args = [harness.BATCH_PROGRAM, "decode", "Music", "--to", "Out", "--overwrite", "--jobs", "2"]
        runs = [subprocess.Popen(harness.RUNNER + args + ["--json", "r%d.json" % n], cwd=self.dir,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE) for n in (1, 2)]
        for run in runs:
            stdout, stderr = run.communicate(timeout=300)
            self.assertEqual(run.returncode, 0, stdout + stderr)
        # Each run wrote under names of its own: every output is one whole decode, and nothing else is left.
        self.assertEqual(harness.listing(self.path("Out")), ["%02d.flac" % n for n in range(1, 5)])
        for name in harness.listing(self.path("Out")):
            self.assertEqual(harness.read_bytes(self.path("Out", name)), harness.read_bytes(self.path("reference.flac")))

    def test_wav_collection_to_flac_twenty_times(self):
        # The usual rip: WAV only, decoded to FLAC by two workers that both need libFLAC at once.
        for n in range(1, 5):
            self.place(inputs.cut(self, "lle.wav", 150000, "short.wav"), "Music/%d.wav" % n)
        for attempt in range(20):
            result = self.run_batch(["decode", "Music", "--to", "Out %d" % attempt, "--jobs", "2", "--quiet"])
            self.assertEqual((result.status, result.stderr), (0, b""), attempt)
            self.assertEqual(harness.listing(self.path("Out %d" % attempt)), ["%d.flac" % n for n in range(1, 5)])

    @unittest.skipIf(harness.ON_WINDOWS_BUILD, "POSIX resource limits")
    def test_worker_threads_the_system_refuses(self):
        if b"__asan_init" in harness.read_bytes(harness.BATCH_PROGRAM):
            self.skipTest("a sanitized build reserves more address space than the limits leave")
        self.place("lle.wav", "Music/1.wav")
        self.place("lle.wav", "Music/2.wav")

        def address_space(mib):
            def apply():  # each thread's stack takes the stack limit: 1 GiB
                resource.setrlimit(resource.RLIMIT_STACK, (1 << 30, 1 << 30))
                resource.setrlimit(resource.RLIMIT_AS, (mib << 20, mib << 20))
            return apply

        # (address space in MiB, exit status, stderr, outputs)
        for mib, status, stderr, outputs in [
                (1500, 0, b"Note: the system started 1 of 2 worker threads (Resource temporarily unavailable); "
                          b"the run went on with 1.\n", ["1.flac", "2.flac"]),
                (600, 1, b"Error: the system refused to start a worker thread (Resource temporarily unavailable); "
                         b"nothing was read.\n", [])]:
            with self.subTest(mib):
                shutil.rmtree(self.path("Out"), ignore_errors=True)
                result = self.run_batch(["decode", "Music", "--to", "Out", "--jobs", "2", "--quiet"],
                                        preexec_fn=address_space(mib))
                self.assertEqual((result.status, result.stderr), (status, stderr))
                self.assertEqual(harness.listing(self.path("Out")) if outputs else [], outputs)


if __name__ == "__main__":
    harness.main()
