package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.time.Duration;
import java.util.Arrays;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedI2cEeprom;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Where the simulated chip is as finite as hardware, seen from Java: its buffers, which stop a
 * write when replies are not read, an EEPROM's write cycle, and the first level change of a
 * waveform.
 */
class ChipFidelityTest extends SimulatedDriverTestBase {

    private static final byte READ_PINS = (byte) 0x81;

    @ParameterizedTest(name = "{0}: {1} / {2}")
    @CsvSource({"FT_DEVICE_2232C, 128, 384", "FT_DEVICE_232H, 1024, 1024", "FT_DEVICE_2232H, 4096, 4096",
        "FT_DEVICE_4232H, 2048, 2048", "FT_DEVICE_232R, 0, 0"})
    void buffersHaveTheChipKindsSizes(DeviceType type, int commands, int replies) {
        SimulatedDevice adapter = SimulatedDevice.builder().type(type).attach();
        assertEquals(commands, adapter.commandBufferSize());
        assertEquals(replies, adapter.replyBufferSize());
        assertEquals(SimulatedDevice.DEFAULT_RECEIVE_BUFFER_SIZE, adapter.receiveBufferSize());
    }

    @ParameterizedTest
    @ValueSource(ints = {0, -1, SimulatedDevice.MAX_RECEIVE_BUFFER_SIZE + 1, Integer.MIN_VALUE})
    void aReceiveBufferOutOfRangeIsRefused(int bytes) {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).attach();
        IllegalArgumentException refused = assertThrows(IllegalArgumentException.class,
                () -> adapter.setReceiveBufferSize(bytes));
        assertTrue(refused.getMessage().contains(String.valueOf(bytes)), refused.getMessage());
        assertEquals(SimulatedDevice.DEFAULT_RECEIVE_BUFFER_SIZE, adapter.receiveBufferSize());
    }

    /**
     * Raw code that writes commands for more replies than the buffers hold, before reading any:
     * the write takes what fits (receive buffer, reply buffer, command buffer) and reports that
     * count at its timeout; reading the replies lets the rest go.
     */
    @ParameterizedTest(name = "receive buffer {0}")
    @ValueSource(ints = {1, 4096, 65536})
    void aRawWriteTakesWhatTheBuffersHoldUntilRepliesAreRead(int receiveBuffer) {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        adapter.setReceiveBufferSize(receiveBuffer);
        long handle = open(adapter.id());
        assertEquals(0, D2XX.setTimeouts(handle, 0, 10));
        assertEquals(0, D2XXModes.setBitMode(handle, 0, 2));
        int fits = receiveBuffer + adapter.replyBufferSize() + adapter.commandBufferSize();
        byte[] commands = new byte[fits + 100];
        Arrays.fill(commands, READ_PINS);
        assertEquals(fits, D2XX.write(handle, commands, 0, commands.length));
        byte[] replies = new byte[commands.length];
        assertEquals(fits, D2XX.read(handle, replies, 0, fits));
        assertEquals(100, D2XX.write(handle, commands, fits, 100));
        assertEquals(100, D2XX.read(handle, replies, fits, 100));
        byte[] levels = new byte[commands.length];
        Arrays.fill(levels, (byte) 0xFF);
        assertArrayEquals(levels, replies);
        D2XX.close(handle);
    }

    /** The pin functions' exchange, run into full buffers: the error says why, and no unplug. */
    @Test
    void anExchangeThatFillsTheBuffersSaysRepliesWaitUnread() throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        adapter.setReceiveBufferSize(64);
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id())) {
            device.setWriteTimeout(Duration.ofMillis(10));
            DevicePort port = new DevicePort(device);
            port.setBitMode(0, 2, "Entering MPSSE");
            byte[] commands = new byte[5000];
            Arrays.fill(commands, READ_PINS);
            FtdiException failure = assertThrows(FtdiException.class,
                    () -> port.exchange(commands, commands.length, new byte[commands.length], commands.length, "Reading"));
            assertTrue(failure.getMessage().contains("replies not yet read"), failure.getMessage());
            assertFalse(failure.getMessage().contains("unplugged"), failure.getMessage());
        }
    }

    /**
     * After a write the EEPROM refuses its address for its write cycle in bus time: 5 ms unless
     * set. Polling it counts the refused attempts, each some nine clocks long: the longer the
     * cycle, the more of them.
     */
    @Test
    void anEepromIsBusyForItsWriteCycle() throws IOException {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        SimulatedI2cEeprom eeprom = adapter.attachI2cEeprom(0x50, 256, 8);
        I2cAddress address = I2cAddress.of(0x50);
        assertThrows(IllegalArgumentException.class, () -> eeprom.setWriteCycle(Duration.ofNanos(-1)));
        assertThrows(IllegalArgumentException.class, () -> eeprom.setWriteCycle(Duration.ofDays(365L * 300)));
        try (FtdiDevice device = FtdiDevice.openByIndex(adapter.id())) {
            I2cMaster i2c = device.i2cMaster(new I2cConfig(I2cSpeed.STANDARD, false));
            int defaultCycle = refusalsAfterAWrite(i2c, address, 0);
            eeprom.setWriteCycle(Duration.ofMillis(1));
            int shortCycle = refusalsAfterAWrite(i2c, address, 1);
            eeprom.setWriteCycle(SimulatedI2cEeprom.DEFAULT_WRITE_CYCLE);
            assertEquals(defaultCycle, refusalsAfterAWrite(i2c, address, 2));
            eeprom.setWriteCycle(Duration.ZERO);
            assertEquals(0, refusalsAfterAWrite(i2c, address, 3));
            assertTrue(shortCycle > 0 && defaultCycle > 3 * shortCycle, defaultCycle + " vs " + shortCycle);
        }
        assertArrayEquals(new byte[] {0, 1, 2, 3}, Arrays.copyOf(eeprom.contents(), 4));
    }

    /** Writes one byte at `at` and counts the reads refused before the EEPROM answers again. */
    private static int refusalsAfterAWrite(I2cMaster i2c, I2cAddress address, int at) throws IOException {
        i2c.write(address, new byte[] {(byte) at, (byte) at});
        for (int refused = 0; refused < 100_000; refused++) {
            try {
                i2c.read(address, 1);
                return refused;
            } catch (I2cNackException busy) {
                assertTrue(busy.addressRefused(), busy.getMessage());
            }
        }
        throw new AssertionError("the EEPROM never answered again");
    }

    /** Chip select's fall by the first command after recording began is in the waveform. */
    @Test
    void theWaveformKeepsTheFirstChange() {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        adapter.attachSpiFlash();
        long handle = open(adapter.id());
        assertEquals(0, D2XXModes.setBitMode(handle, 0, 2));
        byte[] csHigh = {(byte) 0x80, 0x08, 0x0B};
        assertEquals(3, D2XX.write(handle, csHigh, 0, 3));
        adapter.recordWaveform();
        byte[] csLow = {(byte) 0x80, 0x00, 0x0B};
        assertEquals(3, D2XX.write(handle, csLow, 0, 3));
        String vcd = adapter.waveform().toVcd();
        String cs = vcd.lines().filter(line -> line.endsWith(" CS $end")).findFirst().orElseThrow(
                () -> new AssertionError("no CS in\n" + vcd)).split(" ")[3];
        String start = vcd.substring(vcd.indexOf("$dumpvars"));
        assertTrue(start.indexOf("1" + cs + "\n") < start.indexOf("0" + cs + "\n")
                && start.indexOf("1" + cs + "\n") >= 0, vcd);
        D2XX.close(handle);
    }
}
