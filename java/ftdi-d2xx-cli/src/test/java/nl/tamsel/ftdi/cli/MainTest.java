package nl.tamsel.ftdi.cli;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XXConstants;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The command-line tool run in-process: its reports, its errors and its exit codes. */
class MainTest extends ToolTestBase {

    @TempDir
    Path directory;

    private int device;

    @BeforeEach
    void attachOneDevice() {
        SimulatedDriver.reset();
        device = SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, 0x04036001, 0x0111, "TOOL0001",
                "FT232R USB UART");
    }

    @Test
    void simulatedListShowsTheLoopbackDevicesAndBothChannelsOfTheFt2232h() {
        assertEquals(0, run("--simulated", "list"));
        String[] lines = out().split("\n");
        assertEquals(7, lines.length, out());
        assertTrue(lines[0].startsWith("#   Serial"), lines[0]);
        assertTrue(lines[2].matches("1 +SIM232H1 +Simulated FT232H loopback +232H +0403:6014 +0x00000213 +hi-speed"),
                lines[2]);
        assertTrue(lines[4].matches("3 +FT2232HA +Simulated FT2232H A +2232H +0403:6010 +0x00000221 +-"),
                lines[4]);
        assertTrue(lines[5].matches("4 +FT2232HB +Simulated FT2232H B +2232H +0403:6010 +0x00000222 +-"),
                lines[5]);
        assertTrue(lines[6].matches("5 +FT232HJT +Simulated FT232H JTAG +232H +0403:6014 +0x00000231 +.*"),
                lines[6]);
    }

    @Test
    void listWithoutDevicesSaysSo() {
        SimulatedDriver.unplug(device);
        assertEquals(0, run("list"));
        assertEquals("No devices found.\n", out());
    }

    @Test
    void infoShowsWhatTheDriverReports() {
        SimulatedDriver.setDriverVersion(device, 0x00021234);
        SimulatedDriver.setComPort(device, 7);

        assertEquals(0, run("info", "serial:TOOL0001"));

        String info = out();
        assertAll(
                () -> assertTrue(info.contains("Device           serial:TOOL0001\n"), info),
                () -> assertTrue(info.contains("Type             232R\n"), info),
                () -> assertTrue(info.contains("VID:PID          0403:6001\n"), info),
                () -> assertTrue(info.contains("Driver version   2.12.34\n"), info),
                () -> assertTrue(info.contains("Library version  3.2.15\n"), info),
                () -> assertTrue(info.contains("COM port         COM7\n"), info),
                () -> assertTrue(info.contains("Latency timer    16 ms\n"), info),
                () -> assertTrue(info.contains("Flags            -\n"), "taken before opening: " + info));
    }

    @Test
    void loopbackThroughAnEchoingDeviceReportsItsThroughput() {
        assertEquals(0, run("loopback", "0", "--bytes", "10000", "--baud", "921600"));
        assertTrue(out().matches("Loopback OK: 10000 bytes sent and received unchanged in [0-9.]+ s \\(.+/s\\)\n"),
                out());
        assertEquals(921_600, SimulatedDriver.state(device).baudRate());
    }

    @Test
    void loopbackWithoutTheEchoIsAMismatch() {
        SimulatedDriver.setLoopback(device, false);
        assertEquals(3, run("loopback", "0", "--bytes", "100", "--timeout", "20"));
        assertTrue(err().contains("only 0 of the 100 bytes sent came back within 20 ms"), err());
    }

    @Test
    void loopbackThatGetsOtherBytesBackNamesTheFirstWrongByte() throws Exception {
        SimulatedDriver.setLoopback(device, false);
        CompletableFuture<Integer> tool = CompletableFuture.supplyAsync(() -> run("loopback", "0", "--bytes", "4"));
        while (SimulatedDriver.callCount("FT_Write") == 0) {
            Thread.onSpinWait();
        }
        SimulatedDriver.inject(device, new byte[4]);

        assertEquals(3, tool.get(120, TimeUnit.SECONDS));
        assertTrue(err().matches("Loopback FAILED: byte \\d came back as 0x00, sent as 0x[0-9a-f]{2}\n"), err());
    }

    @Test
    void sendWritesTheFilesBytes() throws IOException {
        byte[] bytes = new byte[10_000];
        new java.util.Random(1).nextBytes(bytes);
        Path file = Files.write(directory.resolve("out.bin"), bytes);

        assertEquals(0, run("send", "TOOL0001", file.toString(), "--flow", "rts-cts"));

        assertArrayEquals(bytes, SimulatedDriver.takeWritten(device));
        assertEquals(D2XXConstants.FT_FLOW_RTS_CTS, SimulatedDriver.state(device).flowControl());
        assertTrue(out().startsWith("Sent 10000 bytes from " + file), out());
    }

    @Test
    void sendThatTheDeviceStopsTakingIsIncomplete() throws IOException {
        Path file = Files.write(directory.resolve("out.bin"), new byte[10]);
        SimulatedDriver.reportNextCount("FT_Write", 0);

        assertEquals(5, run("send", "0", file.toString(), "--timeout", "50"));
        assertTrue(err().startsWith("Sending stopped after 0 of 10 bytes"), err());
    }

    @Test
    void receiveStopsAfterTheRequestedBytes() throws IOException {
        SimulatedDriver.setLoopback(device, false);
        SimulatedDriver.inject(device, "hello, world".getBytes(StandardCharsets.US_ASCII));
        Path file = directory.resolve("in.bin");

        assertEquals(0, run("receive", "0", file.toString(), "--bytes", "5"));

        assertEquals("hello", Files.readString(file));
        assertEquals(7, SimulatedDriver.state(device).rxQueued(), "the rest stays queued");
    }

    @Test
    void receiveWithoutACountStopsWhenTheLineIsIdle() throws IOException {
        SimulatedDriver.inject(device, new byte[] {1, 2, 3});
        Path file = directory.resolve("in.bin");

        assertEquals(0, run("receive", "0", file.toString(), "--idle", "20"));

        assertArrayEquals(new byte[] {1, 2, 3}, Files.readAllBytes(file));
    }

    @Test
    void receiveOfFewerBytesThanRequestedKeepsThemAndSaysSo() throws IOException {
        SimulatedDriver.inject(device, new byte[] {1, 2, 3, 4});
        Path file = directory.resolve("in.bin");

        assertEquals(5, run("receive", "0", file.toString(), "--bytes", "10", "--idle", "20"));

        assertEquals(4, Files.size(file));
        assertTrue(err().startsWith("Only 4 of 10 bytes arrived before the line was idle for 20 ms"), err());
    }

    /** Every failure class with its exit code and the words that must tell the user what happened. */
    @ParameterizedTest(name = "{0} -> {1}")
    @CsvSource(delimiter = '|', value = {
        "''                                 | 2 | Usage: java -jar ftdi-d2xx.jar",
        "bogus                              | 2 | Unknown command: bogus",
        "info                               | 2 | expected <device>, got none",
        "list 0                             | 2 | expected no arguments, got 0",
        "loopback 0 --bytes abc             | 2 | --bytes takes a whole number from 1 to 2147483647, not abc",
        "loopback 0 --speed 9               | 2 | unknown option --speed",
        "loopback 0 --bytes                 | 2 | option --bytes needs a value",
        "send 0 x --flow sideways           | 2 | --flow takes none, rts-cts, dtr-dsr or xon-xoff, not sideways",
        "info loc:zz                        | 2 | A location is a 32-bit number",
        "info serial:NOPE                   | 1 | Opening failed on device serial:NOPE with FT_DEVICE_NOT_FOUND (2)",
        "loopback 0 --baud 5                | 1 | Setting the baud rate to 5 failed on device 0 with FT_INVALID_BAUD_RATE",
        "send 0 /no/such/file               | 4 | Cannot read /no/such/file",
        "receive 0 /no/such/dir/file        | 4 | Cannot write /no/such/dir/file"})
    void failuresEndWithTheirExitCodeAndAMessage(String commandLine, int exitCode, String message) {
        String[] args = commandLine.isEmpty() ? new String[0] : commandLine.split(" ");
        assertEquals(exitCode, run(args), err());
        // Files are named the platform's way: \no\such\file on Windows.
        assertTrue(err().replace(java.io.File.separatorChar, '/').contains(message), err());
    }

    @ParameterizedTest
    @CsvSource({"list, list", "info, info <device>", "loopback, --bytes N", "send, send <device> <file>",
        "receive, --idle MS"})
    void everyCommandExplainsItselfWithHelp(String command, String expected) {
        int callsBefore = SimulatedDriver.callCount("FT_CreateDeviceInfoList") + SimulatedDriver.callCount("FT_Open");
        assertEquals(0, run(command, "--help"));
        assertTrue(out().startsWith("Usage: java -jar ftdi-d2xx.jar [--simulated] " + command), out());
        assertTrue(out().contains(expected), out());
        assertEquals(callsBefore,
                SimulatedDriver.callCount("FT_CreateDeviceInfoList") + SimulatedDriver.callCount("FT_Open"));
    }

    @Test
    void generalHelpListsCommandsAndExitCodes() {
        assertEquals(0, run("--help"));
        assertTrue(out().contains("  receive <device> <file>"), out());
        assertTrue(out().contains("  3  loopback: the bytes that came back differ"), out());
    }

    @CsvSource({"0, 100, '[                              ]   0% 0/100 bytes'",
        "50, 100, '[###############               ]  50% 50/100 bytes'",
        "100, 100, '[##############################] 100% 100/100 bytes'",
        "0, 0, '[##############################] 100% 0/0 bytes'",
        "1234, -1, '1234 bytes'"})
    @ParameterizedTest
    void progressBarShowsTheShareDone(long done, long total, String shown) {
        assertEquals(shown, ProgressBar.render(done, total));
    }
}
