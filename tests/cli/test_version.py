import harness


class VersionTest(harness.CliTestCase):
    def test_version_ignores_further_arguments(self):
        for extra in ([], ["x"], ["--bogus", "a.wav"]):
            with self.subTest(extra=extra):
                result = self.run_program(["--version"] + extra)
                self.assertOutcome(result, 0, b"QV-HDCD 1.0.1.0\n")
                self.assertFiles([])


if __name__ == "__main__":
    harness.main()
