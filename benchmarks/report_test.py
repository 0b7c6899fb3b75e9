#!/usr/bin/env python3
"""Tests the SPI, I2C and GPIO section of report.py: verdicts, figures and where it is written."""

import json
import pathlib
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import report  # noqa: E402

OPERATIONS = {"i2cWriteRegisters": (1, 1), "i2cReadRegisters": (1, 1), "i2cScan": (2, 2), "i2cRead256": (1, 1),
              "gpioWrite": (1, 0), "gpioRead": (1, 1), "spiTransfer4": (1, 1), "spiTransfer4096": (1, 1)}


def simulated(changes=None, read_nanos=6_000_000):
    """A simulated report with every operation within its limit, but for the changed ones."""
    counts = dict(OPERATIONS, **(changes or {}))
    return {"operations": [{"name": name, "writes": w, "reads": r, "busNanos": 1000} for name, (w, r) in counts.items()],
            "i2cRead256": {"bytes": 256, "busNanos": read_nanos, "writes": 1, "reads": 1, "clockHz": 400000}}


def jmh_entry(method, score, size=None):
    entry = {"benchmark": f"nl.tamsel.ftdi.benchmark.SerialBusBenchmark.{method}",
             "primaryMetric": {"score": score, "scoreError": "NaN", "rawData": [[score]]},
             "jmhVersion": "1.37", "forks": 1, "warmupIterations": 1, "warmupTime": "1 s",
             "measurementIterations": 1, "measurementTime": "1 s", "vmName": "VM", "jdkVersion": "25"}
    if size is not None:
        entry["params"] = {"size": str(size)}
    return entry


def row(text, operation):
    """The table row of an operation, split into its cells."""
    line = next(line for line in text.splitlines() if line.startswith(f"| {operation} |"))
    return [cell.strip() for cell in line.strip("|").split("|")]


class CountsTest(unittest.TestCase):
    CASES = [
        ("all within", {}, "I2C write: register address + 16 bytes", "1 / 1", "**met**"),
        ("write split in two", {"i2cWriteRegisters": (2, 1)}, "I2C write: register address + 16 bytes", "2 / 1",
         "missed"),
        ("read with a second read", {"i2cReadRegisters": (1, 2)},
         "I2C register read of 16 bytes with a repeated start", "1 / 2", "missed"),
        ("scan in two round trips", {}, "I2C bus scan 0x08–0x77", "2 / 2", "**met**"),
        ("scan in three", {"i2cScan": (3, 3)}, "I2C bus scan 0x08–0x77", "3 / 3", "missed"),
        ("scan in one", {"i2cScan": (1, 1)}, "I2C bus scan 0x08–0x77", "1 / 1", "**met**"),
        ("4 KiB chunked", {"spiTransfer4096": (5, 9)}, "SPI full-duplex 4096 bytes", "5 / 9", "missed"),
        ("GPIO write that reads", {"gpioWrite": (1, 1)}, "GPIO write, then read", "write 1 / 1, read 1 / 1",
         "missed"),
        ("GPIO within", {}, "GPIO write, then read", "write 1 / 0, read 1 / 1", "**met**"),
    ]

    def test_counts_and_verdicts(self):
        for name, changes, operation, counts, verdict in self.CASES:
            with self.subTest(name):
                cells = row(report.bus_table({}, simulated(changes)), operation)
                self.assertEqual(counts, cells[3])
                self.assertEqual(verdict, cells[4])

    def test_nothing_simulated_is_no_verdict(self):
        cells = row(report.bus_table({}, None), "SPI full-duplex 4 bytes")
        self.assertEqual(["—", "missed"], cells[3:5])


