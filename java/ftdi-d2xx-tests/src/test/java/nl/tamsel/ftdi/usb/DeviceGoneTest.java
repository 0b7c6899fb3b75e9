package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.time.Duration;
import java.util.EnumSet;
import java.util.Set;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.DriverFunction;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.sim.SimulatedSpiFlash;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * An open device that is unplugged: every kind of operation says plainly that the device is gone,
 * a thread waiting for an event wakes with it, a failure of a device still there is not mistaken
 * for it, and after a replug the same serial number opens and its SPI and I2C masters work.
 */
class DeviceGoneTest extends SimulatedDriverTestBase {

    private final ExecutorService executor = Executors.newSingleThreadExecutor();

    @AfterEach
    void stopExecutor() {
        executor.shutdownNow();
    }

    @FunctionalInterface
    interface Operation {
        void run(FtdiDevice device) throws IOException;
    }

    static Stream<Arguments> operations() {
        SpiConfig spi = SpiConfig.builder().clockHz(1_000_000).build();
        return Stream.of(
                Arguments.of("read", (Operation) d -> d.read(new byte[4], 0, 4)),
                Arguments.of("write", (Operation) d -> d.write(new byte[4], 0, 4)),
                Arguments.of("input stream", (Operation) d -> d.getInputStream().read()),
                Arguments.of("output stream", (Operation) d -> d.getOutputStream().write(1)),
                Arguments.of("baud rate", (Operation) d -> d.setBaudRate(9600)),
                Arguments.of("modem status", (Operation) FtdiDevice::modemStatus),
                Arguments.of("status", (Operation) FtdiDevice::status),
                Arguments.of("EEPROM", (Operation) d -> d.eeprom().readWord(0)),
                Arguments.of("bit-bang", (Operation) d -> d.bitBang(0xFF)),
                Arguments.of("SPI master", (Operation) d -> d.spiMaster(spi)),
                Arguments.of("I2C master", (Operation) d -> d.i2cMaster(I2cConfig.of(I2cSpeed.STANDARD))),
                Arguments.of("event", (Operation) d -> d.awaitEvent(EnumSet.of(DeviceEvent.RECEIVED_BYTES),
                        Duration.ZERO)));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("operations")
    void everyOperationAfterAnUnplugSaysTheDeviceIsGone(String name, Operation operation) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).serialNumber("GONE1").attach();
        try (FtdiDevice device = FtdiDevice.openBySerialNumber("GONE1")) {
            adapter.unplug();
            DeviceGoneException gone = assertThrows(DeviceGoneException.class, () -> operation.run(device));
            assertEquals(FtdiStatus.FT_IO_ERROR, gone.status());
            assertEquals("serial:GONE1", gone.device().orElseThrow());
            assertTrue(gone.getMessage().contains("the device is gone"), gone.getMessage());
        }
    }

    @Test
    void aThreadWaitingForAnEventWakesWhenTheDeviceIsUnplugged() throws Exception {
        SimulatedDevice meter = SimulatedDevice.builder().attach();
        try (FtdiDevice device = FtdiDevice.openByIndex(0)) {
            // The wait registers its event object first; status() makes sure that happened.
            Future<Set<DeviceEvent>> waiter = executor.submit(
                    () -> device.awaitEvent(EnumSet.of(DeviceEvent.RECEIVED_BYTES), FtdiDevice.MAX_TIMEOUT));
            while (SimulatedDriver.callCount(DriverFunction.FT_SET_EVENT_NOTIFICATION) == 0) {
                Thread.sleep(1);
            }
            meter.unplug();
            ExecutionException woken = assertThrows(ExecutionException.class, () -> waiter.get(60, TimeUnit.SECONDS));
            assertSame(DeviceGoneException.class, woken.getCause().getClass());
        }
    }

    @Test
    void aFailureOfADeviceStillPluggedInIsNotMistakenForAnUnplug() throws IOException {
        SimulatedDevice.builder().attach();
        try (FtdiDevice device = FtdiDevice.openByIndex(0)) {
            SimulatedDriver.failNext(DriverFunction.FT_SET_BAUD_RATE, FtdiStatus.FT_IO_ERROR);
            FtdiException failure = assertThrows(FtdiException.class, () -> device.setBaudRate(9600));
            assertFalse(failure instanceof DeviceGoneException, failure.toString());
            assertEquals(FtdiStatus.FT_IO_ERROR, failure.status());
            device.setBaudRate(9600);
        }
    }

    @Test
    void afterAReplugTheSameSerialNumberOpensAndANewSpiMasterWorks() throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).serialNumber("PROG1")
                .loopback(false).attach();
        SimulatedSpiFlash flash = adapter.attachSpiFlash();
        flash.setContents(0x100, new byte[] {7, 8, 9});
        FtdiDevice old = FtdiDevice.openBySerialNumber("PROG1");
        SpiMaster oldSpi = old.spiMaster(SpiConfig.builder().clockHz(1_000_000).build());
        adapter.unplug();
        assertThrows(DeviceGoneException.class, () -> oldSpi.writeThenRead(new byte[] {0x03, 0, 1, 0}, 3));
        assertThrows(FtdiException.class, () -> FtdiDevice.openBySerialNumber("PROG1"));

        adapter.replug(0x2222);
        assertThrows(IllegalStateException.class, adapter::replug, "a device plugged in cannot be plugged in again");

        assertEquals(0x2222, FtdiDevice.list().get(0).locationId());
        try (FtdiDevice device = FtdiDevice.openBySerialNumber("PROG1");
             SpiMaster spi = device.spiMaster(SpiConfig.builder().clockHz(1_000_000).build())) {
            assertArrayEquals(new byte[] {7, 8, 9}, spi.writeThenRead(new byte[] {0x03, 0, 1, 0}, 3));
            assertThrows(DeviceGoneException.class, old::modemStatus, "the device opened before stays gone");
        }
        old.close();
    }

    @Test
    void anI2cMasterMadeBeforeTheUnplugSaysTheDeviceIsGone() throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).serialNumber("I2C1")
                .loopback(false).attach();
        adapter.attachI2cTarget(0x48).setRegisters(0x10, new byte[] {0x42});
        try (FtdiDevice device = FtdiDevice.openBySerialNumber("I2C1")) {
            I2cMaster i2c = device.i2cMaster(I2cConfig.of(I2cSpeed.FAST));
            adapter.unplug();
            assertThrows(DeviceGoneException.class, () -> i2c.readRegister8(I2cAddress.of(0x48), 0x10));
        }
    }
}
