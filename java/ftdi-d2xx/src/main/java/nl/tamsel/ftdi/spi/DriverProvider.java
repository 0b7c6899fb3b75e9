package nl.tamsel.ftdi.spi;

/**
 * A D2XX driver that another library offers by name, such as the simulated driver of
 * {@code ftdi-d2xx-simulator}: {@code -Dnl.tamsel.ftdi.driver=<name>} selects it, and the library
 * asks it to load before it loads the JNI bridge.
 *
 * <p>Implementations are found with {@link java.util.ServiceLoader}: list them in
 * {@code META-INF/services/nl.tamsel.ftdi.spi.DriverProvider}, or with {@code provides} in a
 * module descriptor.
 */
public interface DriverProvider {

    /**
     * The name that selects this driver.
     *
     * @return the value of {@code nl.tamsel.ftdi.driver} that selects it, such as {@code simulated}
     */
    String name();

    /**
     * Loads the driver's native library into this JVM, so that the bridge finds its driver already
     * loaded. Called at most once per JVM by the library; must be safe to call more than once.
     *
     * @throws UnsatisfiedLinkError when the driver cannot be loaded, saying why and what to do
     */
    void load();
}
