/**
 * The simulated D2XX driver of every supported platform and the API that scripts it, so that
 * applications built on {@code nl.tamsel.ftdi} are tested without hardware. With this module
 * present, {@code -Dnl.tamsel.ftdi.driver=simulated} selects the simulated driver.
 * {@code nl.tamsel.ftdi.sim.junit} holds a JUnit 5 extension; JUnit Jupiter's API is needed only
 * by that package.
 */
module nl.tamsel.ftdi.simulator {
    requires transitive nl.tamsel.ftdi;
    requires static transitive org.junit.jupiter.api;

    exports nl.tamsel.ftdi.sim;
    exports nl.tamsel.ftdi.sim.junit;

    provides nl.tamsel.ftdi.spi.DriverProvider with nl.tamsel.ftdi.sim.SimulatedDriverProvider;
}
