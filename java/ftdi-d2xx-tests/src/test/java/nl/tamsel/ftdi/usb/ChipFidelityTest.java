package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import nl.tamsel.ftdi.sim.SimulatedDevice;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * Where the simulated chip is as finite as hardware, seen from Java: its buffers' sizes (what a
 * write takes when they fill is checked natively) and the first level change of a waveform.
 */
class ChipFidelityTest extends SimulatedDriverTestBase {

    @ParameterizedTest(name = "{0}: {1} / {2}")
    @CsvSource({"FT_DEVICE_2232C, 128, 384", "FT_DEVICE_232H, 1024, 1024", "FT_DEVICE_2232H, 4096, 4096",
        "FT_DEVICE_4232H, 2048, 2048", "FT_DEVICE_232R, 0, 0"})
    void buffersHaveTheChipKindsSizesAndRefuseAReceiveBufferOutOfRange(DeviceType type, int commands, int replies) {
        SimulatedDevice adapter = SimulatedDevice.builder().type(type).attach();
        assertEquals(commands, adapter.commandBufferSize());
        assertEquals(replies, adapter.replyBufferSize());
        assertEquals(SimulatedDevice.DEFAULT_RECEIVE_BUFFER_SIZE, adapter.receiveBufferSize());
        for (int bytes : new int[] {0, -1, SimulatedDevice.MAX_RECEIVE_BUFFER_SIZE + 1, Integer.MIN_VALUE}) {
            IllegalArgumentException refused = assertThrows(IllegalArgumentException.class,
                    () -> adapter.setReceiveBufferSize(bytes));
            assertTrue(refused.getMessage().contains(String.valueOf(bytes)), refused.getMessage());
        }
        assertEquals(SimulatedDevice.DEFAULT_RECEIVE_BUFFER_SIZE, adapter.receiveBufferSize());
        adapter.setReceiveBufferSize(SimulatedDevice.MAX_RECEIVE_BUFFER_SIZE);
        assertEquals(SimulatedDevice.MAX_RECEIVE_BUFFER_SIZE, adapter.receiveBufferSize());
    }

    /** Chip select's fall by the first command after recording began is in the waveform. */
    @Test
    void theWaveformKeepsTheFirstChange() {
        SimulatedDevice adapter = SimulatedDevice.builder().type(DeviceType.FT_DEVICE_232H).loopback(false).attach();
        adapter.attachSpiFlash();
        long handle = open(adapter.id());
        assertEquals(0, D2XXModes.setBitMode(handle, 0, 2));
        assertEquals(3, D2XX.write(handle, new byte[] {(byte) 0x80, 0x08, 0x0B}, 0, 3));
        adapter.recordWaveform();
        assertEquals(3, D2XX.write(handle, new byte[] {(byte) 0x80, 0x00, 0x0B}, 0, 3));
        String vcd = adapter.waveform().toVcd();
        String cs = vcd.lines().filter(line -> line.endsWith(" CS $end")).findFirst().orElseThrow(
                () -> new AssertionError("no CS in\n" + vcd)).split(" ")[3];
        String start = vcd.substring(vcd.indexOf("$dumpvars"));
        int high = start.indexOf("1" + cs + "\n");
        assertTrue(high >= 0 && high < start.indexOf("0" + cs + "\n"), vcd);
        D2XX.close(handle);
    }
}
