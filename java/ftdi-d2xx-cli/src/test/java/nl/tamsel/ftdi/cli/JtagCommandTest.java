package nl.tamsel.ftdi.cli;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The tool's jtag command on the simulated FT232HJT and its chain of three devices. */
class JtagCommandTest extends ToolTestBase {

    @BeforeEach
    void startClean() {
        SimulatedDriver.reset();
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "jtag scan FT232HJT                                 | 1000000",
        "jtag scan serial:FT232HJT --frequency 7000000      | 6000000",
        "jtag scan FT232HJT --frequency 100000000           | 30000000"})
    void scanListsTheChainFromTdiToTdo(String commandLine, String hz) {
        assertEquals(0, run(("--simulated " + commandLine).split(" +")), err());
        assertEquals("3 devices, TDI to TDO:\n"
                + "  0: 0x1234A0F3 (manufacturer bank 1 ID 0x79, part 0x234A, version 1)\n"
                + "  1: bypass only (no IDCODE)\n"
                + "  2: 0x2B5C7A2D (manufacturer bank 11 ID 0x16, part 0xB5C7, version 2)\n"
                + "IR length: 18 bits in total\n"
                + "TCK: " + hz + " Hz\n", out());
    }

    /**
     * After reset the data registers are IDCODE, BYPASS, IDCODE; an instruction scan selecting
     * USERCODE in the first device and BYPASS in the others puts it behind two bypass bits.
     */
    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "dr 66 0                     | dr 66 0246941E62B5C7A2D",
        "dr 66 1                     | dr 66 2246941E62B5C7A2D",
        "ir 18 3DFFF dr 34 0         | ir 18 01101;dr 34 32BF80004",
        "ir 18 0x3_FFFF dr 4 F       | ir 18 01101;dr 4 8"})
    void shiftPrintsTheCapturedBits(String shifts, String expected) {
        assertEquals(0, run(("--simulated jtag shift FT232HJT " + shifts).split(" +")), err());
        assertEquals(expected.replace(';', '\n') + "\n", out());
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "jtag                           | jtag takes scan or shift, not nothing",
        "jtag probe FT232HJT            | jtag takes scan or shift, not probe",
        "jtag scan                      | expected scan <device>",
        "jtag shift FT232HJT ir 18      | then ir|dr <bits> <hex>, once or more",
        "jtag shift FT232HJT xr 4 F     | ir or dr, not xr",
        "jtag shift FT232HJT ir 0 0     | <bits> is a number from 1",
        "jtag shift FT232HJT ir 4 1F    | 1F has more than 4 bits",
        "jtag shift FT232HJT dr 8 G1    | <hex> is a number in hex digits",
        "jtag scan FT232HJT --frequency 0 | --frequency takes a whole number"})
    void commandLineMistakesAreUsageErrors(String commandLine, String message) {
        assertEquals(2, run(commandLine.split(" +")));
        assertTrue(err().contains(message), err());
    }

    @ParameterizedTest(name = "{0} bits {1}")
    @CsvSource({"1, 1, 01", "4, F, 0F", "18, 3FFFF, FFFF03", "12, A5C, 5C0A", "9, 0x100, 0001", "16, 00ff, FF00"})
    void hexNumbersReadAsSvfWritesThem(int bits, String hex, String bytes) throws CommandFailure {
        byte[] expected = new byte[bytes.length() / 2];
        for (int i = 0; i < expected.length; i++) {
            expected[i] = (byte) Integer.parseInt(bytes, 2 * i, 2 * i + 2, 16);
        }
        byte[] parsed = JtagCommand.bits(hex, bits);
        assertArrayEquals(expected, parsed);
        String digits = hex.replaceFirst("^0x", "").toUpperCase();
        String padded = "0".repeat(Math.max(0, (bits + 3) / 4 - digits.length())) + digits;
        assertEquals(padded.substring(padded.length() - (bits + 3) / 4), JtagCommand.hex(parsed, bits));
    }

    @Test
    void aChipWithoutMpsseSaysSo() {
        assertEquals(1, run("--simulated", "jtag", "scan", "SIM232R1"));
        assertTrue(err().contains("MPSSE"), err());
        assertThrows(CommandFailure.class, () -> JtagCommand.bits("", 4));
    }

    @Test
    void traceWritesTheChainsWaveform(@TempDir Path directory) throws IOException {
        Path vcd = directory.resolve("jtag.vcd");
        assertEquals(0, run("--simulated", "--trace", vcd.toString(), "jtag", "shift", "FT232HJT", "ir", "18", "3FFFF"),
                err());
        String text = Files.readString(vcd);
        for (String pin : new String[] {" TCK $end", " TDI $end", " TDO $end", " TMS $end"}) {
            assertTrue(text.contains(pin), pin + " in " + text);
        }
        assertTrue(text.lines().filter(line -> line.startsWith("#")).count() > 36, "level changes: " + text);
    }
}
