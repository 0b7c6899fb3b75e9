package nl.tamsel.ftdi.internal;

/** Explains a JVM that denies this library native access, naming the flag that grants it. */
public final class NativeAccess {

    private NativeAccess() {
    }

    /**
     * The flag that grants native access to a module: its name, or {@code ALL-UNNAMED} for code
     * on the class path.
     *
     * @param module the module of the class that loads native code
     * @return the command-line option to add to {@code java}
     */
    public static String flagFor(Module module) {
        return "--enable-native-access=" + (module.isNamed() ? module.getName() : "ALL-UNNAMED");
    }

    /**
     * The error to throw when {@code System.load} refused with {@link IllegalCallerException}.
     *
     * @param module what the loading class belongs to
     * @param what   the library that was to be loaded, such as "the JNI bridge"
     * @param cause  the JVM's refusal
     * @return an error that names the flag to add
     */
    public static UnsatisfiedLinkError denied(Module module, String what, IllegalCallerException cause) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError("This JVM denies native access, so " + what
                + " cannot be loaded. Start java with " + flagFor(module) + " (the jar's manifest grants it"
                + " to java -jar, but not to a library on a class or module path). Cause: " + cause.getMessage());
        error.initCause(cause);
        return error;
    }
}
