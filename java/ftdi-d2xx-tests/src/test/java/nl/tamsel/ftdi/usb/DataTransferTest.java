package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.Arrays;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** Reading and writing array regions, short and over-reported counts, and broken contracts. */
class DataTransferTest extends SimulatedDriverTestBase {

    private static final int SENTINEL = 0x5A;

    private int device;
    private long handle;

    @BeforeEach
    void openDeviceWithoutLoopback() {
        device = attach();
        handle = open(device);
        // Written bytes stay in the write log only, so reads see just what a test injects.
        SimulatedDriver.setLoopback(device, false);
        // A read that wrongly reaches the driver must come back rather than wait for ever.
        assertEquals(0, D2XX.setTimeouts(handle, 200, 200));
    }

    /** Around the 256-byte boundary between stack and heap buffers, and well beyond it. */
    @ParameterizedTest
    @ValueSource(ints = {1, 255, 256, 257, 4096, 65_536})
    void writeSendsExactlyTheRegion(int length) {
        byte[] buffer = pattern(length + 20, 3);

        assertEquals(length, D2XX.write(handle, buffer, 7, length));

        assertArrayEquals(Arrays.copyOfRange(buffer, 7, 7 + length), SimulatedDriver.takeWritten(device));
        assertEquals(length, lastArgs("FT_Write")[2], "count handed to the driver");
    }

    @ParameterizedTest
    @ValueSource(ints = {1, 255, 256, 257, 4096, 65_536})
    void readFillsExactlyTheRegion(int length) {
        byte[] incoming = pattern(length, 11);
        SimulatedDriver.inject(device, incoming);
        byte[] buffer = filled(length + 20, SENTINEL);

        assertEquals(length, D2XX.read(handle, buffer, 7, length));

        assertRegion(buffer, 7, incoming);
        assertEquals(length, lastArgs("FT_Read")[2], "count handed to the driver");
    }

    @Test
    void shortReadAfterTimeoutChangesOnlyTheBytesCounted() {
        assertEquals(0, D2XX.setTimeouts(handle, 20, 20));
        byte[] incoming = pattern(40, 1);
        SimulatedDriver.inject(device, incoming);
        byte[] buffer = filled(120, SENTINEL);

        assertEquals(40, D2XX.read(handle, buffer, 10, 100));

        assertRegion(buffer, 10, incoming);
    }

