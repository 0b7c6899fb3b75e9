package nl.tamsel.ftdi.benchmark;

import java.io.File;

/** Where the driver library is, for the bindings that load it themselves (JNA, FFM). */
final class DriverLibrary {

    /** The property the bridge's loader reads too, so every binding loads the same file. */
    static final String PATH_PROPERTY = "nl.tamsel.ftdi.driver";

    private DriverLibrary() {
    }

    static String path() {
        String path = System.getProperty(PATH_PROPERTY);
        if (path == null || !new File(path).isFile()) {
            throw new IllegalStateException("-D" + PATH_PROPERTY + " must name the simulated libftd2xx.so, not " + path);
        }
        return new File(path).getAbsolutePath();
    }
}
