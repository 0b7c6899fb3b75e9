package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** The device list: record fields, text fields, handles, counts and driver failures. */
class DeviceEnumerationTest extends SimulatedDriverTestBase {

    @Test
    void recordsArriveInOrderWithEveryField() {
        SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, FT232R_ID, 0x0111, "A10KZP3M", "FT232R USB UART");
        SimulatedDriver.addDevice(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_232H, FT232H_ID, 0x0213,
                "FT7XQ2B9", "UM232H Single RS232-HS");

        DeviceInfo[] devices = D2XX.createDeviceInfoList();

        assertArrayEquals(new DeviceInfo[] {
                new DeviceInfo(0, D2XXConstants.FT_DEVICE_232R, FT232R_ID, 0x0111, "A10KZP3M", "FT232R USB UART", 0),
                new DeviceInfo(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_232H, FT232H_ID, 0x0213,
                        "FT7XQ2B9", "UM232H Single RS232-HS", 0)}, devices);
    }

    @Test
    void wordsWithTheTopBitSetArriveBitForBit() {
        SimulatedDriver.addDevice(0x8000_0002, 0xFFFF_FFF0, 0x8403_6001, 0xFFFF_0001, "S", "D");

        DeviceInfo device = D2XX.createDeviceInfoList()[0];

        assertEquals(new DeviceInfo(0x8000_0002, 0xFFFF_FFF0, 0x8403_6001, 0xFFFF_0001, "S", "D", 0), device);
    }

    /** Raw field bytes and the string they must give: cut at the first byte 0 to 31 only. */
    static Stream<Arguments> fieldTexts() {
        return Stream.of(
                Arguments.of("ends at zero", bytes(0x46, 0x54, 0x31, 0x00, 0x41), "FT1"),
                Arguments.of("first byte zero", bytes(0x00, 0x41), ""),
                Arguments.of("empty field", bytes(), ""),
                Arguments.of("tab ends it", bytes(0x41, 0x42, 0x09, 0x43), "AB"),
                Arguments.of("0x1F ends it", bytes(0x41, 0x1F, 0x43), "A"),
                Arguments.of("0x01 ends it", bytes(0x41, 0x01, 0x43), "A"),
                Arguments.of("space is kept", bytes(0x41, 0x20, 0x42), "A B"),
                Arguments.of("0x7F is kept", bytes(0x41, 0x7F, 0x42), "A\u007FB"),
                Arguments.of("0xE9 is kept", bytes(0x41, 0xE9, 0x42), decoded(bytes(0x41, 0xE9, 0x42))),
                Arguments.of("UTF-8 text", bytes(0x63, 0xC3, 0xA9, 0x00), "c\u00e9"));
    }

    @ParameterizedTest(name = "serial: {0}")
    @MethodSource("fieldTexts")
    void serialNumberFieldIsCutAtTheFirstControlByte(String name, byte[] field, String expected) {
        SimulatedDriver.addDevice(0, 0, 0, 0, field, "desc".getBytes(StandardCharsets.US_ASCII));
        DeviceInfo device = D2XX.createDeviceInfoList()[0];
        assertEquals(expected, device.serialNumber());
        assertEquals("desc", device.description());
    }

    @ParameterizedTest(name = "description: {0}")
    @MethodSource("fieldTexts")
    void descriptionFieldIsCutAtTheFirstControlByte(String name, byte[] field, String expected) {
        SimulatedDriver.addDevice(0, 0, 0, 0, "serial".getBytes(StandardCharsets.US_ASCII), field);
        DeviceInfo device = D2XX.createDeviceInfoList()[0];
        assertEquals(expected, device.description());
        assertEquals("serial", device.serialNumber());
    }

    @Test
    void fullFieldsWithoutTerminatorGiveEveryByte() {
        String serial = "0123456789ABCDEF";
        String description = "D".repeat(31) + "\u007F" + "d".repeat(32);
        SimulatedDriver.addDevice(0, 0, 0, 0, serial, description);

        DeviceInfo device = D2XX.createDeviceInfoList()[0];

        assertEquals(serial, device.serialNumber());
        assertEquals(description, device.description());
        assertEquals(64, device.description().length());
    }

    @Test
    void deviceOpenedElsewhereShowsFlagsAndEmptyTexts() {
        int device = attach("FT000001", "FT232R USB UART");
        SimulatedDriver.setOpenedElsewhere(device, true);

        DeviceInfo info = D2XX.createDeviceInfoList()[0];

        assertEquals(D2XXConstants.FT_FLAGS_OPENED, info.flags() & D2XXConstants.FT_FLAGS_OPENED);
        assertEquals("", info.serialNumber());
        assertEquals("", info.description());
        assertEquals(0, info.handle());
    }

    @Test
    void handleFieldIsZeroUnlessThisProcessHasTheDeviceOpen() {
        attach("FT000001", "first");
        int second = attach("FT000002", "second");
        long handle = open(second);

        DeviceInfo[] devices = D2XX.createDeviceInfoList();

        assertEquals(0, devices[0].handle());
        assertEquals(handle, devices[1].handle());
        assertEquals(D2XXConstants.FT_FLAGS_OPENED, devices[1].flags() & D2XXConstants.FT_FLAGS_OPENED);
    }

    @Test
    void noDeviceGivesAnEmptyArrayWithoutFetchingTheList() {
        DeviceInfo[] devices = D2XX.createDeviceInfoList();
        assertNotNull(devices);
        assertEquals(0, devices.length);
        assertEquals(0, calls("FT_GetDeviceInfoList"));
    }

    @ParameterizedTest
    @ValueSource(strings = {"FT_CreateDeviceInfoList", "FT_GetDeviceInfoList"})
    void driverFailureGivesNull(String function) {
        attach();
        SimulatedDriver.failNext(function, D2XXConstants.FT_IO_ERROR);
        assertNull(D2XX.createDeviceInfoList());
        assertEquals(1, D2XX.createDeviceInfoList().length, "the next call succeeds again");
    }

    @Test
    void listIsFetchedWithTheFirstCountAsCapacity() {
        attach("FT000001", "first");
        attach("FT000002", "second");
        attach("FT000003", "third");
        SimulatedDriver.reportNextCount("FT_CreateDeviceInfoList", 2);

        DeviceInfo[] devices = D2XX.createDeviceInfoList();

        assertEquals(2, lastArgs("FT_GetDeviceInfoList")[1], "count handed to the driver");
        assertEquals(2, devices.length);
        assertEquals("FT000002", devices[1].serialNumber());
    }

    @Test
    void firstCountOfZeroGivesAnEmptyArray() {
        attach();
        SimulatedDriver.reportNextCount("FT_CreateDeviceInfoList", 0);
        assertEquals(0, D2XX.createDeviceInfoList().length);
        assertEquals(0, calls("FT_GetDeviceInfoList"));
    }

    @ParameterizedTest
    @ValueSource(ints = {3, 4, 1000, 0x7FFF_FFFF, 0xFFFF_FFFF})
    void largerSecondCountIsClampedToTheArray(int reported) {
        attach("FT000001", "first");
        attach("FT000002", "second");
        SimulatedDriver.reportNextCount("FT_GetDeviceInfoList", reported);

        DeviceInfo[] devices = D2XX.createDeviceInfoList();

        assertEquals(2, devices.length);
        assertEquals("FT000001", devices[0].serialNumber());
        assertEquals("FT000002", devices[1].serialNumber());
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 1, 2})
    void smallerSecondCountLeavesTrailingNulls(int reported) {
        for (int i = 0; i < 3; i++) {
            attach("FT00000" + i, "device " + i);
        }
        SimulatedDriver.reportNextCount("FT_GetDeviceInfoList", reported);

        DeviceInfo[] devices = D2XX.createDeviceInfoList();

        assertEquals(3, devices.length);
        for (int i = 0; i < 3; i++) {
            if (i < reported) {
                assertEquals("FT00000" + i, devices[i].serialNumber());
            } else {
                assertNull(devices[i], "element " + i);
            }
        }
    }

    /** More devices than a native frame holds local references by default (16, or 32 checked). */
    @Test
    void longListKeepsEveryDeviceInOrder() {
        int count = 100;
        for (int i = 0; i < count; i++) {
            attach(String.format("SN%06d", i), "device " + i);
        }

        DeviceInfo[] devices = D2XX.createDeviceInfoList();

        assertEquals(count, devices.length);
        assertArrayEquals(Stream.iterate(0, i -> i + 1).limit(count).map(i -> String.format("SN%06d", i)).toArray(),
                Arrays.stream(devices).map(DeviceInfo::serialNumber).toArray());
    }

    private static byte[] bytes(int... values) {
        byte[] bytes = new byte[values.length];
        for (int i = 0; i < values.length; i++) {
            bytes[i] = (byte) values[i];
        }
        return bytes;
    }

    /** The text of raw bytes as String(byte[]) gives it, which is how the bridge decodes. */
    private static String decoded(byte[] bytes) {
        return new String(bytes);
    }
}
