/**
 * The simulated D2XX driver of every supported platform and the API that scripts it, so that
 * applications built on {@code nl.tamsel.ftdi} are tested without hardware. With this module
 * present, {@code -Dnl.tamsel.ftdi.driver=simulated} selects the simulated driver.
 */
module nl.tamsel.ftdi.simulator {
    requires transitive nl.tamsel.ftdi;

    exports nl.tamsel.ftdi.sim;

    provides nl.tamsel.ftdi.spi.DriverProvider with nl.tamsel.ftdi.sim.SimulatedDriverProvider;
}
