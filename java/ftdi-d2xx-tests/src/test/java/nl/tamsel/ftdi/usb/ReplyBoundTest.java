package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.util.Arrays;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * Transfers larger than the device's reply bound: pipelined in segments of half the bound, with
 * every byte where it belongs; within the bound, one driver write and one read. The simulated
 * driver's receive buffer is as large as the bound, so a pipeline that left more replies unread
 * would stop the chip and run into the write timeout.
 */
class ReplyBoundTest extends SimulatedDriverTestBase {

    private static final byte READ = 0x03;
    private static final int FLASH_SIZE = 1 << 20;

    /**
     * An SPI flash read of {@code count} bytes in one call, in mode 0 (one reply byte per byte)
     * or mode 3 (eight, by pin commands); writes and reads as the pipeline must make them.
     */
    @ParameterizedTest(name = "bound {0}, mode {1}, {2} bytes: {3} writes, {4} reads")
    @CsvSource({
        "65536, 0, 65536, 1, 1",
        "65536, 0, 65537, 3, 2",
        "4096, 0, 100000, 49, 48",
        "256, 0, 1000, 8, 7",
        "256, 3, 16, 1, 1",
        "256, 3, 100, 7, 6",
        "4096, 3, 2000, 8, 7",
    })
    void aLongSpiReadIsPipelinedWithinTheBound(int bound, int mode, int count, int writes, int reads)
            throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        byte[] contents = pattern(FLASH_SIZE, 11);
        adapter.attachSpiFlash(Pin.AD3, 0xEF4014, FLASH_SIZE).setContents(0, contents);
        try (FtdiDevice device = openBounded(adapter, bound);
             SpiMaster spi = device.spiMaster(SpiConfig.builder().mode(mode).clockHz(30_000_000).build())) {
            int address = 0x1234;
            int writesBefore = calls("FT_Write");
            int readsBefore = calls("FT_Read");
            byte[] data = spi.writeThenRead(new byte[] {READ, 0, 0x12, 0x34}, count);
            assertEquals(writes, calls("FT_Write") - writesBefore, "driver writes");
            assertEquals(reads, calls("FT_Read") - readsBefore, "driver reads");
            assertArrayEquals(expected(contents, address, count), data);
            // The master is in step afterwards: a short read is one round trip again.
            assertArrayEquals(new byte[] {(byte) 0xEF, 0x40, 0x14}, spi.writeThenRead(new byte[] {(byte) 0x9F}, 3));
        }
    }

    /** Full duplex and the transaction's reads go through the same pipeline. */
    @ParameterizedTest(name = "bound {0}")
    @CsvSource({"256", "65536"})
    void duplexTransfersAndTransactionReadsArePipelinedToo(int bound) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        byte[] contents = pattern(FLASH_SIZE, 5);
        adapter.attachSpiFlash(Pin.AD3, 0xEF4014, FLASH_SIZE).setContents(0, contents);
        try (FtdiDevice device = openBounded(adapter, bound);
             SpiMaster spi = device.spiMaster(SpiConfig.builder().mode(0).clockHz(10_000_000).build())) {
            byte[] command = new byte[70_000];
            command[0] = READ;
            byte[] in = spi.transfer(command);
            assertArrayEquals(expected(contents, 0, in.length - 4), Arrays.copyOfRange(in, 4, in.length));
            try (SpiMaster.Transaction t = spi.transaction()) {
                t.write(new byte[] {READ, 1, 0, 0});
                assertArrayEquals(expected(contents, 0x10000, 70_000), t.read(70_000));
                assertArrayEquals(expected(contents, 0x10000 + 70_000, 9), t.read(9));
            }
        }
    }

    /** An I2C read is one reply byte per byte plus one per acknowledgement; its segments cut inside it. */
    @ParameterizedTest(name = "bound {0}, {1} bytes")
    @CsvSource({"256, 3000", "4096, 20000", "65536, 20000"})
    void aLongI2cReadIsPipelinedWithinTheBound(int bound, int count) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        byte[] contents = pattern(32_768, 3);
        adapter.attachI2cEeprom(0x50, 32_768, 64).setContents(0, contents);
        try (FtdiDevice device = openBounded(adapter, bound);
             I2cMaster i2c = device.i2cMaster(I2cConfig.of(I2cSpeed.FAST))) {
            int writesBefore = calls("FT_Write");
            byte[] data = i2c.writeThenRead(I2cAddress.of(0x50), new byte[] {0x01, 0x00}, count);
            assertArrayEquals(expected(contents, 0x100, count), data);
            // Free-bus check, four acknowledgements (address, two bytes, address for reading),
            // the bytes: one reply byte each.
            int replies = 1 + 4 + count;
            int segments = replies <= bound ? 1 : (replies + bound / 2 - 1) / (bound / 2);
            assertEquals(segments, calls("FT_Write") - writesBefore, "one driver write per segment");
        }
    }

    /** A synchronous bit-bang pattern brings one sample per byte: cut evenly, pipelined the same way. */
    @ParameterizedTest(name = "bound {0}, {1} bytes: {2} writes")
    @CsvSource({"4096, 4096, 1", "4096, 20000, 10", "256, 1000, 8"})
    void aLongBitBangTransferIsPipelinedWithinTheBound(int bound, int count, int writes) throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        try (FtdiDevice device = openBounded(adapter, bound);
             BitBangPort port = device.syncBitBang(0xFF)) {
            port.transfer(new byte[] {0x5A});
            byte[] pattern = pattern(count, 3);
            int writesBefore = calls("FT_Write");
            byte[] samples = port.transfer(pattern);
            assertEquals(writes, calls("FT_Write") - writesBefore, "driver writes");
            // Each sample shows the byte driven before it.
            assertEquals(0x5A, samples[0]);
            assertArrayEquals(Arrays.copyOf(pattern, count - 1), Arrays.copyOfRange(samples, 1, count));
        }
    }

    /**
     * A bound above what the driver buffers lets the chip stop once its command buffer is full
     * too (a duplex transfer's commands are as long as its reply): the write runs into its
     * timeout, and the error says why, not that the device was unplugged.
     */
    @Test
    void aBoundAboveTheDriversBufferStallsTheWrite() throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        adapter.attachSpiFlash(Pin.AD3, 0xEF4014, FLASH_SIZE);
        adapter.setReceiveBufferSize(4096);
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id())) {
            assertThrows(IllegalArgumentException.class, () -> device.setReplyBound(255));
            assertEquals(65_536, device.replyBound());
            try (SpiMaster spi = device.spiMaster(SpiConfig.builder().build())) {
                FtdiException e = assertThrows(FtdiException.class, () -> spi.transfer(new byte[3 * 65_536]));
                assertTrue(e.getMessage().contains("within the write timeout")
                        && e.getMessage().contains("replies not yet read"), e.getMessage());
                assertFalse(e.getMessage().contains("unplugged"), e.getMessage());
            }
        }
    }

    /** Opens the adapter with its driver's receive buffer as large as the device's reply bound. */
    private static FtdiDevice openBounded(SimulatedDevice adapter, int bound) throws IOException {
        adapter.setReceiveBufferSize(bound);
        FtdiDevice device = FtdiDevice.openByIndex(adapter.id());
        device.setReplyBound(bound);
        return device;
    }

    private static byte[] expected(byte[] contents, int from, int count) {
        byte[] bytes = new byte[count];
        for (int i = 0; i < count; i++) {
            bytes[i] = contents[(from + i) % contents.length];
        }
        return bytes;
    }
}
