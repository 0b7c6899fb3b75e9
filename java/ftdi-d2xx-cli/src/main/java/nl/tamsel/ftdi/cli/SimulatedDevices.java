package nl.tamsel.ftdi.cli;

import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XXConstants;

/**
 * What {@code --simulated} runs against: the simulated driver with three loopback devices and a
 * dual-channel FT2232H whose channels carry a small I2C bus and an SPI flash.
 */
final class SimulatedDevices {

    /** The FT2232H's USB ids, 0403:6010, as the driver reports them. */
    private static final int DUAL_ID = 0x04036010;

    private SimulatedDevices() {
    }

    static void install() {
        // The jar's copy, unless a simulated driver was named explicitly.
        if (System.getProperty(SimulatedDriver.DRIVER_PATH_PROPERTY) == null) {
            System.setProperty(SimulatedDriver.DRIVER_PATH_PROPERTY, SimulatedDriver.BUNDLED);
        }
        SimulatedDriver.reset();
        SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, 0x04036001, 0x0111, "SIM232R1",
                "Simulated FT232R loopback");
        SimulatedDriver.addDevice(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_232H, 0x04036014, 0x0213,
                "SIM232H1", "Simulated FT232H loopback");
        int xSeries = SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_X_SERIES, 0x04036015, 0x0321, "SIMX0001",
                "Simulated FT-X loopback");
        SimulatedDriver.setComPort(xSeries, 3);
        SimulatedDriver.addDevice(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_2232H, DUAL_ID, 0x0221,
                "FT2232HA", "Simulated FT2232H A");
        SimulatedDriver.addDevice(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_2232H, DUAL_ID, 0x0222,
                "FT2232HB", "Simulated FT2232H B");
    }
}
