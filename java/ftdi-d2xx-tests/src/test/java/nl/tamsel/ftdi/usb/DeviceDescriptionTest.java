package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** How devices are listed, named and described: list entries, selectors, statuses, versions. */
class DeviceDescriptionTest extends SimulatedDriverTestBase {

    @Test
    void listHoldsOneEntryPerAttachedDeviceWithReadableAccessors() throws FtdiException {
        SimulatedDriver.addDevice(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_232H, FT232H_ID, 0x0213,
                "FT7XQ2B9", "UM232H Single RS232-HS");
        attach("A10KZP3M", "FT232R USB UART");
        FtdiDevice.openBySerialNumber("A10KZP3M").close();
        try (FtdiDevice open = FtdiDevice.openByIndex(0)) {
            List<DeviceInfo> list = FtdiDevice.list();

            assertEquals(2, list.size());
            DeviceInfo hiSpeed = list.get(0);
            assertAll(
                    () -> assertEquals(List.of(0x0403, 0x6014), List.of(hiSpeed.vendorId(), hiSpeed.productId())),
                    () -> assertEquals(DeviceType.FT_DEVICE_232H, hiSpeed.deviceType()),
                    () -> assertEquals(List.of(true, true), List.of(hiSpeed.isOpen(), hiSpeed.isHighSpeed())),
                    () -> assertEquals(List.of(false, false), List.of(list.get(1).isOpen(), list.get(1).isHighSpeed())),
                    () -> assertEquals("DeviceInfo[serial=FT7XQ2B9, description=\"UM232H Single RS232-HS\", type=232H,"
                            + " id=0403:6014, location=0x00000213, flags=opened,hi-speed]", hiSpeed.toString()));
        }
    }

    @Test
    void entriesTheDriverLeftEmptyAreLeftOut() throws FtdiException {
        attach("A", "first");
        attach("B", "second");
        SimulatedDriver.reportNextCount("FT_GetDeviceInfoList", 1);

        assertEquals(List.of("A"), FtdiDevice.list().stream().map(DeviceInfo::serialNumber).toList());
    }

    @Test
    void listFailureIsAnExceptionWithoutAStatus() {
        SimulatedDriver.failNext("FT_CreateDeviceInfoList", 4);
        FtdiException error = assertThrows(FtdiException.class, FtdiDevice::list);
        assertEquals(0, error.statusCode());
        assertTrue(error.device().isEmpty());
        assertEquals("Listing the devices failed; the driver's status does not reach Java for this operation",
                error.getMessage());
    }

    @ParameterizedTest
    @CsvSource({"0, FT_DEVICE_BM, BM", "5, FT_DEVICE_232R, 232R", "9, FT_DEVICE_X_SERIES, X-series",
        "16, FT_DEVICE_UMFTPD3A, UMFTPD3A", "17, UNRECOGNIZED, 17", "-2, UNRECOGNIZED, -2"})
    void deviceTypeIsNamedAndUnknownCodesShowTheirNumber(int code, DeviceType type, String name) {
        DeviceInfo info = new DeviceInfo(0, code, 0x04036001, 0, "S", "D", 0);
        assertEquals(type, info.deviceType());
        assertEquals(name, info.typeName());
        assertEquals(type == DeviceType.UNRECOGNIZED ? -1 : code, type.code());
    }

    @ParameterizedTest
    @CsvSource({"1, FT_INVALID_HANDLE", "2, FT_DEVICE_NOT_FOUND", "7, FT_INVALID_BAUD_RATE",
        "19, FT_DEVICE_LIST_NOT_READY", "0, UNKNOWN", "20, UNKNOWN", "-4, UNKNOWN"})
    void statusCodesMapToTheirPublishedNames(int code, FtdiStatus status) {
        assertEquals(status, FtdiStatus.of(code));
        if (status != FtdiStatus.UNKNOWN) {
            assertEquals(code, status.code());
        }
    }

    @ParameterizedTest
    @CsvSource({"0x00030216, 3.2.16", "0x00021216, 2.12.16", "0x00010427, 1.4.27", "0x00000000, 0.0.0",
        "0x00999999, 99.99.99"})
    void versionsReadEachByteAsTwoDecimalDigits(String raw, String text) {
        assertEquals(text, new DriverVersion(Integer.decode(raw)).toString());
    }

    static Stream<Arguments> selectors() {
        return Stream.of(
                Arguments.of("0", DeviceSelector.byIndex(0), "0"),
                Arguments.of("12", DeviceSelector.byIndex(12), "12"),
                Arguments.of("serial:FT1ZK4", DeviceSelector.bySerialNumber("FT1ZK4"), "serial:FT1ZK4"),
                Arguments.of("SERIAL:12", DeviceSelector.bySerialNumber("12"), "serial:12"),
                Arguments.of("FT1ZK4", DeviceSelector.bySerialNumber("FT1ZK4"), "serial:FT1ZK4"),
                Arguments.of("desc:FT232R USB UART", DeviceSelector.byDescription("FT232R USB UART"),
                        "desc:FT232R USB UART"),
                Arguments.of("loc:0x0213", DeviceSelector.byLocation(0x0213), "loc:0x00000213"),
                Arguments.of("loc:531", DeviceSelector.byLocation(0x0213), "loc:0x00000213"),
                Arguments.of("loc:0xFFFFFFFF", DeviceSelector.byLocation(-1), "loc:0xffffffff"));
    }

    @ParameterizedTest
    @MethodSource("selectors")
    void selectorTextIsReadAndWrittenBack(String text, DeviceSelector expected, String written) {
        DeviceSelector parsed = DeviceSelector.parse(text);
        assertEquals(expected, parsed);
        assertEquals(written, parsed.toString());
        assertEquals(parsed, DeviceSelector.parse(written));
    }

    @ParameterizedTest
    @ValueSource(strings = {"", "serial:", "desc:", "loc:", "loc:0x100000000", "loc:-1", "loc:x12",
        "99999999999", "serial:12345678901234567"})
    void selectorTextThatNamesNoDeviceIsRefused(String text) {
        IllegalArgumentException error = assertThrows(IllegalArgumentException.class, () -> DeviceSelector.parse(text));
        assertTrue(error.getMessage().length() > 20, error.getMessage());
    }

    @Test
    void descriptionLongerThanTheDriverComparesIsRefusedBeforeOpening() {
        int callsBefore = callsOfAllDriverFunctions();
        assertThrows(IllegalArgumentException.class, () -> FtdiDevice.openByDescription("x".repeat(65)));
        assertEquals(callsBefore, callsOfAllDriverFunctions());
    }

    @Test
    void eachSelectorOpensItsDevice() throws FtdiException {
        attach("OTHER001", "Other device");
        int target = SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232H, FT232H_ID, 0x0213, "FT7XQ2B9",
                "UM232H Single RS232-HS");
        List<DeviceInfo> list = FtdiDevice.list();
        for (String text : List.of("1", "serial:FT7XQ2B9", "FT7XQ2B9", "desc:UM232H Single RS232-HS", "loc:0x213")) {
            DeviceSelector selector = DeviceSelector.parse(text);
            assertEquals(List.of(false, true), List.of(selector.matches(list.get(0), 0), selector.matches(list.get(1), 1)),
                    text);
            try (FtdiDevice device = FtdiDevice.open(selector)) {
                assertTrue(SimulatedDriver.state(target).open(), text);
            }
        }
    }
}
