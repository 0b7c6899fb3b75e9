package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.time.Duration;
import java.util.List;
import java.util.OptionalInt;
import java.util.function.Function;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.DeviceState;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.EnumSource;
import org.junit.jupiter.params.provider.MethodSource;

/** The typed device: what its settings make of the driver's state, its queries and its errors. */
class FtdiDeviceTest extends SimulatedDriverTestBase {

    private static final String SERIAL = "FT000001";

    private int simulated;
    private FtdiDevice device;

    @BeforeEach
    void openDevice() throws FtdiException {
        simulated = attach(SERIAL, "FT232R USB UART");
        device = FtdiDevice.openBySerialNumber(SERIAL);
    }

    @AfterEach
    void closeDevice() throws FtdiException {
        device.close();
    }

    private DeviceState state() {
        return SimulatedDriver.state(simulated);
    }

    @FunctionalInterface
    interface Setting {
        void apply(FtdiDevice device) throws Exception;
    }

    private static Arguments setting(String name, Setting setting, Function<DeviceState, List<Object>> fields,
            Object... expected) {
        return Arguments.of(Named.of(name, setting), fields, List.of(expected));
    }

    /** Each setting, the driver state it touches, and what that state must then hold. */
    static Stream<Arguments> settings() {
        return Stream.of(
                setting("baud rate 115200", d -> d.setBaudRate(115_200), s -> List.of(s.baudRate()), 115_200),
                setting("7 data bits, 2 stop bits, even parity",
                        d -> d.setDataCharacteristics(DataBits.SEVEN, StopBits.TWO, Parity.EVEN),
                        s -> List.of(s.wordLength(), s.stopBits(), s.parity()), 7, 2, 2),
                setting("8 data bits, 1 stop bit, space parity",
                        d -> d.setDataCharacteristics(DataBits.EIGHT, StopBits.ONE, Parity.SPACE),
                        s -> List.of(s.wordLength(), s.stopBits(), s.parity()), 8, 0, 4),
                setting("read timeout 500 ms leaves the write timeout at the waiting step",
                        d -> d.setReadTimeout(Duration.ofMillis(500)),
                        s -> List.of(s.readTimeout(), s.writeTimeout()), 500, FtdiDevice.WAIT_STEP_MILLIS),
                setting("write timeout of 1 ns is rounded up to 1 ms", d -> d.setWriteTimeout(Duration.ofNanos(1)),
                        s -> List.of(s.readTimeout(), s.writeTimeout()), FtdiDevice.WAIT_STEP_MILLIS, 1),
                setting("longest timeout", d -> d.setReadTimeout(FtdiDevice.MAX_TIMEOUT),
                        s -> List.of(s.readTimeout()), -1),
                setting("no read timeout after one", d -> {
                    d.setReadTimeout(Duration.ofSeconds(3));
                    d.setReadTimeout(Duration.ZERO);
                }, s -> List.of(s.readTimeout()), FtdiDevice.WAIT_STEP_MILLIS),
                setting("latency timer 2 ms", d -> d.setLatencyTimer(Duration.ofMillis(2)),
                        s -> List.of(s.latencyTimer()), 2),
                setting("latency timer 255 ms", d -> d.setLatencyTimer(Duration.ofMillis(255)),
                        s -> List.of(s.latencyTimer()), 255),
                setting("USB transfer size 65536", d -> d.setUsbTransferSize(65_536),
                        s -> List.of(s.inTransferSize(), s.outTransferSize()), 65_536, 0),
                setting("event character only", d -> d.setSpecialCharacters(OptionalInt.of('\n'), OptionalInt.empty()),
                        s -> List.of(s.eventChar(), s.eventCharEnabled(), s.errorChar(), s.errorCharEnabled()),
                        10, 1, 0, 0),
                setting("error character 255 only", d -> d.setSpecialCharacters(OptionalInt.empty(), OptionalInt.of(255)),
                        s -> List.of(s.eventChar(), s.eventCharEnabled(), s.errorChar(), s.errorCharEnabled()),
                        0, 0, 255, 1),
                setting("DTR and RTS set, break on", d -> {
                    d.setDtr(true);
                    d.setRts(true);
                    d.setBreak(true);
                }, s -> List.of(s.dtr(), s.rts(), s.breakOn()), true, true, true),
                setting("DTR, RTS and break set then cleared", d -> {
                    d.setDtr(true);
                    d.setRts(true);
                    d.setBreak(true);
                    d.setDtr(false);
                    d.setRts(false);
                    d.setBreak(false);
                }, s -> List.of(s.dtr(), s.rts(), s.breakOn()), false, false, false),
                setting("purge receive queue", FtdiDevice::purgeReceiveQueue,
                        s -> List.of(s.purgeRxCount(), s.purgeTxCount()), 1, 0),
                setting("purge transmit queue", FtdiDevice::purgeTransmitQueue,
                        s -> List.of(s.purgeRxCount(), s.purgeTxCount()), 0, 1),
                setting("reset applies the timeouts again", d -> {
                    d.setReadTimeout(Duration.ofMillis(700));
                    d.reset();
                }, s -> List.of(s.resetCount(), s.readTimeout(), s.writeTimeout()), 1, 700,
                        FtdiDevice.WAIT_STEP_MILLIS));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("settings")
    void settingReachesTheDriverAsTyped(Setting setting, Function<DeviceState, List<Object>> fields,
            List<Object> expected) throws Exception {
        setting.apply(device);
        assertEquals(expected, fields.apply(state()));
    }

    @ParameterizedTest
    @EnumSource(FlowControl.class)
    void flowControlReachesTheDriverWithXonAndXoff(FlowControl flowControl) throws FtdiException {
        device.setFlowControl(flowControl);
        DeviceState state = state();
        assertEquals(List.of(flowControl.code(), 0x11, 0x13), List.of(state.flowControl(), state.xon(), state.xoff()));
    }

    @Test
    void openingSetsBothTimeoutsToNoneWhateverTheDeviceHadBefore() throws FtdiException {
        device.setReadTimeout(Duration.ofMillis(40));
        device.setWriteTimeout(Duration.ofMillis(50));
        device.close();

        device = FtdiDevice.openBySerialNumber(SERIAL);

        assertEquals(List.of(FtdiDevice.WAIT_STEP_MILLIS, FtdiDevice.WAIT_STEP_MILLIS),
                List.of(state().readTimeout(), state().writeTimeout()));
        assertEquals(List.of(Duration.ZERO, Duration.ZERO), List.of(device.readTimeout(), device.writeTimeout()));
    }

    /** Values outside the published ranges never reach the driver. */
    static Stream<Arguments> outOfRange() {
        return Stream.of(
                Arguments.of(Named.of("baud rate 0", (Setting) d -> d.setBaudRate(0)), "baud rate is 1 to 12000000"),
                Arguments.of(Named.of("baud rate -9600", (Setting) d -> d.setBaudRate(-9600)), "not -9600"),
                Arguments.of(Named.of("baud rate 12000001", (Setting) d -> d.setBaudRate(12_000_001)), "not 12000001"),
                Arguments.of(Named.of("latency 1 ms", (Setting) d -> d.setLatencyTimer(Duration.ofMillis(1))), "2 to 255"),
                Arguments.of(Named.of("latency 256 ms", (Setting) d -> d.setLatencyTimer(Duration.ofMillis(256))),
                        "2 to 255"),
                Arguments.of(Named.of("latency 2.5 ms", (Setting) d -> d.setLatencyTimer(Duration.ofNanos(2_500_000))),
                        "whole milliseconds"),
                Arguments.of(Named.of("transfer size 0", (Setting) d -> d.setUsbTransferSize(0)), "multiple of 64"),
                Arguments.of(Named.of("transfer size 100", (Setting) d -> d.setUsbTransferSize(100)), "not 100"),
                Arguments.of(Named.of("transfer size 65600", (Setting) d -> d.setUsbTransferSize(65_600)), "to 65536"),
                Arguments.of(Named.of("negative read timeout", (Setting) d -> d.setReadTimeout(Duration.ofMillis(-1))),
                        "read timeout is 0 (none) to 4294967295 ms"),
                Arguments.of(Named.of("write timeout beyond 2^32-1 ms",
                        (Setting) d -> d.setWriteTimeout(FtdiDevice.MAX_TIMEOUT.plusNanos(1))), "write timeout"),
                Arguments.of(Named.of("event character 256",
                        (Setting) d -> d.setSpecialCharacters(OptionalInt.of(256), OptionalInt.empty())), "0 to 255"),
                Arguments.of(Named.of("error character -1",
                        (Setting) d -> d.setSpecialCharacters(OptionalInt.empty(), OptionalInt.of(-1))), "not -1"));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("outOfRange")
    void valueOutOfItsRangeIsRefusedBeforeTheDriverSeesIt(Setting setting, String explanation) {
        int callsBefore = callsOfAllDriverFunctions();
        IllegalArgumentException error = assertThrows(IllegalArgumentException.class, () -> setting.apply(device));
        assertTrue(error.getMessage().contains(explanation), error.getMessage());
        assertEquals(callsBefore, callsOfAllDriverFunctions());
    }

    @Test
    void baudRateWithinRangeIsJudgedByTheDriver() {
        // A full-speed device reaches 3,000,000 baud; 12,000,000 passes the Java check only.
        FtdiException error = assertThrows(FtdiException.class, () -> device.setBaudRate(12_000_000));
        assertEquals(FtdiStatus.FT_INVALID_BAUD_RATE, error.status());
        assertEquals(12_000_000, lastArgs("FT_SetBaudRate")[1]);
    }

    static Stream<Arguments> modemStatuses() {
        return Stream.of(
                Arguments.of(0x10, 0, "CTS", List.of(true, false, false, false)),
                Arguments.of(0xF0, 0, "CTS DSR RI DCD", List.of(true, true, true, true)),
                Arguments.of(0x40, 0, "RI", List.of(false, false, true, false)),
                Arguments.of(0, 0, "no lines active", List.of(false, false, false, false)),
                Arguments.of(0x20, 0x02, "DSR, overrun error", List.of(false, true, false, false)),
                Arguments.of(0, 0x1E, "no lines active, overrun error, parity error, framing error, break",
                        List.of(false, false, false, false)));
    }

    @ParameterizedTest
    @MethodSource("modemStatuses")
    void modemStatusIsDecodedIntoNamedLinesAndErrors(int lines, int errors, String text, List<Boolean> ctsDsrRiDcd)
            throws FtdiException {
        SimulatedDriver.setLoopback(simulated, false);
        SimulatedDriver.setModemInputs(simulated, lines);
        SimulatedDriver.raiseLineErrors(simulated, errors);

        ModemStatus status = device.modemStatus();

        assertAll(
                () -> assertEquals(text, status.toString()),
                () -> assertEquals(ctsDsrRiDcd, List.of(status.cts(), status.dsr(), status.ri(), status.dcd())),
                () -> assertEquals(List.of((errors & 2) != 0, (errors & 4) != 0, (errors & 8) != 0, (errors & 0x10) != 0),
                        List.of(status.overrunError(), status.parityError(), status.framingError(),
                                status.breakInterrupt())),
                () -> assertEquals(errors != 0, status.hasLineErrors()));
    }

    @Test
    void versionsAreDecodedFromTheirHexDigits() throws FtdiException {
        SimulatedDriver.setDriverVersion(simulated, 0x00030216);
        SimulatedDriver.setLibraryVersion(0x00021234);

        DriverVersion driver = device.driverVersion();

        assertEquals(List.of(3, 2, 16, "3.2.16"), List.of(driver.major(), driver.minor(), driver.build(), driver.toString()));
        assertEquals("2.12.34", FtdiDevice.libraryVersion().toString());
    }

    @Test
    void comPortIsAbsentWhenTheDriverReportsMinusOne() throws FtdiException {
        assertEquals(OptionalInt.empty(), device.comPort());
        SimulatedDriver.setComPort(simulated, 7);
        assertEquals(OptionalInt.of(7), device.comPort());
        SimulatedDriver.failNext("FT_GetComPortNumber", 4);
        FtdiException error = assertThrows(FtdiException.class, device::comPort);
        assertEquals(FtdiStatus.FT_IO_ERROR, error.status());
    }

    @Test
    void queuedBytesAndLatencyAreReported() throws FtdiException {
        SimulatedDriver.inject(simulated, new byte[5]);
        assertEquals(5, device.bytesAvailable());
        assertEquals(Duration.ofMillis(16), device.latencyTimer());
    }

    /** A driver failure in each kind of call, with a published and an unknown status. */
    static Stream<Arguments> failures() {
        return Stream.of(
                Arguments.of("FT_SetBaudRate", 7, (Setting) d -> d.setBaudRate(9600), "Setting the baud rate to 9600",
                        FtdiStatus.FT_INVALID_BAUD_RATE),
                Arguments.of("FT_SetTimeouts", 4, (Setting) d -> d.setReadTimeout(Duration.ofSeconds(1)),
                        "Setting the timeouts to 1000 ms (read) and none (write)", FtdiStatus.FT_IO_ERROR),
                Arguments.of("FT_GetModemStatus", 1, (Setting) FtdiDevice::modemStatus, "Reading the modem status",
                        FtdiStatus.FT_INVALID_HANDLE),
                Arguments.of("FT_Write", 10, (Setting) d -> d.write(new byte[3], 0, 3), "Writing 3 bytes",
                        FtdiStatus.FT_FAILED_TO_WRITE_DEVICE),
                Arguments.of("FT_Read", 4, (Setting) d -> d.read(new byte[4], 0, 4), "Reading 4 bytes",
                        FtdiStatus.FT_IO_ERROR),
                Arguments.of("FT_SetUSBParameters", 42, (Setting) d -> d.setUsbTransferSize(64),
                        "Setting the USB transfer size to 64", FtdiStatus.UNKNOWN));
    }

    @ParameterizedTest(name = "{0} failing with {1}")
    @MethodSource("failures")
    void driverFailureBecomesAnExceptionNamingOperationDeviceAndStatus(String function, int status, Setting call,
            String operation, FtdiStatus expected) {
        SimulatedDriver.failNext(function, status);

        FtdiException error = assertThrows(FtdiException.class, () -> call.apply(device));

        assertAll(
                () -> assertEquals(expected, error.status()),
                () -> assertEquals(status, error.statusCode()),
                () -> assertEquals(operation, error.operation()),
                () -> assertEquals("serial:" + SERIAL, error.device().orElseThrow()),
                () -> assertEquals(operation + " failed on device serial:" + SERIAL + " with "
                        + (expected == FtdiStatus.UNKNOWN ? "status" : expected.name()) + " (" + status + "): "
                        + expected.meaning(), error.getMessage()));
    }

    @Test
    void openingAMissingDeviceSaysSoAndHowToFindTheAttachedOnes() {
        FtdiException error = assertThrows(FtdiException.class, () -> FtdiDevice.openBySerialNumber("NOPE"));
        assertEquals(FtdiStatus.FT_DEVICE_NOT_FOUND, error.status());
        assertTrue(error.getMessage().startsWith("Opening failed on device serial:NOPE with FT_DEVICE_NOT_FOUND (2)"),
                error.getMessage());
        assertTrue(error.getMessage().contains("FtdiDevice.list()"), error.getMessage());
    }

    @Test
    void openingFailsWhenTheTimeoutsCannotBeSetAndLeavesTheDeviceClosed() {
        int second = attach("FT000002", "FT232R USB UART");
        SimulatedDriver.failNext("FT_SetTimeouts", 4);

        FtdiException error = assertThrows(FtdiException.class, () -> FtdiDevice.openByIndex(1));

        assertEquals(FtdiStatus.FT_IO_ERROR, error.status());
        assertFalse(SimulatedDriver.state(second).open());
    }
}
