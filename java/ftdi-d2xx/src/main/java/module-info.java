/**
 * Java access to FTDI USB devices through FTDI's D2XX driver: the typed API and the raw driver
 * calls in {@code nl.tamsel.ftdi.usb}, with the JNI bridge for every supported platform inside.
 *
 * <p>The module loads native code: start the JVM with {@code --enable-native-access=nl.tamsel.ftdi}
 * (JDK 22 and later warn without it, and refuse with {@code --illegal-native-access=deny}).
 */
// The simulator is built after this module, so the qualified export names a module not yet seen.
@SuppressWarnings("module")
module nl.tamsel.ftdi {
    exports nl.tamsel.ftdi.usb;
    exports nl.tamsel.ftdi.svf;
    exports nl.tamsel.ftdi.spi;
    // The simulator extracts and loads its driver the way this library loads the bridge.
    exports nl.tamsel.ftdi.internal to nl.tamsel.ftdi.simulator;

    uses nl.tamsel.ftdi.spi.DriverProvider;
}
