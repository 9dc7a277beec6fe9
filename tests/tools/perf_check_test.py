#!/usr/bin/env python3
"""The budget rules of tools/perf-check.py: where a rise fails, and what else fails."""

import importlib.util
import pathlib
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "tools" / "perf-check.py"
module_spec = importlib.util.spec_from_file_location("perf_check", SCRIPT)
perf_check = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(perf_check)


class PerfCheck(unittest.TestCase):
    def test_rises_fail_only_beyond_the_tolerance(self):
        # (budget, count, faults, counts below budget)
        cases = [(1000, 1000, 0, 0), (1000, 1030, 0, 0), (1000, 1031, 1, 0),
                 (1000, 500, 0, 1), (99999, 102998, 0, 0), (99999, 102999, 1, 0)]
        for budget, count, faults, below in cases:
            _, found_faults, found_below = perf_check.compare({"w": budget}, {"w": count})
            self.assertEqual((found_faults, found_below), (faults, below), (budget, count))

    def test_missing_and_stale_budgets_fail(self):
        lines, faults, _ = perf_check.compare({"old": 5, "kept": 7}, {"kept": 7, "new": 9})
        self.assertEqual(faults, 2)
        self.assertTrue(any(line.startswith("new") and "no budget" in line for line in lines))
        self.assertTrue(any(line.startswith("old") and "not run" in line for line in lines))

    def test_counts_leave_out_the_c_library(self):
        # The program's own 100 + 7 instructions count; libc's 40 (memcpy, chosen by the
        # processor) do not, nor the 40 repeated as the call's inclusive cost.
        dump = "\n".join([
            "desc: Trigger: Client Request: w", "events: Ir",
            "ob=(1) /build/prog", "fn=(1) work", "0 100",
            "cob=(2) /usr/lib/x86_64-linux-gnu/libc.so.6", "cfn=(2) memcpy",
            "calls=1 0", "0 40", "+1 7",
            "ob=(2)", "fn=(2)", "0 40", "ob=(1)", "fn=(1)", "0 0", ""])
        self.assertEqual(perf_check.read_dump(dump), ("w", 107))

    def test_written_budgets_read_back(self):
        counts = {"frame/flat/0,0": 5101633, "i_key/disc_200": 8761818}
        with tempfile.TemporaryDirectory() as folder:
            path = pathlib.Path(folder) / "budgets.txt"
            perf_check.write_budgets(path, counts, "GCC 12.2.0, valgrind-3.19.0")
            self.assertEqual(perf_check.read_budgets(path),
                             (counts, "GCC 12.2.0, valgrind-3.19.0"))


if __name__ == "__main__":
    unittest.main()
