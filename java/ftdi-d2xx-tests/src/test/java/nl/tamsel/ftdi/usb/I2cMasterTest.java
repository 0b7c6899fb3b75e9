package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.ByteOrder;
import java.util.Arrays;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedI2cEeprom;
import nl.tamsel.ftdi.sim.SimulatedI2cTarget;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The I2C master against simulated targets on an FT232H (open drain by drive-zero) and on a
 * 2232H channel (open drain by direction), at every bus speed.
 */
class I2cMasterTest extends SimulatedDriverTestBase {

    private static final I2cAddress TARGET = I2cAddress.of(0x48);
    private static final I2cAddress WIDE = I2cAddress.tenBit(0x2A5);
    private static final I2cAddress EEPROM = I2cAddress.of(0x50);

    static Stream<Arguments> chipsAndSpeeds() {
        return Stream.of(DeviceType.FT_DEVICE_232H, DeviceType.FT_DEVICE_2232H).flatMap(type ->
                Stream.of(I2cSpeed.values()).map(speed -> Arguments.of(type, speed)));
    }

    /** A simulated adapter with a register target, a 10-bit target and a 24C02 on its I2C pins. */
    record Bus(SimulatedDevice adapter, SimulatedI2cTarget target, SimulatedI2cTarget wide, SimulatedI2cEeprom eeprom,
            FtdiDevice device, I2cMaster i2c) implements AutoCloseable {
        static Bus open(DeviceType type, I2cSpeed speed, boolean checkEachByte) throws IOException {
            SimulatedDevice adapter = SimulatedDevice.builder().type(type).loopback(false).attach();
            SimulatedI2cTarget target = adapter.attachI2cTarget(0x48);
            SimulatedI2cTarget wide = adapter.attachI2cTarget(0x2A5, true, 16);
            SimulatedI2cEeprom eeprom = adapter.attachI2cEeprom(0x50, 256, 8);
            FtdiDevice device = FtdiDevice.openByIndex(adapter.id());
            return new Bus(adapter, target, wide, eeprom, device,
                    device.i2cMaster(new I2cConfig(speed, checkEachByte)));
        }

        @Override
        public void close() throws IOException {
            device.close();
        }
    }

    @ParameterizedTest(name = "{0} at {1}")
    @MethodSource("chipsAndSpeeds")
    void transactionsReachTheTargets(DeviceType type, I2cSpeed speed) throws IOException {
        try (Bus bus = Bus.open(type, speed, false)) {
            I2cMaster i2c = bus.i2c();
            bus.target().setRegisters(0x20, new byte[] {0x11, 0x22, 0x33, 0x44});
            // write sets the pointer and stores; read goes on from the pointer
            i2c.write(TARGET, new byte[] {0x10, 1, 2, 3});
            assertArrayEquals(new byte[] {1, 2, 3}, Arrays.copyOfRange(bus.target().registers(), 0x10, 0x13));
            bus.target().setRegisters(0x13, new byte[] {0x77, 0x66});
            assertArrayEquals(new byte[] {0x77, 0x66}, i2c.read(TARGET, 2), "a read goes on from the pointer");
            assertArrayEquals(new byte[] {0x22, 0x33, 0x44}, i2c.writeThenRead(TARGET, new byte[] {0x21}, 3));
            assertArrayEquals(new byte[] {0x33}, i2c.readRegisters(TARGET, 0x22, 1));
            i2c.writeRegister8(TARGET, 0x30, 0xA5);
            assertEquals(0xA5, i2c.readRegister8(TARGET, 0x30));
            for (ByteOrder order : new ByteOrder[] {ByteOrder.BIG_ENDIAN, ByteOrder.LITTLE_ENDIAN}) {
                i2c.writeRegister16(TARGET, 0x40, 0xBEEF, order);
                byte[] stored = Arrays.copyOfRange(bus.target().registers(), 0x40, 0x42);
                assertArrayEquals(order == ByteOrder.BIG_ENDIAN ? new byte[] {(byte) 0xBE, (byte) 0xEF}
                        : new byte[] {(byte) 0xEF, (byte) 0xBE}, stored, order.toString());
                assertEquals(0xBEEF, i2c.readRegister16(TARGET, 0x40, order), order.toString());
            }
            // 10-bit: write then a repeated start for reading
            i2c.write(WIDE, new byte[] {0x03, 0x5A, 0x6B});
            assertArrayEquals(new byte[] {0x5A, 0x6B}, i2c.writeThenRead(WIDE, new byte[] {0x03}, 2));
            // 24C02: word address then a page write; read back across the page once its write
            // cycle is over: until then it refuses its address
            i2c.write(EEPROM, new byte[] {0x08, 'a', 'b', 'c'});
            assertThrows(I2cNackException.class, () -> i2c.read(EEPROM, 1), "busy writing");
            assertArrayEquals(new byte[] {'a', 'b', 'c'}, pollUntilAcknowledged(
                    () -> i2c.writeThenRead(EEPROM, new byte[] {0x08}, 3)));
            assertArrayEquals(new int[] {0x48, 0x50}, i2c.scan());
        }
    }

