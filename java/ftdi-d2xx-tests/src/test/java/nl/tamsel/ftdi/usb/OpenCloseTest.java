package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.util.function.IntToLongFunction;
import java.util.stream.LongStream;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** Opening by index, serial number, description and location; closing and resetting. */
class OpenCloseTest extends SimulatedDriverTestBase {

    private static final String SERIAL = "FT7XQ2B9";
    private static final String DESCRIPTION = "UM232H Single RS232-HS";
    private static final int LOCATION = 0x0213;

    /** The four ways to open the device attached by {@link #attachTarget()}. */
    static Stream<Arguments> openMethods() {
        return Stream.of(
                Arguments.of("openByIndex", "FT_Open", (IntToLongFunction) D2XX::openByIndex),
                Arguments.of("openBySerialNumber", "FT_OpenEx", (IntToLongFunction) d -> D2XX.openBySerialNumber(SERIAL)),
                Arguments.of("openByDescription", "FT_OpenEx", (IntToLongFunction) d -> D2XX.openByDescription(DESCRIPTION)),
                Arguments.of("openByLocationId", "FT_OpenEx", (IntToLongFunction) d -> D2XX.openByLocationId(LOCATION)));
    }

    private static int attachTarget() {
        attach("OTHER001", "Other device");
        return SimulatedDriver.addDevice(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_232H, FT232H_ID,
                LOCATION, SERIAL, DESCRIPTION);
    }

    /** Whether handles are 64-bit pointers here; on a 32-bit JVM they are 32-bit ones. */
    private static final boolean WIDE_HANDLES = !"32".equals(System.getProperty("sun.arch.data.model"));

    /**
     * Handle bits, with and without the top bit of the pointer, must survive both directions
     * unchanged; on 32-bit targets a handle at or above 2 GiB stays a positive long.
     */
    static Stream<Arguments> handleBasesAndOpenMethods() {
        LongStream bases = WIDE_HANDLES
                ? LongStream.of(0x7ABC_DEF0_0000_0000L, 0x8000_1234_5600_0000L, 0xFFFF_FFFF_0000_0000L)
                : LongStream.of(0x7ABC_0000L, 0x8000_0000L, 0xFFFF_0000L);
        return bases.boxed()
                .flatMap(base -> openMethods().map(m -> Arguments.of(
                        Named.of(String.format("0x%016x", base), base), m.get()[0], m.get()[2])));
    }

