"""Shared helpers for the command-line tests.

Each test runs the program under test in a fresh temporary directory and looks at
what it printed, its exit status and the files it left behind. The program comes
from QV_HDCD_TARGET (set by CTest), qv-hdcd-batch from QV_HDCD_BATCH_TARGET; QV_HDCD_RUNNER is an optional prefix such as
"wine" so that the same tests run against another build.
"""
import collections
import json
import os
import shlex
import shutil
import subprocess
import tempfile
import unittest

PROGRAM = os.environ.get("QV_HDCD_TARGET", "")
BATCH_PROGRAM = os.environ.get("QV_HDCD_BATCH_TARGET", "")  # qv-hdcd-batch, built beside it
RUNNER = shlex.split(os.environ.get("QV_HDCD_RUNNER", ""))
SOURCE_DIR = os.environ.get("QV_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BINARY_DIR = os.environ.get("QV_BINARY_DIR", "")
ON_WINDOWS_BUILD = PROGRAM.lower().endswith(".exe")
SEP = "\\" if ON_WINDOWS_BUILD else "/"  # in the paths the programs print


Result = collections.namedtuple("Result", "status stdout stderr")


def run(args, cwd=None, stdin=None, timeout=300, env=None, program=None, together=False, preexec_fn=None,
        prefix=()):
    """Runs the program with args; returns a Result with bytes stdout/stderr. together: both
    streams go into one pipe, read as stdout, the way a log redirected with 2>&1 gets them.
    preexec_fn runs in the child before the program starts; prefix is a command that runs it
    (setpriv, say)."""
    command = list(prefix) + RUNNER + [program or PROGRAM] + list(args)
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    completed = subprocess.run(command, cwd=cwd, input=stdin, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT if together else subprocess.PIPE, timeout=timeout,
                               env=full_env, preexec_fn=preexec_fn)
    stdout = completed.stdout
    stderr = completed.stderr or b""
    if ON_WINDOWS_BUILD:
        # The Windows runtime writes text-mode newlines on the console streams.
        stdout = stdout.replace(b"\r\n", b"\n")
        stderr = stderr.replace(b"\r\n", b"\n")
    return Result(completed.returncode, stdout, stderr)


def listing(directory):
    """Sorted relative paths of every file below directory."""
    found = []
    for root, _dirs, files in os.walk(directory):
        for name in files:
            found.append(os.path.relpath(os.path.join(root, name), directory))
    return sorted(found)


def read_bytes(path):
    with open(path, "rb") as handle:
        return handle.read()


def contents(directory):
    """{relative path: bytes} of every file below directory."""
    return {name: read_bytes(os.path.join(directory, name)) for name in listing(directory)}


def flac_library_name():
    """The file name of the libFLAC the build loads."""
    return read_bytes(os.path.join(BINARY_DIR, "flac_library_file.txt")).decode().strip()


def read_json(path):
    with open(path, encoding="utf-8") as handle:
        return json.load(handle)


class CliTestCase(unittest.TestCase):
    """A test case with a fresh temporary working directory per test."""

    maxDiff = None

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qv-hdcd-test-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def run_program(self, args, **kwargs):
        kwargs.setdefault("cwd", self.dir)
        return run(args, **kwargs)

    def run_batch(self, args, **kwargs):
        return self.run_program(args, program=BATCH_PROGRAM, **kwargs)

    def place(self, source, target):
        """Copies source to target (below the test directory), making target's folders."""
        os.makedirs(os.path.dirname(self.path(target)), exist_ok=True)
        shutil.copyfile(self.path(source), self.path(target))

    def assertOutcome(self, result, status, stdout=b"", stderr=b""):
        """Compares exit status, stdout and stderr byte for byte."""
        self.assertEqual((result.status, result.stdout, result.stderr), (status, stdout, stderr))

    def assertFiles(self, expected):
        self.assertEqual(listing(self.dir), sorted(expected))


def main():
    if not PROGRAM:
        raise SystemExit("QV_HDCD_TARGET is not set; run the tests through CTest")
    unittest.main(verbosity=2)
