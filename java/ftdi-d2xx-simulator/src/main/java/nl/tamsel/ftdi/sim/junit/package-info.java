/**
 * A JUnit 5 extension that gives each test a fresh simulated D2XX driver and simulated devices
 * as parameters.
 *
 * <pre>{@code
 * @SimulatedFtdi
 * class ThermometerTest {
 *     @Test
 *     void readsTheTemperature(@Device(serial = "TH01", loopback = false) SimulatedDevice sensor)
 *             throws IOException {
 *         sensor.receive("21.5\n");
 *         assertEquals(21.5, Thermometer.open("TH01").read());
 *         assertEquals("T?\n", sensor.takeWrittenText());
 *     }
 * }
 * }</pre>
 *
 * <p>The module needs JUnit Jupiter's API only for this package ({@code requires static}); a
 * test that uses the extension has it anyway.
 */
package nl.tamsel.ftdi.sim.junit;
