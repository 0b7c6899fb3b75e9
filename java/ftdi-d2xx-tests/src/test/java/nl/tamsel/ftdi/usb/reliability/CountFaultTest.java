package nl.tamsel.ftdi.usb.reliability;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Random;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;
import nl.tamsel.ftdi.usb.DeviceInfo;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * Counts the driver reports that differ from what was asked: short reads and writes, and a
 * device list whose second count differs from its first.
 */
class CountFaultTest {

    private static final int ATTACHED = 4;

    @BeforeEach
    void resetDriver() {
        SimulatedDriver.reset();
    }

    /**
     * Short counts are the caller's to act on: resending the unsent rest of a write and reading
     * on after a short read must give back the whole stream, in order.
     */
    @Test
    void shortReadsAndWritesLoseNoByteWhenTheCallerHonoursTheCount() {
        LoopbackDevices.attach("SHORT1", 0x500);
        long handle = LoopbackDevices.open("SHORT1");
        CheckedStream stream = new CheckedStream(3);
        Random random = new Random(3);
        byte[] out = new byte[1024];
        byte[] in = new byte[1024];
        long total = 256 * 1024;
        long sent = 0;
        long received = 0;
        int shortWrites = 0;
        int shortReads = 0;
        while (received < total) {
            if (sent < total) {
                int length = CheckedStream.chunk(random, total - sent);
                int reported = random.nextInt(length + 1);
                boolean cut = random.nextBoolean();
                if (cut) {
                    SimulatedDriver.reportNextCount("FT_Write", reported);
                }
                stream.fill(out, 5, length, sent);
                int written = D2XX.write(handle, out, 5, length);
                assertEquals(cut ? reported : length, written);
                shortWrites += written < length ? 1 : 0;
                sent += written;
            }
            int queued = D2XX.getQueueStatus(handle);
            int length = CheckedStream.chunk(random, Math.max(1, queued));
            boolean cut = queued > 0 && random.nextBoolean();
            int reported = cut ? random.nextInt(length + 1) : length;
            if (cut) {
                SimulatedDriver.reportNextCount("FT_Read", reported);
            }
            int read = D2XX.read(handle, in, 9, length);
            assertEquals(Math.min(reported, queued), read);
            shortReads += read < length ? 1 : 0;
            stream.check(in, 9, read, received);
            received += read;
        }
        assertEquals(total, received);
        assertTrue(shortWrites > 100 && shortReads > 100, "short counts exercised");
        assertEquals(0, D2XX.close(handle));
    }

    /**
     * The first count sizes the array and the node buffer; the second says how many records
     * the driver wrote. Records beyond those of the attached devices are the zero-filled node
     * buffer (a driver that reports more than it wrote), and entries past the second count stay
     * null; nothing is read beyond the buffer.
     */
    @ParameterizedTest(name = "first count {0}, second count {1}")
    @CsvSource({
        "0, 5", "2, 4", "4, 2", "4, 0", "4, 1000", "4, -1", "6, 6", "6, 2", "6, -1", "300, 300"})
    void listCountsThatChangeBetweenTheTwoCalls(int first, int second) {
        for (int d = 0; d < ATTACHED; d++) {
            LoopbackDevices.attach("LIST" + d, 0x600 + d);
        }
        SimulatedDriver.reportNextCount("FT_CreateDeviceInfoList", first);
        SimulatedDriver.reportNextCount("FT_GetDeviceInfoList", second);

        DeviceInfo[] list = D2XX.createDeviceInfoList();

        assertNotNull(list);
        assertEquals(first, list.length);
        long filled = Math.min(Integer.toUnsignedLong(second), first);
        for (int i = 0; i < first; i++) {
            if (i >= filled) {
                assertNull(list[i], "entry " + i);
            } else if (i < ATTACHED) {
                assertEquals("LIST" + i, list[i].serialNumber());
                assertEquals(0x600 + i, list[i].locationId());
            } else {
                assertEquals(new DeviceInfo(0, 0, 0, 0, "", "", 0), list[i], "entry " + i);
            }
        }
    }
}
