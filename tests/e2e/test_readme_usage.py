"""The README's command lines for the benchmarks agree with the usage text
each program prints when it refuses its arguments."""
import os
import re
import subprocess
import unittest

from dashcam_board import BINARY_DIR, SANITIZER_MARKS, SOURCE_DIR

# The benchmarks with a usage text, and arguments each one refuses.
REFUSED = {
    "bench_record_codec_bench": ["0"],
    "bench_media_codec_bench": ["0"],
    "bench_capture_codec_bench": [],
}


class ReadmeUsageTest(unittest.TestCase):
    def test_bench_arguments_are_the_ones_the_programs_take(self):
        with open(os.path.join(SOURCE_DIR, "README.md"), encoding="utf-8") as f:
            shown = dict(re.findall(r"`(bench_\w+) ([^`]+)`", f.read()))
        for name, refused in REFUSED.items():
            with self.subTest(name=name):
                self.assertIn(name, shown)
                r = subprocess.run([os.path.join(BINARY_DIR, "bench", name)] + refused,
                                   capture_output=True, text=True, timeout=120)
                self.assertEqual(r.returncode, 2, r.stderr)
                for mark in SANITIZER_MARKS:
                    self.assertNotIn(mark, r.stderr)
                usage = re.search(r"^usage: \S+ (.*)$", r.stderr, re.M)
                self.assertIsNotNone(usage, r.stderr)
                self.assertEqual(shown[name].upper(), usage.group(1).upper())


if __name__ == "__main__":
    unittest.main()
