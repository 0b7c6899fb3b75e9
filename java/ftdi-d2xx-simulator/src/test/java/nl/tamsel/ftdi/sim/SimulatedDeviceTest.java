package nl.tamsel.ftdi.sim;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.EnumSet;
import java.util.List;
import java.util.OptionalLong;
import java.util.Set;
import java.util.stream.Collectors;
import nl.tamsel.ftdi.sim.junit.Device;
import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.usb.D2XXConstants;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.DeviceType;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.FtdiException;
import nl.tamsel.ftdi.usb.FtdiStatus;
import nl.tamsel.ftdi.usb.ModemStatus;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The object API over the simulated driver, seen through the library's typed API. */
@SimulatedFtdi
class SimulatedDeviceTest {

    @Test
    void aDeviceWithEveryDefaultListsAsAnFt232rWithItsOwnSerialNumber() throws FtdiException {
        SimulatedDevice first = SimulatedDevice.builder().attach();
        SimulatedDevice second = SimulatedDevice.builder().attach();

        List<DeviceInfo> listed = FtdiDevice.list();
        assertEquals(2, listed.size());
        DeviceInfo info = listed.get(1);
        assertEquals(DeviceType.FT_DEVICE_232R, info.deviceType());
        assertEquals(0x0403, info.vendorId());
        assertEquals(0x6001, info.productId());
        assertEquals("SIM00001", info.serialNumber());
        assertEquals("Simulated 232R", info.description());
        assertEquals(0x1002, info.locationId());
        assertEquals(List.of("SIM00000", "SIM00001"), List.of(first.serialNumber(), second.serialNumber()));
    }

    @ParameterizedTest(name = "{0} lists with product id {1}, hi-speed {2}")
    @CsvSource({
        "FT_DEVICE_232R, 0x6001, false",
        "FT_DEVICE_2232C, 0x6010, false",
        "FT_DEVICE_2232H, 0x6010, true",
        "FT_DEVICE_4232H, 0x6011, true",
        "FT_DEVICE_232H, 0x6014, true",
        "FT_DEVICE_X_SERIES, 0x6015, false",
    })
    void theTypePicksTheUsualProductIdAndSpeedFlag(DeviceType type, String productId, boolean hiSpeed)
            throws FtdiException {
        SimulatedDevice device = SimulatedDevice.builder().type(type).serialNumber("T1")
                .description("typed").locationId(0x2211).attach();

        DeviceInfo info = FtdiDevice.list().get(0);
        assertEquals(type, info.deviceType());
        assertEquals(Integer.decode(productId), info.productId());
        assertEquals(Integer.decode(productId), device.productId());
        assertEquals(0x2211, info.locationId());
        assertEquals("typed", info.description());
        assertEquals(hiSpeed ? D2XXConstants.FT_FLAGS_HISPEED : 0, info.flags());
    }

    @Test
    void explicitUsbIdsOverrideTheDefaults() throws FtdiException {
        SimulatedDevice.builder().usbIds(0x1234, 0x5678).attach();

        DeviceInfo info = FtdiDevice.list().get(0);
        assertEquals(0x1234, info.vendorId());
        assertEquals(0x5678, info.productId());
    }

    @Test
    void receivedBytesAreReadAndWrittenBytesAreTakenWithoutLoopback() throws IOException {
        SimulatedDevice device = SimulatedDevice.builder().serialNumber("RX1").loopback(false).attach();
        device.receive("pong\n");

        try (FtdiDevice open = FtdiDevice.openBySerialNumber("RX1")) {
            open.getOutputStream().write("ping\n".getBytes(StandardCharsets.US_ASCII));
            assertArrayEquals("pong\n".getBytes(StandardCharsets.US_ASCII), open.getInputStream().readNBytes(5));
            assertEquals(0, open.bytesAvailable(), "without loopback nothing written comes back");
        }
        assertEquals("ping\n", device.takeWrittenText());
        assertEquals(0, device.takeWritten().length, "taking empties the record");
    }