    @ParameterizedTest(name = "base {0} via {1}")
    @MethodSource("handleBasesAndOpenMethods")
    void handleBitsTravelUnchangedBothWays(long base, String method, IntToLongFunction open) {
        SimulatedDriver.setHandleBase(base);
        int device = attachTarget();

        long handle = open.applyAsLong(device);

        assertEquals(SimulatedDriver.handleOf(device), handle, "driver to Java");
        int half = WIDE_HANDLES ? 32 : 16;
        assertEquals(base >>> half, handle >>> half, "high bits of the handle");
        assertEquals(0, D2XX.setBaudrate(handle, 115_200));
        assertEquals(handle, lastArgs("FT_SetBaudRate")[0], "Java to driver");
        assertEquals(handle, D2XX.createDeviceInfoList()[device].handle(), "handle field of the list");
        assertEquals(0, D2XX.close(handle));
        assertEquals(handle, lastArgs("FT_Close")[0], "Java to driver, close");
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("openMethods")
    void opensTheMatchingDevice(String method, String function, IntToLongFunction open) {
        int device = attachTarget();
        long handle = open.applyAsLong(device);
        assertEquals(SimulatedDriver.handleOf(device), handle);
        assertTrue(SimulatedDriver.state(device).open());
        assertEquals(1, calls(function));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("openMethods")
    void failingStatusComesBackAsNegativeLong(String method, String function, IntToLongFunction open) {
        int device = attachTarget();
        for (int status : new int[] {2, 3, 4, 19, 0x7FFF_FFFF}) {
            SimulatedDriver.failNext(function, status);
            assertEquals(-(long) status, open.applyAsLong(device), "status " + status);
        }
        assertFalse(SimulatedDriver.state(device).open());
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("openMethods")
    void missingDeviceIsNotFound(String method, String function, IntToLongFunction open) {
        assertEquals(-(long) D2XXConstants.FT_DEVICE_NOT_FOUND, open.applyAsLong(0));
    }

    @Test
    void deviceOpenedElsewhereCannotBeOpened() {
        int device = attach();
        SimulatedDriver.setOpenedElsewhere(device, true);
        assertEquals(-(long) D2XXConstants.FT_DEVICE_NOT_OPENED, D2XX.openByIndex(device));
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 1, -1, Integer.MIN_VALUE, Integer.MAX_VALUE})
    void indexReachesTheDriverUnchanged(int index) {
        D2XX.openByIndex(index);
        assertEquals(index, (int) lastArgs("FT_Open")[0]);
    }

    @ParameterizedTest
    @ValueSource(ints = {0x0213, 0x8000_1234, 0xFFFF_FFFF, 0x7FFF_FFFF})
    void locationIsPassedSignExtendedInPlaceOfThePointer(int locationId) {
        int device = SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, FT232R_ID, locationId, "LOC", "Located");

        long handle = D2XX.openByLocationId(locationId);

        long[] args = lastArgs("FT_OpenEx");
        // The driver records the pointer's bits: all 64 sign-extended, or the 32 of a 32-bit pointer.
        long pointerBits = WIDE_HANDLES ? locationId : Integer.toUnsignedLong(locationId);
        assertEquals(pointerBits, args[0], "location word as the pointer argument");
        assertEquals(D2XXConstants.FT_OPEN_BY_LOCATION, args[1], "mode");
        assertEquals(SimulatedDriver.handleOf(device), handle);
    }

    /** Serial numbers and the exact bytes the driver must receive, through the zero byte. */
    static Stream<Arguments> serialNumberTexts() {
        return Stream.of(
                Arguments.of("plain", "FT7XQ2B9", bytes("FT7XQ2B9", 0)),
                Arguments.of("empty", "", new byte[] {0}),
                Arguments.of("16 chars", "0123456789ABCDEF", bytes("0123456789ABCDEF", 0)),
                Arguments.of("20 chars cut to 16", "0123456789ABCDEFGHIJ", bytes("0123456789ABCDEF", 0)),
                Arguments.of("U+00E9", "caf\u00e9", concat(bytes("caf"), hex("C3A9"), new byte[] {0})),
                Arguments.of("U+0000", "A\u0000B", concat(bytes("A"), hex("C080"), bytes("B", 0))),
                Arguments.of("supplementary", "\uD83D\uDE00", concat(hex("EDA0BDEDB880"), new byte[] {0})),
                Arguments.of("16 three-byte chars", "\u20AC".repeat(20), concat(repeat(hex("E282AC"), 16), new byte[] {0})));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("serialNumberTexts")
    void serialNumberReachesTheDriverAsModifiedUtf8(String name, String serialNumber, byte[] expected) {
        D2XX.openBySerialNumber(serialNumber);
        assertArrayEquals(expected, SimulatedDriver.lastOpenText());
        assertEquals(D2XXConstants.FT_OPEN_BY_SERIAL_NUMBER, lastArgs("FT_OpenEx")[1], "mode");
    }

    static Stream<Arguments> descriptionTexts() {
        String seventy = "Description of seventy characters, which is more than the field holds";
        return Stream.of(
                Arguments.of("plain", "FT232R USB UART", bytes("FT232R USB UART", 0)),
                Arguments.of("empty", "", new byte[] {0}),
                Arguments.of("70 chars cut to 64", seventy, bytes(seventy.substring(0, 64), 0)),
                Arguments.of("70 two-byte chars cut to 64", "\u00e9".repeat(70), concat(repeat(hex("C3A9"), 64), new byte[] {0})),
                Arguments.of("supplementary", "x\uD83D\uDE00y", concat(bytes("x"), hex("EDA0BDEDB880"), bytes("y", 0))));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("descriptionTexts")
    void descriptionReachesTheDriverAsModifiedUtf8(String name, String description, byte[] expected) {
        D2XX.openByDescription(description);
        assertArrayEquals(expected, SimulatedDriver.lastOpenText());
        assertEquals(D2XXConstants.FT_OPEN_BY_DESCRIPTION, lastArgs("FT_OpenEx")[1], "mode");
    }

    @Test
    void nullTextsThrowWithoutCallingTheDriver() {
        attach("", "");
        assertAll(
                () -> assertThrows(NullPointerException.class, () -> D2XX.openBySerialNumber(null)),
                () -> assertThrows(NullPointerException.class, () -> D2XX.openByDescription(null)));
        assertEquals(0, calls("FT_OpenEx"));
    }

    @Test
    void closeAndResetReturnZeroThenTheClosedHandleIsRefused() {
        int device = attach();
        long handle = open(device);

        assertEquals(0, D2XX.reset(handle));
        assertEquals(1, SimulatedDriver.state(device).resetCount());
        assertEquals(0, D2XX.close(handle));
        assertFalse(SimulatedDriver.state(device).open());

        assertEquals(-D2XXConstants.FT_INVALID_HANDLE, D2XX.close(handle));
        assertEquals(-D2XXConstants.FT_INVALID_HANDLE, D2XX.reset(handle));
        assertEquals(handle, lastArgs("FT_ResetDevice")[0]);
    }

    @Test
    void closeAndResetReportFailingStatus() {
        long handle = open(attach());
        SimulatedDriver.failNext("FT_ResetDevice", 4);
        assertEquals(-4, D2XX.reset(handle));
        SimulatedDriver.failNext("FT_Close", 4);
        assertEquals(-4, D2XX.close(handle));
    }

    private static byte[] bytes(String ascii, int... tail) {
        byte[] text = ascii.getBytes(StandardCharsets.US_ASCII);
        byte[] all = new byte[text.length + tail.length];
        System.arraycopy(text, 0, all, 0, text.length);
        for (int i = 0; i < tail.length; i++) {
            all[text.length + i] = (byte) tail[i];
        }
        return all;
    }

    private static byte[] hex(String digits) {
        byte[] bytes = new byte[digits.length() / 2];
        for (int i = 0; i < bytes.length; i++) {
            bytes[i] = (byte) Integer.parseInt(digits.substring(2 * i, 2 * i + 2), 16);
        }
        return bytes;
    }

    private static byte[] repeat(byte[] unit, int times) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (int i = 0; i < times; i++) {
            out.writeBytes(unit);
        }
        return out.toByteArray();
    }

    private static byte[] concat(byte[]... parts) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (byte[] part : parts) {
            out.writeBytes(part);
        }
        return out.toByteArray();
    }
}
