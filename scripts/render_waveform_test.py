#!/usr/bin/env python3
"""Tests scripts/render-waveform: the VCD it reads, the I2C it decodes and the PNG it writes."""
import importlib.machinery
import importlib.util
import os
import struct
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
loader = importlib.machinery.SourceFileLoader("render_waveform", os.path.join(HERE, "render-waveform"))
spec = importlib.util.spec_from_loader("render_waveform", loader)
render = importlib.util.module_from_spec(spec)
loader.exec_module(render)


def i2c_vcd(transactions, timescale="1ns"):
    """A VCD of SCL (!) and SDA (") for transactions, each a list of (byte, acknowledged)."""
    changes, now = [], 0

    def put(ident, level, steps=1):
        nonlocal now
        changes.append((now, level, ident))
        now += 100 * steps

    for transaction in transactions:
        put('"', 1), put("!", 1), put('"', 0), put("!", 0)  # (repeated) start
        for byte, acknowledged in transaction:
            for bit in [(byte >> (7 - i)) & 1 for i in range(8)] + [0 if acknowledged else 1]:
                put('"', bit), put("!", 1), put("!", 0)
    put('"', 0), put("!", 1), put('"', 1)  # stop
    text = ("$timescale %s $end\n$scope module ftdi $end\n$var wire 1 ! SCL $end\n"
            "$var wire 1 \" SDA $end\n$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n1!\n1\"\n$end\n"
            % timescale)
    return text + "".join("#%d\n%d%s\n" % change for change in changes)


def jtag_clocks(scans):
    """TCK, TMS, TDI and TDO changes for scans from Run-Test/Idle back to it, each a register
    ("IR" or "DR") with the TDI and TDO bits, first shifted first: pins change while TCK is low."""
    clocks = []
    for register, tdi, tdo in scans:
        clocks += [(tms, 0, 1) for tms in ((1, 1, 0, 0) if register == "IR" else (1, 0, 0))]
        clocks += [(1 if i == len(tdi) - 1 else 0, tdi[i], tdo[i]) for i in range(len(tdi))]
        clocks += [(1, 0, 1), (0, 0, 1)]
    tck, tms, tdi, tdo = [], [], [], []
    for step, (m, i, o) in enumerate(clocks):
        tms.append((100 * step, m)), tdi.append((100 * step, i)), tdo.append((100 * step, o))
        tck.append((100 * step + 50, 1)), tck.append((100 * step + 99, 0))
    return tck, tms, tdi, tdo


class RenderWaveformTest(unittest.TestCase):

    def test_decodes_jtag_scans_with_the_first_bit_lowest(self):
        scans = [("IR", [1, 1, 0, 0, 1], [1, 0, 1, 0, 0]), ("DR", [0, 1, 1], [1, 0, 0]), ("DR", [1], [0])]
        found = render.decode_jtag(*jtag_clocks(scans), state="IDLE")
        self.assertEqual(["IR 5 TDI 13 TDO 05", "DR 3 TDI 6 TDO 1", "DR 1 TDI 1 TDO 0"],
                         [label for _, _, label in found])
        # A scan spans its shifted bits' clocks: from the first to the one leaving Shift.
        self.assertEqual((450, 850), found[0][:2])


    def test_decodes_addresses_bytes_acknowledgements_and_repeated_starts(self):
        cases = [
            ([[(0x90, True), (0x00, True)]], ["START", "48 W ACK", "00 ACK", "STOP"]),
            ([[(0x60, False)]], ["START", "30 W NACK", "STOP"]),
            ([[(0x90, True), (0x04, True)], [(0x91, True), (0x4B, True), (0x00, False)]],
             ["START", "48 W ACK", "04 ACK", "START", "48 R ACK", "4B ACK", "00 NACK", "STOP"]),
        ]
        for transactions, expected in cases:
            with self.subTest(expected=expected):
                names, changes = render.read_vcd(i2c_vcd(transactions))
                self.assertEqual(["SCL", "SDA"], names)
                labels = [label for _, _, label in render.decode_i2c(changes["SCL"], changes["SDA"])]
                self.assertEqual(expected, labels)

    def test_reads_the_timescale(self):
        for timescale, factor in [("1ns", 1.0), ("10ns", 10.0), ("1us", 1000.0)]:
            with self.subTest(timescale=timescale):
                _, changes = render.read_vcd(i2c_vcd([[(0x90, True)]], timescale))
                # The start: SDA falls after two steps of 100 units.
                self.assertEqual(200 * factor, changes["SDA"][2][0])

    def test_writes_a_png_of_the_asked_width_with_a_row_per_signal(self):
        names, changes = render.read_vcd(i2c_vcd([[(0x90, True)]]))
        png = render.render(names, changes, 640).png()
        self.assertEqual(b"\x89PNG\r\n\x1a\n", png[:8])
        width, height = struct.unpack(">II", png[16:24])
        self.assertEqual(640, width)
        one_row = render.render(names[:1], changes, 640).png()
        self.assertGreater(height, struct.unpack(">II", one_row[16:24])[1])
        pixels = zlib.decompress(png[png.index(b"IDAT") + 4:-16])
        self.assertEqual(height * (1 + 3 * width), len(pixels))


if __name__ == "__main__":
    unittest.main()
