package nl.tamsel.ftdi.sim;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.usb.DeviceType;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The simulated chip beyond the serial line through SimulatedDevice: EEPROM, pins, bit mode. */
@SimulatedFtdi
class SimulatedChipTest {

    @ParameterizedTest
    @CsvSource({"FT_DEVICE_232R, 64, 0x6001", "FT_DEVICE_2232H, 128, 0x6010", "FT_DEVICE_232H, 128, 0x6014",
        "FT_DEVICE_X_SERIES, 1024, 0x6015"})
    void theEepromHasTheChipsSizeAndNamesTheVendorAndProduct(DeviceType type, int words, int productId) {
        int[] eeprom = SimulatedDevice.builder().type(type).serialNumber("E1").attach().eepromWords();
        assertEquals(words, eeprom.length);
        assertEquals(0x0403, eeprom[1]);
        assertEquals(productId, eeprom[2]);
        // The first string descriptor follows the configuration: "FTDI", 2 + 2 * 4 bytes long.
        assertEquals(0x030A, eeprom[10]);
        assertEquals('F', eeprom[11]);
    }

    @Test
    void aWordSetIsReadBackAndOffsetsPastTheEndOrWideValuesAreRefused() {
        SimulatedDevice device = SimulatedDevice.builder().attach();
        device.setEepromWord(63, 0xBEEF);
        assertThrows(IllegalArgumentException.class, () -> device.setEepromWord(64, 0));
        assertThrows(IllegalArgumentException.class, () -> device.setEepromWord(-1, 0));
        assertThrows(IllegalArgumentException.class, () -> device.setEepromWord(0, 0x10000));
        assertEquals(0xBEEF, device.eepromWords()[63]);
    }

    @Test
    void aNewDeviceIsInTheUartModeAndPinsDrivenFromOutsideShowUntilReleased() {
        SimulatedDevice device = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
        assertEquals(0, device.bitMode());
        assertEquals(0, device.bitModeMask());
        assertEquals(0xFFFF, device.pinLevels());
        device.drivePins(0x0101, 0x0100);
        assumeTrue(device.pinLevels() != 0xFFFF, "the pin bus is still a placeholder");
        assertEquals(0xFFFE, device.pinLevels());
        device.drivePins(0, 0);
        assertEquals(0xFFFF, device.pinLevels());
        assertThrows(IllegalArgumentException.class, () -> device.drivePins(0x10000, 0));
    }

    @Test
    void aDeviceRemovedByAResetCannotBeScripted() {
        SimulatedDevice device = SimulatedDevice.builder().attach();
        SimulatedDriver.reset();
        assertThrows(IllegalStateException.class, device::eepromWords);
        assertThrows(IllegalStateException.class, () -> device.drivePins(1, 0));
    }
}
