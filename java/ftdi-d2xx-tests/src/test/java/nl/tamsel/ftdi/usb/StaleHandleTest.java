package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.InterruptedIOException;
import java.time.Duration;
import java.util.Map;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.Test;

/**
 * The simulated driver's tools for finding stale handles and stalled writes, through the bridge:
 * reused handle values, the per-value count of calls that came with a closed handle, and writes
 * that flow control holds.
 */
class StaleHandleTest extends SimulatedDriverTestBase {

    @Test
    void callsWithClosedHandlesAreCountedPerValueAndReuseHandsTheValueOn() {
        attach("A1", "Alpha");
        attach("B2", "Beta");
        SimulatedDriver.setHandleReuse(true);
        long first = open(0);
        long second = open(1);
        assertEquals(0, D2XX.close(first));
        assertEquals(0, D2XX.close(second));

        assertEquals(-D2XXConstants.FT_INVALID_HANDLE, D2XX.getQueueStatus(first));
        assertEquals(-D2XXConstants.FT_INVALID_HANDLE, D2XX.setDTR(first, true));
        assertEquals(-D2XXConstants.FT_INVALID_HANDLE, D2XX.close(second));

        assertEquals(Map.of(first, 2, second, 1), SimulatedDriver.closedHandleCalls());
        assertEquals(2, SimulatedDriver.closedHandleCalls(first));
        assertEquals(0, SimulatedDriver.closedHandleCalls(first + 0x1000), "a value never issued");
        assertEquals(second, open(0), "the value closed last is given out first");
        SimulatedDriver.reset();
        assertEquals(Map.of(), SimulatedDriver.closedHandleCalls());
    }

    @Test
    void aStalledWriteTakesNothingForItsTimeout() throws Exception {
        int simulated = attach();
        try (FtdiDevice device = FtdiDevice.openByIndex(0)) {
            device.setWriteTimeout(Duration.ofMillis(5));
            SimulatedDriver.setWritesStalled(simulated, true);

            assertEquals(0, device.write(new byte[] {1, 2, 3}, 0, 3));
            InterruptedIOException timeout = assertThrows(InterruptedIOException.class,
                    () -> device.getOutputStream().write(new byte[] {4, 5}));
            assertEquals(0, timeout.bytesTransferred);

            SimulatedDriver.setWritesStalled(simulated, false);
            assertEquals(3, device.write(new byte[] {6, 7, 8}, 0, 3));
            assertEquals(3, SimulatedDriver.takeWritten(simulated).length);
        }
    }
}
