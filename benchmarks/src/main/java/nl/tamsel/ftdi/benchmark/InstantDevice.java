package nl.tamsel.ftdi.benchmark;

import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;

/**
 * Opens the one device every benchmark talks to: a simulated device whose reads and writes
 * complete at once, from and to a preset buffer, so that what is measured is the cost of the
 * layers above the driver. The bridge opens it; every binding then uses the same handle, since
 * they all call into the same loaded driver library.
 */
final class InstantDevice {

    private InstantDevice() {
    }

    /** Resets the simulated driver, attaches and opens one instant device; returns its handle. */
    static long open() {
        SimulatedDriver.reset();
        int device = SimulatedDriver.addDevice(0, 8, 0x04036014, 0x1011, "BENCH001", "Benchmark device");
        long handle = D2XX.openByIndex(0);
        if (handle < 0) {
            throw new IllegalStateException("the simulated device did not open: status " + -handle);
        }
        SimulatedDriver.setInstantTransfers(device, true);
        return handle;
    }

    static void close(long handle) {
        D2XX.close(handle);
    }
}