class CpuTest(unittest.TestCase):
    CASES = [("well below", 5_000.0, "**met**"), ("at the limit", 20_000.0, "**met**"),
             ("above", 20_001.0, "missed"), ("not measured", None, "missed")]

    def test_the_16_byte_write_against_20_microseconds(self):
        for name, ns, verdict in self.CASES:
            with self.subTest(name):
                cpu = {} if ns is None else {("SerialBusBenchmark.i2cWriteRegisters", 0): (ns, None)}
                cells = row(report.bus_table(cpu, simulated()), "host CPU for the 16-byte I2C write, no USB")
                self.assertEqual(verdict, cells[4])
                self.assertEqual(report.us_text(ns), cells[3])


class RateTest(unittest.TestCase):
    CASES = [("the wire's pace", 5_818_182, "44.0 kB/s", "**met**"),
             ("just at the target", 7_314_285, "35.0 kB/s", "**met**"),
             ("just below the target", 7_314_286, "35.0 kB/s", "missed"),
             ("slower", 8_000_000, "32.0 kB/s", "missed")]

    def test_payload_rate(self):
        for name, nanos, rate, verdict in self.CASES:
            with self.subTest(name):
                text = report.bus_rate_text(simulated(read_nanos=nanos))
                self.assertIn(f"**{rate}**", text)
                self.assertIn(f"({verdict})", text)


class LongReadTest(unittest.TestCase):
    def test_each_setting_is_a_row_with_the_wires_share_of_the_bus_time(self):
        reads = [{"receiveBuffer": 65536, "replyBound": 65536, "bytes": 16 << 20, "writes": 513, "reads": 512,
                  "busNanos": 5_000_000_000, "wireNanos": 4_473_924_266, "clockHz": 30_000_000},
                 {"receiveBuffer": 4096, "replyBound": 4096, "bytes": 16 << 20, "writes": 8193, "reads": 8192,
                  "busNanos": 8_947_848_532, "wireNanos": 4_473_924_266, "clockHz": 30_000_000}]
        text = report.long_read_text({"longReads": reads})
        self.assertIn("at 30 MHz", text)
        self.assertEqual(["65,536 B", "65,536 B", "16 MiB", "513 / 512", "5.000 s", "4.474 s", "89.5 %"],
                         row(text, "65,536 B"))
        self.assertEqual("50.0 %", row(text, "4,096 B")[6])
        self.assertIn("not measured", report.long_read_text({"operations": []}))


class WritingTest(unittest.TestCase):
    def test_bus_only_replaces_its_block_and_nothing_else(self):
        with tempfile.TemporaryDirectory() as directory:
            root = pathlib.Path(directory)
            results, docs = root / "results", root / "docs"
            results.mkdir()
            docs.mkdir()
            (results / "serial-bus.json").write_text(json.dumps(
                [jmh_entry("i2cWriteRegisters", 12_345.0), jmh_entry("spiTransfer", 2_000.0, 4096)]))
            (results / "serial-bus-simulated.json").write_text(json.dumps(simulated()))
            (results / "serial-bus-loadavg").write_text("1.0 2.0 3.0 1/100 1\n")
            before = (f"intro\n{report.BEGIN}\nold results\n{report.END}\nmiddle\n"
                      f"{report.BUS_BEGIN}\nold bus\n{report.BUS_END}\nend\n")
            (docs / "benchmarks.md").write_text(before)
            readme = root / "README.md"
            readme.write_text("readme\n")
            report.main(results, docs, readme, bus_only=True)
            after = (docs / "benchmarks.md").read_text()
            self.assertIn(f"{report.BEGIN}\nold results\n{report.END}\nmiddle\n", after)
            self.assertNotIn("old bus", after)
            self.assertIn("12.35 µs", row(after, "I2C write: register address + 16 bytes")[5])
            self.assertEqual("2.00 µs", row(after, "SPI full-duplex 4096 bytes")[5])
            self.assertTrue(after.endswith(f"{report.BUS_END}\nend\n"))
            self.assertEqual("readme\n", readme.read_text())
            self.assertFalse((docs / "benchmarks.svg").exists())


if __name__ == "__main__":
    unittest.main()