    @Test
    void aLoopedBackDeviceEchoesWhatIsWritten(@Device(serial = "LB1") SimulatedDevice device) throws IOException {
        try (FtdiDevice open = FtdiDevice.openBySerialNumber("LB1")) {
            open.setReadTimeout(Duration.ofSeconds(5));
            open.getOutputStream().write(new byte[] {1, 2, 3});
            assertArrayEquals(new byte[] {1, 2, 3}, open.getInputStream().readNBytes(3));
        }
        assertArrayEquals(new byte[] {1, 2, 3}, device.takeWritten());
    }

    @ParameterizedTest(name = "inputs {0}")
    @CsvSource({"'', 0x00", "CTS, 0x10", "'DSR,DCD', 0xA0", "'CTS,DSR,RI,DCD', 0xF0"})
    void modemInputsShowInTheModemStatus(String lines, String expectedBits) throws FtdiException {
        SimulatedDevice device = SimulatedDevice.builder().loopback(false).attach();
        device.setModemInputs(parse(lines, ModemLine.class).toArray(ModemLine[]::new));

        try (FtdiDevice open = FtdiDevice.openByIndex(0)) {
            assertEquals(Integer.decode(expectedBits), open.modemStatus().raw() & 0xF0);
        }
    }

    @ParameterizedTest(name = "errors {0}")
    @CsvSource({"OVERRUN, 0x02", "'PARITY,FRAMING', 0x0C", "BREAK, 0x10"})
    void raisedLineErrorsAreReportedOnce(String errors, String expectedBits) throws FtdiException {
        SimulatedDevice device = SimulatedDevice.builder().loopback(false).attach();

        try (FtdiDevice open = FtdiDevice.openByIndex(0)) {
            device.raiseLineErrors(parse(errors, LineError.class).toArray(LineError[]::new));
            assertEquals(Integer.decode(expectedBits), (open.modemStatus().raw() >> 8) & 0xFF);
            ModemStatus after = open.modemStatus();
            assertFalse(after.hasLineErrors(), "reading the errors clears them");
        }
    }

    @Test
    void handleAndOpenFollowOpenAndClose(@Device(serial = "H1") SimulatedDevice device) throws FtdiException {
        assertEquals(OptionalLong.empty(), device.handle());
        assertFalse(device.isOpen());
        FtdiDevice open = FtdiDevice.openBySerialNumber("H1");
        assertTrue(device.isOpen());
        assertTrue(device.handle().isPresent());
        open.close();
        assertFalse(device.isOpen());
        assertEquals(OptionalLong.empty(), device.handle());
    }

    @Test
    void anUnpluggedDeviceFailsWithAnIoErrorAndLeavesTheList(@Device(serial = "U1") SimulatedDevice device)
            throws FtdiException {
        try (FtdiDevice open = FtdiDevice.openBySerialNumber("U1")) {
            device.unplug();
            FtdiException failure = assertThrows(FtdiException.class, open::bytesAvailable);
            assertEquals(FtdiStatus.FT_IO_ERROR, failure.status());
            assertTrue(FtdiDevice.list().isEmpty());
        }
    }

    @Test
    void driverVersionAndComPortAreReportedAsSet() throws FtdiException {
        SimulatedDevice device = SimulatedDevice.builder().attach();
        device.setDriverVersion(0x00030216);
        device.setComPort(7);

        try (FtdiDevice open = FtdiDevice.openByIndex(0)) {
            assertEquals("3.2.16", open.driverVersion().toString());
            assertEquals(7, open.comPort().orElseThrow());
        }
    }

    @Test
    void aDeviceHeldElsewhereCannotBeOpened(@Device(serial = "E1") SimulatedDevice device) {
        device.setOpenedElsewhere(true);

        FtdiException failure = assertThrows(FtdiException.class, () -> FtdiDevice.openByIndex(0));
        assertEquals(FtdiStatus.FT_DEVICE_NOT_OPENED, failure.status());
    }

