package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.time.Duration;
import java.util.List;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedI2cEeprom;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Where the pin functions meet the chip's limits: SPI clocks and chip selects the chip lacks,
 * the rate of modes 1 and 3 on the simulated bus clock, a stuck I2C bus, acknowledge polling.
 */
class PinFunctionLimitsTest extends SimulatedDriverTestBase {

    private static final I2cAddress EEPROM = I2cAddress.of(0x50);

    private static FtdiDevice open(DeviceType type) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(type).loopback(false).attach();
        return FtdiDevice.openByIndex(adapter.id());
    }

    /** A clock above the fastest gets the fastest; one below the slowest, or a chip select the chip lacks, is refused. */
    @ParameterizedTest(name = "{0}, {1} Hz, chip select {2}: {3}")
    @CsvSource({
        "FT_DEVICE_232H, 40000000, 3, 30000000",
        "FT_DEVICE_232H, 2147483647, 3, 30000000",
        "FT_DEVICE_4232H, 31000000, 3, 30000000",
        "FT_DEVICE_2232C, 30000000, 3, 6000000",
        "FT_DEVICE_2232C, 5000000, 3, 3000000",
        "FT_DEVICE_232H, 457, 3, 458 to 30000000 Hz",
        "FT_DEVICE_2232C, 91, 3, 92 to 6000000 Hz",
        "FT_DEVICE_4232H, 1000000, 8, pins 3 to 7",
        "FT_DEVICE_2232C, 1000000, 12, pins 3 to 11",
    })
    void theClockAndChipSelectAreWhatTheChipHas(DeviceType type, int clock, int chipSelect, String expected)
            throws IOException {
        try (FtdiDevice device = open(type)) {
            SpiConfig config = SpiConfig.builder().clockHz(clock).chipSelect(chipSelect, false).build();
            if (expected.matches("\\d+")) {
                try (SpiMaster spi = device.spiMaster(config)) {
                    assertEquals(Integer.parseInt(expected), spi.clockHz());
                }
                return;
            }
            IllegalArgumentException e = assertThrows(IllegalArgumentException.class, () -> device.spiMaster(config));
            assertTrue(e.getMessage().contains(expected), e.getMessage());
            // Refused without keeping the pins: another function may have them.
            device.spiMaster(SpiConfig.builder().build()).close();
        }
    }

    /**
     * A 64-byte frame's simulated bus time against the rate the master reports: in modes 1 and 3
     * reading bits go at two thirds of the clock, writing bits at the clock.
     */
    @ParameterizedTest(name = "mode {0}, {1}")
    @CsvSource({"0, read", "0, write", "1, read", "1, write", "2, read", "3, read", "3, write"})
    void theEffectiveRateIsTheRateOnTheBus(int mode, String kind) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        adapter.connect(Pin.AD1, Pin.AD2);
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id());
             SpiMaster spi = device.spiMaster(SpiConfig.builder().mode(mode).clockHz(1_000_000).build())) {
            boolean reading = kind.equals("read");
            int expectedHz = reading && mode % 2 == 1 ? 666_666 : 1_000_000;
            assertEquals(1_000_000, spi.clockHz());
            if (reading) {
                assertEquals(expectedHz, spi.effectiveClockHz());
            }
            long before = adapter.busTime().toNanos();
            if (reading) {
                spi.read(64);
            } else {
                spi.write(new byte[64]);
            }
            long bitsNanos = 64L * 8 * 1_000_000_000L / expectedHz;
            long busNanos = adapter.busTime().toNanos() - before;
            // Selecting and deselecting add a few half periods of 500 ns.
            assertTrue(busNanos >= bitsNanos && busNanos <= bitsNanos + 4_000, busNanos + " ns on the bus for "
                    + bitsNanos + " ns of bits");
        }
    }

    /** A device holding SDA low stops every kind of transaction with the stuck-bus exception. */
    @Test
    void aStuckBusIsReportedByItsOwnException() throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        SimulatedI2cEeprom eeprom = adapter.attachI2cEeprom(0x50, 256, 8);
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id());
             I2cMaster i2c = device.i2cMaster(I2cConfig.of(I2cSpeed.FAST))) {
            eeprom.holdSdaLow(true);
            List<ThrowingCall> calls = List.of(() -> i2c.write(EEPROM, new byte[] {1}), () -> i2c.read(EEPROM, 2),
                    i2c::scan, () -> i2c.readRegister8(EEPROM, 0), () -> i2c.awaitAcknowledge(EEPROM, Duration.ZERO));
            for (ThrowingCall call : calls) {
                I2cBusStuckException e = assertThrows(I2cBusStuckException.class, call::run);
                assertTrue(e.getMessage().contains("SDA stays low"), e.getMessage());
            }
            eeprom.holdSdaLow(false);
            i2c.write(EEPROM, new byte[] {0x10, 0x5A});
            i2c.awaitAcknowledge(EEPROM, Duration.ofSeconds(60));
            assertArrayEquals(new byte[] {0x5A}, i2c.writeThenRead(EEPROM, new byte[] {0x10}, 1));
        }
    }

    /** Without a target there, polling gives up after the timeout; with a zero timeout after one probe. */
    @ParameterizedTest(name = "timeout {0} ms")
    @ValueSource(ints = {0, 20})
    void acknowledgePollingGivesUpWithoutATarget(int millis) throws IOException {
        try (FtdiDevice device = open(DeviceType.FT_DEVICE_2232H);
             I2cMaster i2c = device.i2cMaster(I2cConfig.of(I2cSpeed.STANDARD))) {
            int writes = calls("FT_Write");
            I2cNackException e = assertThrows(I2cNackException.class,
                    () -> i2c.awaitAcknowledge(I2cAddress.of(0x51), Duration.ofMillis(millis)));
            assertTrue(e.addressRefused());
            int probes = calls("FT_Write") - writes;
            assertTrue(millis == 0 ? probes == 1 : probes >= 1, probes + " probes");
            assertThrows(IllegalArgumentException.class, () -> i2c.awaitAcknowledge(EEPROM, Duration.ofMillis(-1)));
        }
    }

    /**
     * An EEPROM refuses its address for its write cycle of bus time after a page write (5 ms
     * unless set; -1 here leaves it unset); polling returns once that has passed, within a
     * probe's time, and the next access finds it ready.
     */
    @ParameterizedTest(name = "write cycle {0} µs at {1}")
    @CsvSource({"0, FAST", "1000, FAST", "-1, FAST", "5000, STANDARD", "10000, FAST_PLUS"})
    void acknowledgePollingWaitsOutTheEepromsWriteCycle(int set, I2cSpeed speed) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        SimulatedI2cEeprom eeprom = adapter.attachI2cEeprom(0x50, 256, 8);
        assertThrows(IllegalArgumentException.class, () -> eeprom.setWriteCycle(Duration.ofNanos(-1)));
        assertThrows(IllegalArgumentException.class, () -> eeprom.setWriteCycle(Duration.ofDays(365L * 300)));
        if (set >= 0) {
            eeprom.setWriteCycle(Duration.ofNanos(set * 1000L));
        }
        int cycleMicros = set >= 0 ? set : 5000;
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id());
             I2cMaster i2c = device.i2cMaster(I2cConfig.of(speed))) {
            i2c.write(EEPROM, new byte[] {0x20, 1, 2, 3});
            long written = adapter.busTime().toNanos();
            int writes = calls("FT_Write");
            int refused = i2c.awaitAcknowledge(EEPROM, Duration.ofSeconds(60));
            if (cycleMicros == 0) {
                assertEquals(1, calls("FT_Write") - writes, "one probe for a ready target");
            }
            long waited = adapter.busTime().toNanos() - written;
            // One probe: start, nine clocks, stop.
            long probe = waited / (refused + 1);
            assertEquals(cycleMicros == 0, refused == 0, refused + " probes refused");
            assertTrue(waited >= cycleMicros * 1000L && waited <= cycleMicros * 1000L + 2 * probe,
                    waited + " ns of bus time polled for a write cycle of " + cycleMicros + " µs");
            assertArrayEquals(new byte[] {1, 2, 3}, i2c.writeThenRead(EEPROM, new byte[] {0x20}, 3));
            if (cycleMicros > 0) {
                i2c.write(EEPROM, new byte[] {0x20, 4});
                assertThrows(I2cNackException.class, () -> i2c.awaitAcknowledge(EEPROM, Duration.ZERO),
                        "busy right after the write");
            }
        }
    }

    @FunctionalInterface
    private interface ThrowingCall {
        void run() throws IOException;
    }
}
