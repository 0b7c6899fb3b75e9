package nl.tamsel.ftdi.usb.reliability;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;
import nl.tamsel.ftdi.usb.D2XXConstants;

/** Simulated FT232R-like devices that echo what is written to them, as with a loopback plug. */
final class LoopbackDevices {

    /** Read timeout short enough that a reader waiting for bytes that never come returns soon. */
    static final int READ_TIMEOUT_MS = 20;
    static final int WRITE_TIMEOUT_MS = 1000;

    private LoopbackDevices() {
    }

    /** Attaches a device with this serial number and location word; returns its simulated id. */
    static int attach(String serialNumber, int locationId) {
        return SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, 0x04036001, locationId, serialNumber,
                "Loopback " + serialNumber);
    }

    /** Opens the device by its serial number and sets the short read timeout. */
    static long open(String serialNumber) {
        long handle = D2XX.openBySerialNumber(serialNumber);
        assertTrue(handle > 0, "open " + serialNumber + " returned " + handle);
        assertEquals(0, D2XX.setTimeouts(handle, READ_TIMEOUT_MS, WRITE_TIMEOUT_MS));
        return handle;
    }
}