    @Test
    void aDeviceFromBeforeAResetRefusesToBeUsed() {
        SimulatedDevice stale = SimulatedDevice.builder().attach();
        SimulatedDriver.reset();
        SimulatedDevice.builder().attach(); // takes the stale device's id

        IllegalStateException failure = assertThrows(IllegalStateException.class, () -> stale.receive("x"));
        assertTrue(failure.getMessage().contains("reset"), failure.getMessage());
        assertThrows(IllegalStateException.class, stale::takeWritten);
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource({"17 bytes, SIMULATED00000017", "16 bytes in UTF-16 but 17 in UTF-8, SIMULATED000000\u00e9"})
    void aSerialNumberLongerThanItsFieldIsRefused(String why, String serial) {
        SimulatedDevice.Builder builder = SimulatedDevice.builder();
        assertThrows(IllegalArgumentException.class, () -> builder.serialNumber(serial), why);
    }

    @Test
    void aFailedCallFailsOnceWithTheStatusAndIsCounted(@Device(serial = "F1") SimulatedDevice device)
            throws IOException {
        try (FtdiDevice open = FtdiDevice.openBySerialNumber("F1")) {
            SimulatedDriver.failNext(DriverFunction.FT_WRITE, FtdiStatus.FT_IO_ERROR);
            FtdiException failure = assertThrows(FtdiException.class, () -> open.write(new byte[] {9}, 0, 1));
            assertEquals(FtdiStatus.FT_IO_ERROR, failure.status());
            assertEquals(1, open.write(new byte[] {9}, 0, 1));
        }
        assertEquals(2, SimulatedDriver.callCount(DriverFunction.FT_WRITE));
        assertArrayEquals(new byte[] {9}, device.takeWritten(), "the failed write had no effect");
    }

    @Test
    void aFunctionMadeToFailAlwaysFailsUntilFaultsAreCleared() throws FtdiException {
        SimulatedDevice.builder().attach().receive("ab");
        try (FtdiDevice open = FtdiDevice.openByIndex(0)) {
            SimulatedDriver.failAlways(DriverFunction.FT_GET_QUEUE_STATUS, FtdiStatus.FT_OTHER_ERROR);
            for (int attempt = 0; attempt < 2; attempt++) {
                assertEquals(FtdiStatus.FT_OTHER_ERROR,
                        assertThrows(FtdiException.class, open::bytesAvailable).status());
            }
            SimulatedDriver.clearFaults();
            assertEquals(2, open.bytesAvailable());
        }
    }

    @Test
    void anUnknownStatusIsRefusedBecauseItHasNoCode() {
        assertThrows(IllegalArgumentException.class,
                () -> SimulatedDriver.failNext(DriverFunction.FT_READ, FtdiStatus.UNKNOWN));
    }

    @Test
    void theFunctionsAreExactlyThoseTheDriverModelsUnderTheirDriverNames() {
        Set<DriverFunction> all = EnumSet.allOf(DriverFunction.class);
        assertEquals(SimulatedDriver.DRIVER_FUNCTIONS,
                all.stream().map(DriverFunction::driverName).collect(Collectors.toSet()));
        assertEquals(SimulatedDriver.COUNTING_FUNCTIONS, all.stream().filter(DriverFunction::reportsCount)
                .map(DriverFunction::driverName).collect(Collectors.toSet()));
        for (DriverFunction function : all) {
            assertEquals(0, SimulatedDriver.callCount(function), function + " is known to the driver");
        }
    }

    private static <E extends Enum<E>> List<E> parse(String names, Class<E> type) {
        if (names.isEmpty()) {
            return List.of();
        }
        return java.util.Arrays.stream(names.split(",")).map(name -> Enum.valueOf(type, name))
                .collect(Collectors.toList());
    }
}
