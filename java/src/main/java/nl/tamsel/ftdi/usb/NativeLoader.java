package nl.tamsel.ftdi.usb;

import java.io.File;
import java.util.Locale;
import java.util.function.UnaryOperator;

/**
 * Loads the D2XX driver (when a file is named for it) and the JNI bridge, turning each way this
 * can fail into an {@link UnsatisfiedLinkError} that says how to fix it.
 */
final class NativeLoader {

    /** Names a D2XX driver file to load before the bridge, e.g. the simulated one. */
    static final String DRIVER_PROPERTY = "nl.tamsel.ftdi.driver";
    /** Names the bridge's library file; without it the bridge is found on java.library.path. */
    static final String BRIDGE_PROPERTY = "nl.tamsel.ftdi.bridge";
    /** The bridge's name for {@link System#loadLibrary}: libftdibridge.so, ftdibridge.dll. */
    static final String BRIDGE_LIBRARY = "ftdibridge";

    /** The two ways the JVM links native code, separated so the failure paths can be tested. */
    interface Linker {
        void load(String absolutePath);

        void loadLibrary(String name);
    }

    private static final Linker SYSTEM = new Linker() {
        @Override
        public void load(String absolutePath) {
            System.load(absolutePath);
        }

        @Override
        public void loadLibrary(String name) {
            System.loadLibrary(name);
        }
    };

    private NativeLoader() {
    }

    /** Loads the native code as the system properties say. */
    static void loadNativeCode() {
        loadNativeCode(System::getProperty, SYSTEM);
    }

    static void loadNativeCode(UnaryOperator<String> properties, Linker linker) {
        String driver = properties.apply(DRIVER_PROPERTY);
        if (isSet(driver)) {
            loadFile(linker, DRIVER_PROPERTY, driver, "the D2XX driver");
        }
        String bridge = properties.apply(BRIDGE_PROPERTY);
        if (isSet(bridge)) {
            loadFile(linker, BRIDGE_PROPERTY, bridge, "the JNI bridge");
            return;
        }
        try {
            linker.loadLibrary(BRIDGE_LIBRARY);
        } catch (UnsatisfiedLinkError e) {
            throw explain(e, "The JNI bridge (" + System.mapLibraryName(BRIDGE_LIBRARY)
                    + ") could not be loaded from java.library.path (" + System.getProperty("java.library.path")
                    + "). Add its directory to java.library.path, or name the file with -D" + BRIDGE_PROPERTY
                    + "=<path to " + System.mapLibraryName(BRIDGE_LIBRARY) + ">.");
        }
    }

    private static void loadFile(Linker linker, String property, String path, String what) {
        File file = new File(path);
        if (!file.isFile()) {
            throw new UnsatisfiedLinkError("-D" + property + "=" + path + " names no file; it must name "
                    + what + "'s library file. Correct or remove that property.");
        }
        try {
            linker.load(file.getAbsolutePath());
        } catch (UnsatisfiedLinkError e) {
            throw explain(e, what + " could not be loaded from " + file.getAbsolutePath() + " (named by -D"
                    + property + "). Check that the file is a native library for this platform.");
        }
    }

    /** A missing D2XX driver gets its own message, whichever library needed it. */
    private static UnsatisfiedLinkError explain(UnsatisfiedLinkError e, String otherwise) {
        String message = isDriverMissing(e) ? driverMissingMessage() : otherwise;
        UnsatisfiedLinkError explained = new UnsatisfiedLinkError(message + " Cause: " + e.getMessage());
        explained.initCause(e);
        return explained;
    }

    static boolean isDriverMissing(UnsatisfiedLinkError e) {
        String message = String.valueOf(e.getMessage()).toLowerCase(Locale.ROOT);
        // Linux names the missing dependency; Windows only says a dependency is missing, and
        // the bridge's only dependency outside the system is the driver.
        return message.contains("libftd2xx") || message.contains("ftd2xx.dll")
                || message.contains("can't find dependent libraries");
    }

    static String driverMissingMessage() {
        return "FTDI's D2XX driver library (libftd2xx.so on Linux, FTD2XX.dll on Windows) is missing, so the"
                + " JNI bridge cannot be loaded. To use real devices, install the vendor's D2XX driver: on"
                + " Linux put libftd2xx.so where the dynamic linker finds it (e.g. /usr/local/lib) and run"
                + " ldconfig; on Windows install FTDI's D2XX driver package. To work without hardware, use"
                + " the simulated driver instead: -D" + DRIVER_PROPERTY
                + "=<path to the simulated libftd2xx.so>.";
    }

    private static boolean isSet(String value) {
        return value != null && !value.isBlank();
    }
}
