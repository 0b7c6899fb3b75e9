package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

/** The modes library as the JVM loads it, with the driver the build's tests name. */
class D2XXModesTest {

    @Test
    void loadsAndReportsOnlyTheThirteenFunctionBits() {
        assertEquals(0, D2XXModes.availableFunctions() & ~0x1FFF);
    }

    @Test
    void eventKeepsASignalForOneWait() {
        long event = D2XXModes.createEvent();
        assertTrue(event > 0, "event " + event);
        try {
            assertEquals(0, D2XXModes.waitEvent(event, 0));
            assertEquals(0, D2XXModes.signalEvent(event));
            assertEquals(1, D2XXModes.waitEvent(event, 0));
            assertEquals(0, D2XXModes.waitEvent(event, 1));
        } finally {
            assertEquals(0, D2XXModes.freeEvent(event));
        }
    }

    @Test
    void brokenContractsThrowTheJvmsExceptions() {
        assertThrows(NullPointerException.class, () -> D2XXModes.getStatus(0, null));
        assertThrows(ArrayIndexOutOfBoundsException.class, () -> D2XXModes.getDeviceInfo(0, new int[2],
                new byte[15], new byte[64]));
        assertThrows(ArrayIndexOutOfBoundsException.class,
                () -> D2XXModes.eeUARead(0, new byte[4], Integer.MAX_VALUE, 1));
    }
}
