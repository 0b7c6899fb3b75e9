package nl.tamsel.ftdi.benchmark;

/**
 * The driver calls made through the FFM API, each answering as the bridge does (the count, or
 * the negated status). The implementation needs Java 22 and is compiled on its own; it is loaded
 * by name so that the other benchmarks still run on Java 17.
 */
interface ForeignCalls {

    /** Calls the bare JNI call's empty function as a plain C function: the FFM floor. */
    int bareDowncall();

    int getQueueStatus();

    /** Reads into native memory, then copies into the array: the bridge's work, in Java. */
    int read(byte[] bytes, int length);

    /** Copies the array into native memory, then writes from there. */
    int write(byte[] bytes, int length);

    /** Reads into native memory and leaves the bytes there. */
    int readNative(int length);

    /** Writes from native memory. */
    int writeNative(int length);

    static ForeignCalls forHandle(long handle) {
        try {
            return (ForeignCalls) Class.forName("nl.tamsel.ftdi.benchmark.ForeignDriver")
                    .getDeclaredConstructor(long.class)
                    .newInstance(handle);
        } catch (ReflectiveOperationException | UnsupportedClassVersionError e) {
            throw new IllegalStateException("The FFM benchmarks need Java 22 or later; this is Java "
                    + Runtime.version(), e);
        }
    }
}
