package nl.tamsel.ftdi.benchmark;

import java.io.File;

/**
 * Native methods that do nothing but the least a JNI call can do: the floor that every binding's
 * cost is compared with, and the same call plus one VM callback, so that each callback the bridge
 * makes has a price. Their library is built with the bridge's flags and named by the system
 * property {@value #LIBRARY_PROPERTY}.
 */
final class BareJni {

    static final String LIBRARY_PROPERTY = "nl.tamsel.ftdi.benchmark.barejni";

    static {
        System.load(libraryPath());
    }

    private BareJni() {
    }

    static String libraryPath() {
        String path = System.getProperty(LIBRARY_PROPERTY);
        if (path == null || !new File(path).isFile()) {
            throw new UnsatisfiedLinkError("-D" + LIBRARY_PROPERTY + " must name libbarejni.so, not " + path);
        }
        return new File(path).getAbsolutePath();
    }

    /** Shaped like the bridge's queries; does nothing. */
    static native int call(long handle);

    /** Makes one callback: GetArrayLength. */
    static native int arrayLength(byte[] array);

    /** Makes one callback: GetByteArrayRegion of the first {@code length} bytes, at most 256. */
    static native int copyRegion(byte[] array, int length);
}
