package nl.tamsel.ftdi.usb;

import static nl.tamsel.ftdi.usb.D2XXConstants.FT_NOT_SUPPORTED;
import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;

import java.util.function.LongToIntFunction;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** The value-or-error queries and the unsupported VID/PID methods. */
class StatusQueryTest extends SimulatedDriverTestBase {

    /** 32-bit values, among them ones a sign test or a narrowing would damage. */
    @ParameterizedTest
    @ValueSource(ints = {0x00030215, 0, 0x7FFF_FFFF, 0x8000_0000, 0xFFFF_FFFF, 0x0001_0000})
    void versionsComeBackBitForBit(int version) {
        SimulatedDriver.setLibraryVersion(version);
        int device = attach();
        SimulatedDriver.setDriverVersion(device, version);
        long handle = open(device);

        assertAll(
                () -> assertEquals(version, D2XX.getLibraryVersion(), "library version"),
                () -> assertEquals(version, D2XX.getDriverVersion(handle), "driver version"));
    }

    @ParameterizedTest
    @ValueSource(ints = {-1, 0, 1, 7, 255, Integer.MIN_VALUE, Integer.MAX_VALUE})
    void comPortNumberComesBackUnchangedEvenWhenNegative(int port) {
        int device = attach();
        SimulatedDriver.setComPort(device, port);
        assertEquals(port, D2XX.getComPortNumber(open(device)));
    }

    @Test
    void deviceWithoutComPortReportsMinusOne() {
        assertEquals(-1, D2XX.getComPortNumber(open(attach())));
    }

    @ParameterizedTest
    @ValueSource(ints = {2, 16, 127, 128, 200, 255})
    void latencyTimerIsZeroExtended(int milliseconds) {
        long handle = open(attach());
        assertEquals(0, D2XX.setLatencyTimer(handle, milliseconds));
        assertEquals(milliseconds, D2XX.getLatencyTimer(handle));
    }

    @Test
    void queueStatusCountsWaitingBytes() {
        int device = attach();
        long handle = open(device);
        assertEquals(0, D2XX.getQueueStatus(handle));
        SimulatedDriver.inject(device, new byte[] {1, 2, 3, 4, 5});
        assertEquals(5, D2XX.getQueueStatus(handle));
    }

    @ParameterizedTest
    @ValueSource(ints = {0x8000_0005, 0xFFFF_FFFF, 0x7FFF_FFFF})
    void queueCountWithTopBitSetArrivesAsNegativeInt(int count) {
        long handle = open(attach());
        SimulatedDriver.reportNextCount("FT_GetQueueStatus", count);
        assertEquals(count, D2XX.getQueueStatus(handle));
    }

    @Test
    void modemStatusReportsInputLinesAndLineErrors() {
        int device = attach();
        long handle = open(device);
        SimulatedDriver.setLoopback(device, false);
        SimulatedDriver.setModemInputs(device, D2XXConstants.MODEM_STATUS_CTS | D2XXConstants.MODEM_STATUS_DCD);
        // The simulated driver takes the line-status byte; the word carries it in bits 8 to 15.
        SimulatedDriver.raiseLineErrors(device, D2XXConstants.LINE_STATUS_FRAMING_ERROR >> 8);

        assertEquals(0x0890, D2XX.getModemStatus(handle) & 0xFFFF, "lines and the raised error");
        assertEquals(0x0090, D2XX.getModemStatus(handle) & 0xFFFF, "a line error is reported once");
    }

    /** Every query of a device, paired with the driver function it wraps. */
    static Stream<Arguments> deviceQueries() {
        return Stream.of(
                Arguments.of("FT_GetDriverVersion", (LongToIntFunction) D2XX::getDriverVersion),
                Arguments.of("FT_GetComPortNumber", (LongToIntFunction) D2XX::getComPortNumber),
                Arguments.of("FT_GetModemStatus", (LongToIntFunction) D2XX::getModemStatus),
                Arguments.of("FT_GetQueueStatus", (LongToIntFunction) D2XX::getQueueStatus),
                Arguments.of("FT_GetLatencyTimer", (LongToIntFunction) D2XX::getLatencyTimer));
    }

    static Stream<Arguments> allQueries() {
        return Stream.concat(deviceQueries(),
                Stream.of(Arguments.of("FT_GetLibraryVersion", (LongToIntFunction) h -> D2XX.getLibraryVersion())));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("allQueries")
    void failingStatusComesBackNegated(String function, LongToIntFunction query) {
        long handle = open(attach());
        for (int status : new int[] {1, 4, 17, 19, 0x7FFF_FFFF}) {
            SimulatedDriver.failNext(function, status);
            assertEquals(-status, query.applyAsInt(handle), "status " + status);
        }
        assertEquals(5, calls(function));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("deviceQueries")
    void handleReachesTheDriverAndAClosedOneIsRefused(String function, LongToIntFunction query) {
        long handle = open(attach());
        query.applyAsInt(handle);
        assertEquals(handle, lastArgs(function)[0], "handle as the driver received it");

        assertEquals(0, D2XX.close(handle));
        assertEquals(-D2XXConstants.FT_INVALID_HANDLE, query.applyAsInt(handle), "after close");
        assertEquals(2, calls(function));
    }

    @ParameterizedTest
    @ValueSource(booleans = {false, true})
    void vidPidMethodsAreUnsupportedAndNeverCallTheDriver(boolean withOpenDevice) {
        if (withOpenDevice) {
            open(attach());
        }
        int before = callsOfAllDriverFunctions();
        assertAll(
                () -> assertEquals(-FT_NOT_SUPPORTED, D2XX.setVIDPID(0x0403, 0x6001)),
                () -> assertEquals(-FT_NOT_SUPPORTED, D2XX.setVIDPID(-1, Integer.MIN_VALUE)),
                () -> assertEquals(-FT_NOT_SUPPORTED, D2XX.getVID()),
                () -> assertEquals(-FT_NOT_SUPPORTED, D2XX.getPID()));
        assertEquals(before, callsOfAllDriverFunctions(), "driver calls");
    }
}
