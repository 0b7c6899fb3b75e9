package nl.tamsel.ftdi.benchmark;

import java.io.File;

/** The native libraries that the benchmarks load themselves, each named by a system property. */
final class LibraryPaths {

    /** The property the bridge's loader reads too, so that every binding loads the same driver. */
    static final String DRIVER_PROPERTY = "nl.tamsel.ftdi.driver";
    static final String BARE_JNI_PROPERTY = "nl.tamsel.ftdi.benchmark.barejni";

    private LibraryPaths() {
    }

    /** The simulated driver, libftd2xx.so. */
    static String driver() {
        return required(DRIVER_PROPERTY, "the simulated libftd2xx.so");
    }

    /** The bare JNI calls, libbarejni.so. */
    static String bareJni() {
        return required(BARE_JNI_PROPERTY, "libbarejni.so");
    }

    private static String required(String property, String what) {
        String path = System.getProperty(property);
        if (path == null || !new File(path).isFile()) {
            throw new IllegalStateException("-D" + property + " must name " + what + ", not " + path);
        }
        return new File(path).getAbsolutePath();
    }
}
