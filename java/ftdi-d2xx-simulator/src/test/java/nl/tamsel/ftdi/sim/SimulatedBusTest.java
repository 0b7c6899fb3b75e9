package nl.tamsel.ftdi.sim;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.Arrays;
import java.util.function.Function;
import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.usb.DeviceType;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** Peripherals, wires, drives and the waveform of a simulated device's pins, from Java. */
@SimulatedFtdi
class SimulatedBusTest {

    private static SimulatedDevice ft232h() {
        return SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
    }

    @ParameterizedTest(name = "{0}: {1} bytes, set at {2}")
    @CsvSource({"target, 256, 249", "eeprom, 8192, 8000", "flash, 1048576, 4095"})
    void contentsRoundTripAndStartErasedOrZero(String kind, int size, int offset) {
        SimulatedDevice device = ft232h();
        byte[] written = {1, 2, 3, 4, 5, 6};
        byte[] read;
        int fill;
        switch (kind) {
            case "target": {
                SimulatedI2cTarget target = device.attachI2cTarget(0x48);
                target.setRegisters(offset, written);
                read = target.registers();
                fill = 0;
                break;
            }
            case "eeprom": {
                SimulatedI2cEeprom eeprom = device.attachI2cEeprom(0x50, size, 32);
                eeprom.setContents(offset, written);
                read = eeprom.contents();
                fill = 0xFF;
                break;
            }
            default: {
                SimulatedSpiFlash flash = device.attachSpiFlash();
                assertEquals(0xEF4014, flash.jedecId());
                flash.setContents(offset, written);
                read = flash.contents();
                fill = 0xFF;
                break;
            }
        }
        assertEquals(size, read.length);
        assertArrayEquals(written, Arrays.copyOfRange(read, offset, offset + written.length));
        assertEquals((byte) fill, read[offset - 1]);
        assertEquals((byte) fill, read[offset + written.length]);
    }

    @Test
    void contentsBeyondTheEndAreRefused() {
        SimulatedDevice device = ft232h();
        SimulatedI2cTarget target = device.attachI2cTarget(0x48, false, 4);
        assertThrows(IllegalArgumentException.class, () -> target.setRegisters(2, new byte[3]));
        SimulatedI2cEeprom eeprom = device.attachI2cEeprom(0x50, 256, 8);
        assertThrows(IllegalArgumentException.class, () -> eeprom.setContents(256, new byte[1]));
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource({"7-bit address above 0x7F, 128, false, 1", "10-bit address above 0x3FF, 1024, true, 1",
            "no registers, 0x48, false, 0", "too many registers, 0x48, false, 65537"})
    void impossibleI2cTargetsAreRefused(String name, int address, boolean tenBit, int registers) {
        SimulatedDevice device = ft232h();
        assertThrows(IllegalArgumentException.class, () -> device.attachI2cTarget(address, tenBit, registers));
    }

    @Test
    void impossibleFlashesAreRefused() {
        SimulatedDevice device = ft232h();
        assertThrows(IllegalArgumentException.class, () -> device.attachSpiFlash(Pin.AD2, 0xEF4014, 4096));
        assertThrows(IllegalArgumentException.class, () -> device.attachSpiFlash(Pin.AD3, 0x1000000, 4096));
        assertThrows(IllegalArgumentException.class, () -> device.attachSpiFlash(Pin.AD3, 0xEF4014, 5000));
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource({"I2C, SCL SDA SDA_IN", "SPI, SCK MOSI MISO CS"})
    void peripheralsNameTheirPinsInTheWaveform(String bus, String names, @TempDir Path directory)
            throws IOException {
        SimulatedDevice device = ft232h();
        if (bus.equals("I2C")) {
            device.attachI2cTarget(0x48);
        } else {
            device.attachSpiFlash(Pin.AD4, 0xC22017, 8 << 20);
        }
        device.connect(Pin.AC0, Pin.AC1);
        device.drive(Pin.AC1, false);
        device.release(Pin.AC1);
        device.recordWaveform();
        String vcd = device.waveform().toVcd();
        for (String name : names.split(" ")) {
            assertTrue(vcd.contains(" " + name + " $end"), name + " missing from\n" + vcd);
        }
        Path file = directory.resolve("bus.vcd");
        device.waveform().writeVcd(file);
        assertEquals(vcd, Files.readString(file));
        assertTrue(device.busTime().compareTo(Duration.ZERO) >= 0);
    }

    @Test
    void peripheralsOfAResetDriverAreGone() {
        SimulatedDevice device = ft232h();
        SimulatedI2cTarget target = device.attachI2cTarget(0x48);
        SimulatedDriver.reset();
        Function<SimulatedI2cTarget, byte[]> registers = SimulatedI2cTarget::registers;
        assertThrows(IllegalStateException.class, () -> registers.apply(target));
    }
}