    /** A transaction repeated while its address is refused, as a master polls a busy EEPROM. */
    static byte[] pollUntilAcknowledged(Transaction transaction) throws IOException {
        for (int attempt = 1; ; attempt++) {
            try {
                return transaction.run();
            } catch (I2cNackException busy) {
                // Each refused address costs nine clocks of bus time; 5 ms pass within 10000 of them.
                if (attempt == 10_000 || !busy.addressRefused()) {
                    throw busy;
                }
            }
        }
    }

    /** A transaction that may be refused. */
    interface Transaction {
        byte[] run() throws IOException;
    }

    /**
     * A refusal at each phase, in both modes: the exception names the address and the byte; in
     * per-byte mode nothing after the refused byte is clocked (SCL pulses count the bus's bytes:
     * nine each, plus one per stop), in the default mode the whole transaction is.
     */
    @ParameterizedTest(name = "{0} on {1}, check each byte {2}")
    @CsvSource({
        "address,            FT_DEVICE_232H,  false, -1, 6, 1",
        "address,            FT_DEVICE_232H,  true,  -1, 1, 1",
        "address,            FT_DEVICE_2232H, true,  -1, 1, 1",
        "data byte 0,        FT_DEVICE_232H,  false,  0, 6, 1",
        "data byte 0,        FT_DEVICE_232H,  true,   0, 2, 1",
        "data byte 3,        FT_DEVICE_232H,  false,  3, 6, 1",
        "data byte 3,        FT_DEVICE_232H,  true,   3, 5, 1",
        "data byte 3,        FT_DEVICE_2232H, false,  3, 6, 1",
        "data byte 3,        FT_DEVICE_2232H, true,   3, 5, 1",
        "data byte 4,        FT_DEVICE_2232H, true,   4, 6, 1",
    })
    void aRefusalNamesTheAddressAndByte(String phase, DeviceType type, boolean checkEachByte, int refused,
            int bytesOnBus, int stops) throws IOException {
        try (Bus bus = Bus.open(type, I2cSpeed.FAST, checkEachByte)) {
            if (refused < 0) {
                bus.target().nackAddress(true);
            } else {
                bus.target().nackAtByte(refused);
            }
            bus.adapter().recordWaveform();
            I2cNackException e = assertThrows(I2cNackException.class,
                    () -> bus.i2c().write(TARGET, new byte[] {0x10, 1, 2, 3, 4}));
            assertEquals(TARGET, e.address());
            assertEquals(refused, e.byteIndex(), phase);
            assertEquals(refused < 0, e.addressRefused());
            assertTrue(e.getMessage().contains("0x48"), e.getMessage());
            if (refused >= 0) {
                assertTrue(e.getMessage().contains("byte " + refused), e.getMessage());
            }
            assertEquals(9 * bytesOnBus + stops, risingEdges(bus.adapter().waveform().toVcd(), "SCL"), "SCL pulses");
        }
    }

    @ParameterizedTest(name = "the master's NACK of the last byte read is no error, check each byte {0}")
    @ValueSource(booleans = {false, true})
    void theLastByteReadIsNackedWithoutError(boolean checkEachByte) throws IOException {
        try (Bus bus = Bus.open(DeviceType.FT_DEVICE_2232H, I2cSpeed.STANDARD, checkEachByte)) {
            bus.target().setRegisters(0, new byte[] {9, 8, 7, 6});
            assertArrayEquals(new byte[] {9, 8, 7}, bus.i2c().readRegisters(TARGET, 0, 3));
            assertArrayEquals(new byte[] {6}, bus.i2c().read(TARGET, 1), "the next read goes on after the NACKed byte");
        }
    }

    @ParameterizedTest(name = "SDA held low on {0} is a clear failure, check each byte {1}")
    @CsvSource({"FT_DEVICE_232H, false", "FT_DEVICE_232H, true", "FT_DEVICE_2232H, false", "FT_DEVICE_2232H, true"})
    void aHeldBusIsAnError(DeviceType type, boolean checkEachByte) throws IOException {
        try (Bus bus = Bus.open(type, I2cSpeed.FAST, checkEachByte)) {
            bus.eeprom().holdSdaLow(true);
            IOException e = assertThrows(IOException.class, () -> bus.i2c().readRegisters(TARGET, 0, 2));
            assertTrue(e.getMessage().contains("SDA"), e.getMessage());
            assertThrows(IOException.class, () -> bus.i2c().write(TARGET, new byte[] {1}));
            assertThrows(IOException.class, bus.i2c()::scan);
            bus.eeprom().holdSdaLow(false);
            assertArrayEquals(new int[] {0x48, 0x50}, bus.i2c().scan(), "the bus works again once SDA is let go");
        }
    }

    /** Counts a signal's rising edges in a VCD recording. */
    static int risingEdges(String vcd, String signal) {
        String id = null;
        int edges = 0;
        boolean started = false;
        for (String line : vcd.split("\n")) {
            String[] words = line.trim().split(" ");
            if (words.length == 6 && words[0].equals("$var") && words[4].equals(signal)) {
                id = words[3];
            } else if (line.equals("$end")) {
                started = true;
            } else if (started && id != null && line.equals("1" + id)) {
                edges++;
            }
        }
        return edges;
    }
}
