package example.flash;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.time.Duration;
import java.util.Arrays;
import java.util.Random;
import nl.tamsel.ftdi.sim.DriverFunction;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.sim.SimulatedSpiFlash;
import nl.tamsel.ftdi.sim.junit.Device;
import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.usb.DeviceType;
import nl.tamsel.ftdi.usb.FtdiException;
import nl.tamsel.ftdi.usb.FtdiStatus;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

@SimulatedFtdi
class FlashProgrammerTest {

    private static final int FLASH_SIZE = 64 * 1024;
    private static final Duration BUSY_TIMEOUT = Duration.ofSeconds(5);

    private static FlashProgrammer open() throws FlashException {
        return FlashProgrammer.open("PROG", 10_000_000, BUSY_TIMEOUT);
    }

    @Test
    void readsTheJedecId(@Device(serial = "PROG", type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter)
            throws Exception {
        adapter.attachSpiFlash(Pin.AD3, 0xEF4018, FLASH_SIZE);

        try (FlashProgrammer programmer = open()) {
            assertEquals(0xEF4018, programmer.jedecId());
        }
    }

    /** Images that start and end inside pages and sectors, and cross their boundaries. */
    @ParameterizedTest(name = "{1} bytes at {0}")
    @CsvSource({"0, 1", "0, 4096", "0x0FF0, 0x30", "0x10F8, 300", "0x2345, 5000"})
    void writesAnImageAndLeavesTheRestOfTheFlashAlone(int address, int length,
            @Device(serial = "PROG", type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter) throws Exception {
        SimulatedSpiFlash flash = adapter.attachSpiFlash(Pin.AD3, 0xEF4018, FLASH_SIZE);
        byte[] before = new byte[FLASH_SIZE];
        Arrays.fill(before, (byte) 0x5A);
        flash.setContents(0, before);
        byte[] image = new byte[length];
        new Random(length).nextBytes(image);

        try (FlashProgrammer programmer = open()) {
            programmer.write(address, image);
        }

        byte[] after = flash.contents();
        assertArrayEquals(image, Arrays.copyOfRange(after, address, address + length));
        int firstSector = address / FlashProgrammer.SECTOR_SIZE * FlashProgrammer.SECTOR_SIZE;
        int endSector = (address + length + FlashProgrammer.SECTOR_SIZE - 1) / FlashProgrammer.SECTOR_SIZE
                * FlashProgrammer.SECTOR_SIZE;
        for (int i = 0; i < FLASH_SIZE; i++) {
            if (i < firstSector || i >= endSector) {
                assertEquals(0x5A, after[i] & 0xFF, "byte " + i + " outside the erased sectors");
            } else if (i < address || i >= address + length) {
                assertEquals(0xFF, after[i] & 0xFF, "byte " + i + " erased with its sector");
            }
        }
    }

    @Test
    void programmingOverUnerasedBytesFailsTheVerify(
            @Device(serial = "PROG", type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter) throws Exception {
        SimulatedSpiFlash flash = adapter.attachSpiFlash(Pin.AD3, 0xEF4018, FLASH_SIZE);
        flash.setContents(0x105, new byte[] {0x0F});

        try (FlashProgrammer programmer = open()) {
            byte[] image = new byte[16];
            Arrays.fill(image, (byte) 0xF0);
            programmer.program(0x100, image);

            FlashException failure = assertThrows(FlashException.class, () -> programmer.verify(0x100, image));
            // Programming only clears bits: 0x0F and 0xF0 leave 0x00.
            assertEquals("verify failed at 0x000105: read 00, expected F0", failure.getMessage());
        }
    }

    /** A flash on another chip select, or none, leaves MISO to its pull-up: the ID reads all ones. */
    @Test
    void saysSoWhenNoFlashAnswersOnItsChipSelect(
            @Device(serial = "PROG", type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter) throws Exception {
        adapter.attachSpiFlash(Pin.AD4, 0xEF4018, FLASH_SIZE);

        try (FlashProgrammer programmer = open()) {
            FlashException failure = assertThrows(FlashException.class, programmer::jedecId);
            assertTrue(failure.getMessage().startsWith("no flash answers: its JEDEC ID reads FFFFFF"),
                    failure.getMessage());
        }
    }

    @Test
    void reportsTheDriverFailureOfATransfer(
            @Device(serial = "PROG", type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter) throws Exception {
        adapter.attachSpiFlash(Pin.AD3, 0xEF4018, FLASH_SIZE);

        try (FlashProgrammer programmer = open()) {
            SimulatedDriver.failNext(DriverFunction.FT_WRITE, FtdiStatus.FT_IO_ERROR);

            FlashException failure = assertThrows(FlashException.class, () -> programmer.read(0, 16));
            assertEquals(FtdiStatus.FT_IO_ERROR, assertInstanceOf(FtdiException.class, failure.getCause()).status());
        }
    }

    @Test
    void refusesAChipWithoutAnMpsseEngine(@Device(serial = "PROG") SimulatedDevice serialOnly) {
        FlashException failure = assertThrows(FlashException.class, FlashProgrammerTest::open);
        assertTrue(failure.getMessage().startsWith("cannot make PROG an SPI master"), failure.getMessage());
        assertFalse(serialOnly.isOpen(), "the device is closed again");
    }
}
