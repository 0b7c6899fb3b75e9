package nl.tamsel.ftdi.benchmark;

import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;

/**
 * Opens the one device every benchmark talks to, whose reads and writes complete at once, so
 * that what is measured is the cost of the layers above the driver. On the null driver any
 * index opens; on the simulated driver one device is attached first and set to instant
 * transfers (copied from and to a preset buffer). The bridge opens it; every binding then uses
 * the same handle, since they all call into the same loaded driver library.
 */
final class InstantDevice {

    private InstantDevice() {
    }

    /** Opens the device (on the simulated driver, after a reset and an attach); returns its handle. */
    static long open() {
        int device = 0;
        if (LibraryPaths.simulated()) {
            SimulatedDriver.reset();
            device = SimulatedDriver.addDevice(0, 8, 0x04036014, 0x1011, "BENCH001", "Benchmark device");
        }
        long handle = D2XX.openByIndex(0);
        if (handle < 0) {
            throw new IllegalStateException("the benchmark device did not open: status " + -handle);
        }
        if (LibraryPaths.simulated()) {
            SimulatedDriver.setInstantTransfers(device, true);
        }
        return handle;
    }

    static void close(long handle) {
        D2XX.close(handle);
    }
}
