package nl.tamsel.ftdi.cli;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The tool's I2C, SPI, GPIO, EEPROM and events commands, on the simulated devices of --simulated. */
class BusCommandsTest extends ToolTestBase {


    @BeforeEach
    void startClean() {
        SimulatedDriver.reset();
    }

    /** Mistakes on the command line are reported before any device is opened. */
    @ParameterizedTest(name = "{0} -> {1}")
    @CsvSource(delimiter = '|', value = {
        "i2c                                 | i2c takes scan, read or write, not nothing",
        "i2c probe 3                         | i2c takes scan, read or write, not probe",
        "i2c scan                            | expected scan <device>, got scan",
        "i2c read 3 0x48                     | expected read <device> <address> [register] <count>",
        "i2c read 3 0x80 1                   | The address is a number from 0 to 127 (0x7f)",
        "i2c read 3 0x48 0x100 2             | The register is a number from 0 to 255 (0xff)",
        "i2c read 3 0x48 0                   | The count is a number from 1 to 65536",
        "i2c write 3 0x50 0g                 | <hexbytes> is bytes in hex, two digits each (such as 9F000000), not 0g",
        "i2c write 3 0x50 123                | <hexbytes> is bytes in hex, two digits each",
        "i2c scan 3 --frequency 300000       | --frequency takes 100000, 400000 or 1000000 for I2C, not 300000",
        "spi read 4 9f                       | spi takes transfer, not read",
        "spi transfer 4 9f --mode 4          | --mode takes a whole number from 0 to 3, not 4",
        "spi transfer 4 9f --cs 2            | --cs takes a whole number from 3 to 15, not 2",
        "spi transfer 4                      | expected transfer <device> <hexbytes>, got transfer 4",
        "gpio                                | expected <device>, got none",
        "gpio 0 toggle                       | gpio takes read or write, not toggle",
        "gpio 0 write                        | expected <device> write <value>, got 0 write",
        "gpio 0 write 256                    | The value is a number from 0 to 255 (0xff)",
        "gpio 0 write 1 --directions 0x1ff   | --directions is a number from 0 to 255",
        "gpio 0 read --directions 1          | gpio <device> read takes no value and no --directions",
        "eeprom 0                            | expected <device> read|write|erase|user-area, got 0",
        "eeprom 0 wipe                       | eeprom takes read, write, erase or user-area, not wipe",
        "eeprom 0 write 1                    | expected <device> write <offset> <value>, got 0 write 1",
        "eeprom 0 write 1 0x10000            | The value is a number from 0 to 65535 (0xffff)",
        "eeprom 0 user-area xyz              | <hexbytes> is bytes in hex",
        "events 0 --timeout -1               | --timeout takes a whole number from 0 to 2147483647, not -1",
        "--trace                             | --trace needs a file name, such as bus.vcd",
        "--trace bus.vcd i2c scan 3          | --trace records the simulated bus's waveform, so it needs --simulated"})
    void commandLineMistakesAreUsageErrors(String commandLine, String message) {
        int callsBefore = SimulatedDriver.callCount("FT_Open");
        assertEquals(2, run(commandLine.split(" ")), err());
        assertTrue(err().contains(message), err());
        assertEquals(callsBefore, SimulatedDriver.callCount("FT_Open"), "no device was opened");
    }

    @ParameterizedTest
    @CsvSource({"i2c, i2c read <device> <address> [register] <count>", "spi, --cs PIN",
        "gpio, --directions M", "eeprom, eeprom <device> user-area [<hexbytes>]", "events, --timeout MS"})
    void everyBusCommandExplainsItselfWithHelp(String command, String expected) {
        assertEquals(0, run(command, "--help"));
        assertTrue(out().startsWith("Usage: java -jar ftdi-d2xx.jar [--simulated] " + command), out());
        assertTrue(out().contains(expected), out());
    }

    @Test
    void generalHelpNamesTheBusCommandsAndTheNackExitCode() {
        assertEquals(0, run("--help"));
        assertTrue(out().contains("  spi transfer <device> <hexbytes>"), out());
        assertTrue(out().contains("  6  i2c: a target did not acknowledge"), out());
        assertTrue(out().contains("--trace FILE.vcd"), out());
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {"9F000000 | 9f 00 00 00", "9f:00 ab | 9f 00 ab", "0x0102 | 01 02",
        "00FF | 00 ff"})
    void hexBytesReadAsPeopleWriteThem(String text, String shown) throws CommandFailure {
        assertEquals(shown, Arguments.hex(Arguments.hexBytes("<hexbytes>", text)));
    }

    @ParameterizedTest
    @CsvSource({"0x48, 72", "72, 72", "0X7f, 127", "0, 0"})
    void numbersAreDecimalOrHex(String text, int value) throws CommandFailure {
        assertEquals(value, Arguments.number("The address", text, 0, 0x7F));
    }

    @ParameterizedTest
    @CsvSource({"0, 0x00 (D7..D0 00000000)", "165, 0xa5 (D7..D0 10100101)", "255, 0xff (D7..D0 11111111)"})
    void pinLevelsShowAsHexAndBitsPinSevenFirst(int levels, String shown) {
        assertEquals(shown, GpioCommand.pins(levels));
    }

