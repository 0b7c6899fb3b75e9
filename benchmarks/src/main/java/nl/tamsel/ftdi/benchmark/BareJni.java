package nl.tamsel.ftdi.benchmark;

/**
 * Native methods that do nothing but the least a JNI call can do: the floor that every binding's
 * cost is compared with, and the same call plus one VM callback, so that each callback the bridge
 * makes has a price. Their library is built with the bridge's flags and named by the system
 * property {@value LibraryPaths#BARE_JNI_PROPERTY}.
 */
final class BareJni {

    static {
        System.load(LibraryPaths.bareJni());
    }

    private BareJni() {
    }

    /** Shaped like the bridge's queries; does nothing. */
    static native int call(long handle);

    /** Shaped like the bridge's reads and writes; does nothing. */
    static native int transfer(long handle, byte[] buffer, int offset, int length);

    /** Makes one callback: GetArrayLength. */
    static native int arrayLength(byte[] array);

    /** Makes one callback: GetByteArrayRegion of the first {@code length} bytes, at most 256. */
    static native int copyRegion(byte[] array, int length);
}
