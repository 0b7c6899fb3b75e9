package nl.tamsel.ftdi.sim;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.function.Consumer;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.usb.DeviceType;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.MethodSource;

/** Peripherals, wires, drives and the waveform of a simulated device's pins, from Java. */
@SimulatedFtdi
class SimulatedBusTest {

    private static SimulatedDevice ft232h() {
        return SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
    }

    @ParameterizedTest(name = "{0}: {1} bytes, set at {2}")
    @CsvSource({"target, 256, 249, 0", "eeprom, 8192, 8000, 0xFF", "flash, 1048576, 4095, 0xFF"})
    void contentsRoundTripAndStartErasedOrZero(String kind, int size, int offset, int fill) {
        SimulatedDevice device = ft232h();
        byte[] written = {1, 2, 3, 4, 5, 6};
        byte[] read = switch (kind) {
            case "target" -> {
                SimulatedI2cTarget target = device.attachI2cTarget(0x48);
                target.setRegisters(offset, written);
                yield target.registers();
            }
            case "eeprom" -> {
                SimulatedI2cEeprom eeprom = device.attachI2cEeprom(0x50, size, 32);
                eeprom.setContents(offset, written);
                yield eeprom.contents();
            }
            default -> {
                SimulatedSpiFlash flash = device.attachSpiFlash();
                assertEquals(0xEF4014, flash.jedecId());
                flash.setContents(offset, written);
                yield flash.contents();
            }
        };
        assertEquals(size, read.length);
        assertArrayEquals(written, Arrays.copyOfRange(read, offset, offset + written.length));
        assertEquals((byte) fill, read[offset - 1]);
        assertEquals((byte) fill, read[offset + written.length]);
    }

    static Stream<Named<Consumer<SimulatedDevice>>> impossibleRequests() {
        return Stream.of(
                Named.of("target contents past the end", d -> d.attachI2cTarget(0x48, false, 4).setRegisters(2, new byte[3])),
                Named.of("EEPROM contents past the end", d -> d.attachI2cEeprom(0x50, 256, 8).setContents(256, new byte[1])),
                Named.of("7-bit address above 0x7F", d -> d.attachI2cTarget(128, false, 1)),
                Named.of("10-bit address above 0x3FF", d -> d.attachI2cTarget(1024, true, 1)),
                Named.of("no registers", d -> d.attachI2cTarget(0x48, false, 0)),
                Named.of("too many registers", d -> d.attachI2cTarget(0x48, false, 65537)),
                Named.of("flash select on AD2, the data in", d -> d.attachSpiFlash(Pin.AD2, 0xEF4014, 4096)),
                Named.of("JEDEC id above 24 bits", d -> d.attachSpiFlash(Pin.AD3, 0x1000000, 4096)),
                Named.of("flash of 5000 bytes", d -> d.attachSpiFlash(Pin.AD3, 0xEF4014, 5000)));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("impossibleRequests")
    void impossiblePeripheralsAndContentsAreRefused(Consumer<SimulatedDevice> request) {
        SimulatedDevice device = ft232h();
        assertThrows(IllegalArgumentException.class, () -> request.accept(device));
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
    }

    @Test
    void peripheralsOfAResetDriverAreGone() {
        SimulatedI2cTarget target = ft232h().attachI2cTarget(0x48);
        SimulatedDriver.reset();
        assertThrows(IllegalStateException.class, target::registers);
    }
}