    /** What the FT2232H of --simulated answers: channel A is FT2232HA (index 3), channel B FT2232HB (index 4). */
    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "i2c scan FT2232HA                       | I2C targets that answered: 0x48 0x50",
        "i2c read FT2232HA 0x48 0 2              | 15 80",
        "i2c read 3 0x48 4 4                     | 4b 00 50 00",
        "i2c read 3 0x50 0 7                     | 46 54 32 32 33 32 48",
        "i2c write FT2232HA 0x50 10cafe          | Wrote 3 bytes to 0x50",
        "i2c write 3 0x48 0102 --ack-timeout 0   | Wrote 2 bytes to 0x48",
        "i2c scan FT2232HB                       | No I2C target answered (0x08 to 0x77).",
        "spi transfer FT2232HB 9F000000          | ff ef 40 14",
        "spi transfer 4 9F000000 --mode 3        | ff ef 40 14",
        "spi transfer 4 9F000000 --cs 4          | ff ff ff ff",
        "spi transfer 4 0300000000               | ff ff ff ff ff"})
    void theSimulatedBusesAnswer(String commandLine, String expected) {
        assertEquals(0, run(("--simulated " + commandLine).split(" ")), err());
        assertEquals(expected + "\n", out());
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "i2c read FT2232HA 0x30 1     | No acknowledgement from I2C address 0x30",
        "i2c write FT2232HB 0x48 00   | No acknowledgement from I2C address 0x48",
        "i2c write FT2232HA 0x50 10cafe --ack-timeout 0 | Wrote 3 bytes to 0x50, but it did not acknowledge again within 0 ms"})
    void anAddressNobodyAcknowledgesEndsWithExitCodeSix(String commandLine, String message) {
        assertEquals(6, run(("--simulated " + commandLine).split(" ")));
        assertTrue(err().startsWith(message), err());
    }

    @Test
    void aChipWithoutMpsseSaysSo() {
        assertEquals(1, run("--simulated", "spi", "transfer", "SIM232R1", "9f"));
        assertTrue(err().contains("FT_NOT_SUPPORTED") || err().contains("MPSSE"), err());
    }

    /** The waveform is written after a failure too: it shows what went wrong on the bus. */
    @ParameterizedTest(name = "{0}")
    @CsvSource({"i2c read FT2232HA 0x48 0 2, 0", "i2c read FT2232HA 0x30 1, 6"})
    void traceWritesTheWaveformOfTheI2cTransaction(String commandLine, int exitCode, @TempDir Path directory)
            throws IOException {
        Path vcd = directory.resolve("i2c.vcd");

        // The path is one argument even if it has spaces.
        List<String> args = new ArrayList<>(List.of("--simulated", "--trace", vcd.toString()));
        args.addAll(List.of(commandLine.split(" ")));
        assertEquals(exitCode, run(args.toArray(String[]::new)), err());

        String text = Files.readString(vcd);
        assertTrue(text.contains(" SCL $end") && text.contains(" SDA $end"), text);
        assertTrue(text.lines().filter(line -> line.startsWith("#")).count() > 20, "level changes: " + text);
    }

    @Test
    void traceOfADeviceWithoutABusIsAUsageError() {
        assertEquals(2, run("--simulated", "--trace", "x.vcd", "gpio", "SIM232R1"));
        assertTrue(err().contains("--trace records the pins of the simulated FT2232H's channels"), err());
    }

    @Test
    void gpioReadsThePulledUpPinsAndWriteLeavesTheOutputsDriven() {
        assertEquals(0, run("--simulated", "gpio", "FT2232HA"), err());
        assertEquals("Pins 0xff (D7..D0 11111111)\n", out());
        resetOutput();

        assertEquals(0, run("--simulated", "gpio", "FT2232HA", "write", "0xa5", "--directions", "0xf0"), err());

        assertEquals("Drove 0xa0 (D7..D0 10100000), directions 0xf0\n", out());
        // Pins 0 to 3 carry the I2C bus here, released by its targets: pulled up.
        SimulatedDevice channelA = SimulatedDevices.channels().get(0);
        assertEquals(0xAF, channelA.pinLevels() & 0xFF, "outputs driven, inputs pulled up");
    }

    @Test
    void eepromWritesAWordAndReadsTheWordsBack() {
        assertEquals(0, run("--simulated", "eeprom", "FT2232HA", "write", "2", "0x1234"), err());
        assertEquals("Wrote 0x1234 to word 2\n", out());
        assertEquals(0x1234, SimulatedDevices.channels().get(0).eepromWords()[2]);
        resetOutput();

        assertEquals(0, run("--simulated", "eeprom", "FT2232HA", "read", "--words", "12"), err());

        String[] lines = out().split("\n");
        assertEquals(2, lines.length, out());
        assertTrue(lines[0].matches("0000:( [0-9a-f]{4}){8}"), lines[0]);
        assertTrue(lines[1].matches("0008:( [0-9a-f]{4}){4}"), lines[1]);
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "eeprom FT2232HA user-area          | 0 | User area: ",
        "eeprom FT2232HA user-area 0102     | 0 | Wrote 2 bytes to the user area",
        "eeprom FT2232HA erase              | 0 | Erased the EEPROM",
        "eeprom SIM232R1 erase              | 1 | FT_EEPROM_ERASE_FAILED",
        "events SIM232R1 --timeout 0        | 0 | No event within 0 ms"})
    void eepromAndEventsReport(String commandLine, int exitCode, String message) {
        assertEquals(exitCode, run(("--simulated " + commandLine).split(" ")), err());
        assertTrue((exitCode == 0 ? out() : err()).contains(message), out() + err());
    }

    @Test
    void eventsReportsBytesThatArriveWhileItWaits() throws Exception {
        CompletableFuture<Integer> tool = CompletableFuture.supplyAsync(
                () -> run("--simulated", "events", "SIM232R1", "--timeout", "60000"));
        while (SimulatedDriver.callCount("FT_SetEventNotification") == 0 && !tool.isDone()) {
            Thread.onSpinWait();
        }
        SimulatedDriver.inject(0, new byte[] {1, 2, 3});

        assertEquals(0, tool.get(60, TimeUnit.SECONDS), err());
        assertEquals("Events: [RECEIVED_BYTES]; receive queue 3 bytes\n", out());
    }
}
