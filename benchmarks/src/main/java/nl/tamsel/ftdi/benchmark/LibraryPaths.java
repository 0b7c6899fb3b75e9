package nl.tamsel.ftdi.benchmark;

import java.io.File;

/** The native libraries that the benchmarks load themselves, each named by a system property. */
final class LibraryPaths {

    /** The property the bridge's loader reads too, so that every binding loads the same driver. */
    static final String DRIVER_PROPERTY = "nl.tamsel.ftdi.driver";
    static final String BARE_JNI_PROPERTY = "nl.tamsel.ftdi.benchmark.barejni";
    /** True when the driver is the simulated one, whose devices must be attached first. */
    static final String SIMULATED_PROPERTY = "nl.tamsel.ftdi.benchmark.simulated";

    private LibraryPaths() {
    }

    /** The driver every binding calls: the null driver's or the simulated driver's libftd2xx.so. */
    static String driver() {
        return required(DRIVER_PROPERTY, "the null or the simulated driver's libftd2xx.so");
    }

    /** Whether {@link #driver()} is the simulated driver. */
    static boolean simulated() {
        return Boolean.getBoolean(SIMULATED_PROPERTY);
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