    @Test
    void readOfNothingBeforeTimeoutLeavesTheArrayUntouched() {
        assertEquals(0, D2XX.setTimeouts(handle, 10, 10));
        byte[] buffer = filled(32, SENTINEL);
        assertEquals(0, D2XX.read(handle, buffer, 0, 32));
        assertArrayEquals(filled(32, SENTINEL), buffer);
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 1, 39})
    void shortReportedReadCountIsReturnedAndCopied(int reported) {
        byte[] incoming = pattern(100, 5);
        SimulatedDriver.inject(device, incoming);
        SimulatedDriver.reportNextCount("FT_Read", reported);
        byte[] buffer = filled(110, SENTINEL);

        assertEquals(reported, D2XX.read(handle, buffer, 3, 100));

        assertRegion(buffer, 3, Arrays.copyOf(incoming, reported));
    }

    @ParameterizedTest
    @ValueSource(ints = {11, 257, 0x7FFF_FFFF, 0x8000_0000, 0xFFFF_FFFF})
    void overReportedReadCountIsClampedToTheLength(int reported) {
        byte[] incoming = pattern(300, 9);
        SimulatedDriver.inject(device, incoming);
        SimulatedDriver.reportNextCount("FT_Read", reported);
        byte[] buffer = filled(64, SENTINEL);

        assertEquals(10, D2XX.read(handle, buffer, 5, 10));

        assertRegion(buffer, 5, Arrays.copyOf(incoming, 10));
    }

    @ParameterizedTest
    @ValueSource(ints = {11, 0x7FFF_FFFF, 0x8000_0000, 0xFFFF_FFFF})
    void overReportedWriteCountIsClampedToTheLength(int reported) {
        SimulatedDriver.reportNextCount("FT_Write", reported);
        assertEquals(10, D2XX.write(handle, pattern(10, 0), 0, 10));
    }

    @Test
    void shortWriteCountIsReturnedUnchanged() {
        byte[] buffer = pattern(100, 2);
        SimulatedDriver.reportNextCount("FT_Write", 40);
        assertEquals(40, D2XX.write(handle, buffer, 0, 100));
        assertArrayEquals(Arrays.copyOf(buffer, 40), SimulatedDriver.takeWritten(device));
    }

    @ParameterizedTest
    @ValueSource(ints = {1, 4, 0x7FFF_FFFF})
    void failedReadReturnsMinusStatusAndCopiesNothing(int status) {
        SimulatedDriver.inject(device, pattern(16, 0));
        SimulatedDriver.failNext("FT_Read", status);
        byte[] buffer = filled(16, SENTINEL);

        assertEquals(-status, D2XX.read(handle, buffer, 0, 16));

        assertArrayEquals(filled(16, SENTINEL), buffer);
    }

    @ParameterizedTest
    @ValueSource(ints = {1, 4, 0x7FFF_FFFF})
    void failedWriteReturnsMinusStatus(int status) {
        SimulatedDriver.failNext("FT_Write", status);
        assertEquals(-status, D2XX.write(handle, pattern(16, 0), 0, 16));
    }

    @Test
    void transfersOnAClosedHandleAreRefused() {
        SimulatedDriver.inject(device, pattern(8, 0));
        assertEquals(0, D2XX.close(handle));
        assertAll(
                () -> assertEquals(-D2XXConstants.FT_INVALID_HANDLE, D2XX.write(handle, new byte[8], 0, 8)),
                () -> assertEquals(-D2XXConstants.FT_INVALID_HANDLE, D2XX.read(handle, new byte[8], 0, 8)));
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 5, 16})
    void lengthZeroReturnsZeroWithoutCallingTheDriver(int offset) {
        SimulatedDriver.inject(device, pattern(16, 0));
        byte[] buffer = filled(16, SENTINEL);

        assertEquals(0, D2XX.read(handle, buffer, offset, 0));
        assertEquals(0, D2XX.write(handle, buffer, offset, 0));

        assertEquals(0, calls("FT_Read"));
        assertEquals(0, calls("FT_Write"));
        assertArrayEquals(filled(16, SENTINEL), buffer);
    }

    /** Calls outside the contract, and the exception each must raise before any driver call. */
    static Stream<Arguments> brokenContracts() {
        return Stream.of(
                Arguments.of("null array", null, 0, 4, NullPointerException.class),
                Arguments.of("negative length", new byte[16], 0, -1, ArrayIndexOutOfBoundsException.class),
                Arguments.of("most negative length", new byte[16], 0, Integer.MIN_VALUE, ArrayIndexOutOfBoundsException.class),
                Arguments.of("negative offset", new byte[16], -1, 4, ArrayIndexOutOfBoundsException.class),
                Arguments.of("end past the array", new byte[16], 13, 4, ArrayIndexOutOfBoundsException.class),
                Arguments.of("length past the array", new byte[16], 0, 17, ArrayIndexOutOfBoundsException.class),
                Arguments.of("offset past the array", new byte[16], 17, 0, ArrayIndexOutOfBoundsException.class),
                Arguments.of("offset+length overflows", new byte[16], Integer.MAX_VALUE, 2, ArrayIndexOutOfBoundsException.class),
                Arguments.of("length+offset overflows", new byte[16], 1, Integer.MAX_VALUE, ArrayIndexOutOfBoundsException.class),
                Arguments.of("empty array", new byte[0], 0, 1, ArrayIndexOutOfBoundsException.class));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("brokenContracts")
    void readOutsideTheContractThrowsWithoutCallingTheDriver(String name, byte[] buffer, int offset, int length,
                                                              Class<? extends Throwable> expected) {
        fill(buffer);
        SimulatedDriver.inject(device, pattern(64, 1));

        assertThrows(expected, () -> D2XX.read(handle, buffer, offset, length));

        assertEquals(0, calls("FT_Read"));
        assertUntouched(buffer);
        assertEquals(64, D2XX.getQueueStatus(handle), "bytes still queued");
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("brokenContracts")
    void writeOutsideTheContractThrowsWithoutCallingTheDriver(String name, byte[] buffer, int offset, int length,
                                                               Class<? extends Throwable> expected) {
        fill(buffer);

        assertThrows(expected, () -> D2XX.write(handle, buffer, offset, length));

        assertEquals(0, calls("FT_Write"));
        assertUntouched(buffer);
        assertEquals(0, SimulatedDriver.takeWritten(device).length, "bytes written");
    }

    private static void fill(byte[] buffer) {
        if (buffer != null) {
            Arrays.fill(buffer, (byte) SENTINEL);
        }
    }

    private static void assertUntouched(byte[] buffer) {
        if (buffer != null) {
            assertArrayEquals(filled(buffer.length, SENTINEL), buffer, "array contents");
        }
    }

    /** {@code expected} at {@code offset} of {@code buffer}, the sentinel everywhere else. */
    private static void assertRegion(byte[] buffer, int offset, byte[] expected) {
        byte[] wanted = filled(buffer.length, SENTINEL);
        System.arraycopy(expected, 0, wanted, offset, expected.length);
        assertArrayEquals(wanted, buffer);
    }
}
