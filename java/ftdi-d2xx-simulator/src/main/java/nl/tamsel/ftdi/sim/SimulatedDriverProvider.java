package nl.tamsel.ftdi.sim;

import nl.tamsel.ftdi.spi.DriverProvider;

/**
 * Offers the simulated driver to the library under the name {@value SimulatedDriver#BUNDLED}, so
 * that {@code -Dnl.tamsel.ftdi.driver=simulated} selects it.
 */
public final class SimulatedDriverProvider implements DriverProvider {

    /** Creates the provider; the service loader calls this. */
    public SimulatedDriverProvider() {
    }

    @Override
    public String name() {
        return SimulatedDriver.BUNDLED;
    }

    @Override
    public void load() {
        SimulatedDriver.load();
    }
}
