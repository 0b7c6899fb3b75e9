package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.EnumSet;
import java.util.Set;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** The typed API's values, checked without a driver. */
class TypedApiValuesTest {

    @ParameterizedTest(name = "{1} Hz from {0} Hz -> divisor {2}, {3} Hz")
    @CsvSource({
        "60000000, 30000000, 0, 30000000",
        "60000000, 29999999, 1, 15000000",
        "60000000, 10000000, 2, 10000000",
        "60000000, 1000000, 29, 1000000",
        "60000000, 999999, 30, 967741",
        "12000000, 6000000, 0, 6000000",
        "12000000, 1000000, 5, 1000000",
        "60000000, 458, 65502, 457",
        "12000000, 92, 65217, 91",
        "60000000, 40000000, 0, 30000000",
        "60000000, 30000001, 0, 30000000",
        "12000000, 6000001, 0, 6000000",
        "12000000, 2147483647, 0, 6000000",
    })
    void spiClockIsTheHighestNotAboveTheWish(int base, int wish, int divisor, int actual) {
        int d = SpiMaster.divisor(base, wish);
        assertEquals(divisor, d);
        assertEquals(actual, base / ((1 + d) * 2));
        assertTrue(actual <= wish);
    }

    @ParameterizedTest
    @CsvSource({"60000000, 457, 458", "60000000, 1, 458", "12000000, 91, 92", "12000000, 0, 92"})
    void spiClocksBelowTheSlowestAreRefusedWithTheRange(int base, int wish, int slowest) {
        IllegalArgumentException e = assertThrows(IllegalArgumentException.class, () -> SpiMaster.divisor(base, wish));
        assertTrue(e.getMessage().contains(slowest + " to " + base / 2 + " Hz"), e.getMessage());
    }

    @ParameterizedTest
    @CsvSource({"-1, 1000000, 3", "4, 1000000, 3", "0, 0, 3", "0, 1000000, 2", "0, 1000000, 16"})
    void spiConfigRefusesValuesOutOfRange(int mode, int clock, int chipSelect) {
        assertThrows(IllegalArgumentException.class,
                () -> SpiConfig.builder().mode(mode).clockHz(clock).chipSelect(chipSelect, false).build());
    }

    @ParameterizedTest
    @CsvSource({"0x80, false", "-1, false", "0x400, true", "-1, true"})
    void i2cAddressesOutOfRangeAreRefused(String value, boolean tenBit) {
        int v = Integer.decode(value);
        IllegalArgumentException e = assertThrows(IllegalArgumentException.class, () -> new I2cAddress(v, tenBit));
        assertTrue(e.getMessage().contains(tenBit ? "10-bit" : "7-bit"), e.getMessage());
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 1, 2, 3, 4, 5, 6, 7})
    void eventBitsRoundTrip(int bits) {
        Set<DeviceEvent> events = DeviceEvent.of(bits);
        assertEquals(bits, DeviceEvent.bits(events));
        assertEquals(Integer.bitCount(bits), events.size());
    }

    @ParameterizedTest
    @CsvSource({"FT1ZK4, FT1ZK4", "'', ''", "AB\u0001CD, AB"})
    void driverTextEndsAtTheFirstControlByte(String field, String expected) {
        byte[] bytes = new byte[16];
        byte[] text = field.getBytes(StandardCharsets.ISO_8859_1);
        System.arraycopy(text, 0, bytes, 0, text.length);
        assertEquals(expected, DeviceDetails.text(bytes));
    }

    @ParameterizedTest
    @CsvSource({"STANDARD, 199, 59", "FAST, 49, 14", "FAST_PLUS, 19, 5"})
    void i2cDivisorsGiveTheSpeed(I2cSpeed speed, int hiSpeed, int fullSpeed) {
        assertEquals(hiSpeed, speed.hiSpeedDivisor);
        assertEquals(fullSpeed, speed.fullSpeedDivisor);
        // Three-phase at 60 MHz: SCL = 20 MHz / (1 + d); FT2232D: 6 MHz / (1 + d).
        assertEquals(speed.hz(), 20_000_000 / (1 + hiSpeed));
        assertEquals(speed.hz(), 6_000_000 / (1 + fullSpeed));
    }

    @ParameterizedTest
    @CsvSource({"0x50, false, '0x50'", "0x2A5, true, '0x2A5 (10-bit)'"})
    void i2cNackNamesAddressAndByte(String value, boolean tenBit, String shown) {
        I2cAddress address = new I2cAddress(Integer.decode(value), tenBit);
        I2cNackException onAddress = new I2cNackException(address, -1, false);
        I2cNackException onByte = new I2cNackException(address, 3, false);
        assertTrue(onAddress.addressRefused());
        assertTrue(onAddress.getMessage().contains(shown), onAddress.getMessage());
        assertEquals(3, onByte.byteIndex());
        assertTrue(onByte.getMessage().contains("byte 3"), onByte.getMessage());
        assertEquals(EnumSet.allOf(DeviceEvent.class), DeviceEvent.of(DeviceEvent.ALL_BITS));
    }
}
