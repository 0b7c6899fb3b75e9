package nl.tamsel.ftdi.sim;

/**
 * The simulated driver's natives for devices that come and go. Only translates; callers check
 * their arguments first and make sure the driver is loaded (through {@link SimulatedDriver}).
 */
final class PlugNatives {

    private PlugNatives() {
    }

    /** Plugs an unplugged device back in at a location; 0, or -1 for an unknown or attached device. */
    static native int simReplug(int device, int locId);
}
