package nl.tamsel.ftdi.usb;

/**
 * The raw functions of FTDI's D2XX driver beyond the serial line: bit modes, device details and
 * status, the EEPROM, event notification and port recovery, bound to the native library
 * {@code ftdimodes}.
 *
 * <p>Conventions are those of {@link D2XX}:
 * <ul>
 *   <li><b>Handles.</b> The {@code handle} arguments are device handles from {@link D2XX}'s open
 *       methods, handed to the driver unchecked.</li>
 *   <li><b>Errors.</b> A driver failure with status {@code s} comes back as {@code -s} (a status
 *       above 0x80000000 as {@link Integer#MIN_VALUE}); methods that only act return 0 on success;
 *       a <i>value-or-error</i> result holds the value on success and {@code -s} otherwise.</li>
 *   <li><b>Missing functions.</b> The driver's functions are looked up by name when first needed.
 *       A driver that lacks one (older drivers, or FT_ResetPort and FT_CyclePort outside Windows
 *       in some versions) makes only the calls that need it return {@code -17}
 *       ({@code FT_NOT_SUPPORTED}); {@link #availableFunctions()} tells which are there.</li>
 *   <li><b>Arguments.</b> Each value is cut to the width the driver takes (a mask to 8 bits, an
 *       EEPROM word to 16) and otherwise passed unchanged; the driver alone judges it.</li>
 *   <li><b>Broken contracts.</b> A {@code null} array throws {@link NullPointerException}; a region
 *       outside the array, or an array shorter than the driver's output, throws
 *       {@link ArrayIndexOutOfBoundsException}. In both cases the driver is not called and the
 *       arrays are left untouched. Arrays are copied, never held during the driver call.</li>
 *   <li><b>Threads.</b> Any thread may call any method; nothing is locked. Calls on one handle
 *       from several threads must be serialised by the caller, except {@link #waitEvent} and
 *       {@link #signalEvent}, which are made for use across threads.</li>
 * </ul>
 *
 * <h2>Events</h2>
 * An event object is created by {@link #createEvent()}, registered with a device by
 * {@link #setEventNotification}, waited on by {@link #waitEvent}, signalled by the driver or by
 * {@link #signalEvent}, and freed exactly once by {@link #freeEvent} after the device no longer
 * holds it (close the device or register another event first). It resets itself: a signal ends
 * one wait, or is kept for the next wait when nobody waits.
 *
 * <h2>Loading</h2>
 * The first use of this class first initialises {@link D2XX}, which loads the driver and the
 * bridge, then loads the modes library from the first of: the file named by the system property
 * {@code nl.tamsel.ftdi.modes}, {@code java.library.path}, the copy in this jar (extracted beside
 * the bridge's). It must carry the version of these classes. A failure is an
 * {@link UnsatisfiedLinkError} from this class's initialisation that says what was tried; {@link D2XX}
 * itself keeps working without the modes library.
 */
public final class D2XXModes {

    /** Bit of {@link #availableFunctions()}: FT_SetBitMode. */
    public static final int SET_BIT_MODE = 1;
    /** Bit of {@link #availableFunctions()}: FT_GetBitMode. */
    public static final int GET_BIT_MODE = 1 << 1;
    /** Bit of {@link #availableFunctions()}: FT_GetDeviceInfo. */
    public static final int GET_DEVICE_INFO = 1 << 2;
    /** Bit of {@link #availableFunctions()}: FT_GetStatus. */
    public static final int GET_STATUS = 1 << 3;
    /** Bit of {@link #availableFunctions()}: FT_ReadEE. */
    public static final int READ_EE = 1 << 4;
    /** Bit of {@link #availableFunctions()}: FT_WriteEE. */
    public static final int WRITE_EE = 1 << 5;
    /** Bit of {@link #availableFunctions()}: FT_EraseEE. */
    public static final int ERASE_EE = 1 << 6;
    /** Bit of {@link #availableFunctions()}: FT_EE_UASize. */
    public static final int EE_UA_SIZE = 1 << 7;
    /** Bit of {@link #availableFunctions()}: FT_EE_UARead. */
    public static final int EE_UA_READ = 1 << 8;
    /** Bit of {@link #availableFunctions()}: FT_EE_UAWrite. */
    public static final int EE_UA_WRITE = 1 << 9;
    /** Bit of {@link #availableFunctions()}: FT_SetEventNotification. */
    public static final int SET_EVENT_NOTIFICATION = 1 << 10;
    /** Bit of {@link #availableFunctions()}: FT_ResetPort. */
    public static final int RESET_PORT = 1 << 11;
    /** Bit of {@link #availableFunctions()}: FT_CyclePort. */
    public static final int CYCLE_PORT = 1 << 12;

    static {
        try {
            // The driver and the bridge first: the modes library looks in the loaded driver.
            Class.forName(D2XX.class.getName(), true, D2XX.class.getClassLoader());
        } catch (ClassNotFoundException e) {
            throw new AssertionError("D2XX is in this package", e);
        }
        NativeLoader.loadModesLibrary();
    }

    private D2XXModes() {
    }

    /**
     * Tells which driver functions the loaded driver offers.
     *
     * @return bit i set when function i was found: the constants {@link #SET_BIT_MODE} (bit 0)
     *         to {@link #CYCLE_PORT} (bit 12)
     */
    public static native int availableFunctions();

    // ---- Bit modes --------------------------------------------------------------------------

    /**
     * Selects a bit mode (FT_SetBitMode).
     *
     * @param handle an open device handle
     * @param mask pin directions, bit set = output (low 8 bits used); in CBUS bit-bang mode the
     *        high nibble is the direction and the low nibble the output levels
     * @param mode the bit mode, such as 0 (reset), 1 (asynchronous bit-bang), 2 (MPSSE), 4
     *        (synchronous bit-bang), 0x20 (CBUS bit-bang) (low 8 bits used)
     * @return 0 or {@code -status}
     */
    public static native int setBitMode(long handle, int mask, int mode);

    /**
     * Reads the pins' instantaneous levels (FT_GetBitMode), not the mode number.
     *
     * @param handle an open device handle
     * @return value-or-error: the levels 0..255, or {@code -status}
     */
    public static native int getBitMode(long handle);

    // ---- Device details and status ----------------------------------------------------------

    /**
     * Asks for an open device's type, ID, serial number and description (FT_GetDeviceInfo).
     *
     * @param handle an open device handle
     * @param typeAndId at least 2 elements; receives the {@code FT_DEVICE} type at 0 and
     *        {@code (vendor ID << 16) | product ID} at 1
     * @param serialNumber at least 16 bytes; its first 16 receive the serial number as the driver
     *        wrote it (zero-terminated text when shorter)
     * @param description at least 64 bytes; its first 64 receive the description likewise
     * @return 0 or {@code -status}; on failure the arrays are untouched
     * @throws NullPointerException when an array is null
     * @throws ArrayIndexOutOfBoundsException when an array is too short
     */
    public static native int getDeviceInfo(long handle, int[] typeAndId, byte[] serialNumber, byte[] description);

    /**
     * Asks for the queues and the pending events (FT_GetStatus).
     *
     * @param handle an open device handle
     * @param queuesAndEvents at least 3 elements; receives the bytes in the receive queue at 0,
     *        those in the transmit queue at 1 and the event bits (1 received character, 2 modem
     *        status, 4 line status) at 2
     * @return 0 or {@code -status}; on failure the array is untouched
     * @throws NullPointerException when the array is null
     * @throws ArrayIndexOutOfBoundsException when the array is too short
     */
    public static native int getStatus(long handle, int[] queuesAndEvents);

    // ---- EEPROM -----------------------------------------------------------------------------

    /**
     * Reads one 16-bit EEPROM word (FT_ReadEE).
     *
     * @param handle an open device handle
     * @param wordOffset the word's index (as an unsigned 32-bit number)
     * @return value-or-error: the word 0..0xFFFF, or {@code -status}
     */
    public static native int readEE(long handle, int wordOffset);

    /**
     * Writes one 16-bit EEPROM word (FT_WriteEE).
     *
     * @param handle an open device handle
     * @param wordOffset the word's index (as an unsigned 32-bit number)
     * @param value the word (low 16 bits used)
     * @return 0 or {@code -status}
     */
    public static native int writeEE(long handle, int wordOffset, int value);

    /**
     * Erases the whole EEPROM, user area included (FT_EraseEE). Chips with an internal EEPROM
     * refuse.
     *
     * @param handle an open device handle
     * @return 0 or {@code -status}
     */
    public static native int eraseEE(long handle);

    /**
     * Asks for the size of the EEPROM's user area (FT_EE_UASize).
     *
     * @param handle an open device handle
     * @return value-or-error: the size in bytes, or {@code -status}
     */
    public static native int eeUASize(long handle);

    /**
     * Reads the start of the EEPROM's user area (FT_EE_UARead) into a region of an array.
     *
     * @param handle an open device handle
     * @param buffer receives the bytes from {@code offset} on
     * @param offset where the region starts
     * @param length the region's length: the number of bytes asked for
     * @return value-or-error: the number of bytes read (at most {@code length}; 0 without a
     *         driver call when {@code length} is 0), or {@code -status}
     * @throws NullPointerException when buffer is null
     * @throws ArrayIndexOutOfBoundsException when the region is not inside the array
     */
    public static native int eeUARead(long handle, byte[] buffer, int offset, int length);

    /**
     * Writes a region of an array to the start of the EEPROM's user area (FT_EE_UAWrite).
     *
     * @param handle an open device handle
     * @param buffer holds the bytes from {@code offset} on
     * @param offset where the region starts
     * @param length the region's length; longer than the user area is the driver's error
     * @return 0 (also without a driver call when {@code length} is 0) or {@code -status}
     * @throws NullPointerException when buffer is null
     * @throws ArrayIndexOutOfBoundsException when the region is not inside the array
     */
    public static native int eeUAWrite(long handle, byte[] buffer, int offset, int length);

    // ---- Events and port recovery -----------------------------------------------------------

    /**
     * Has the driver signal an event object when one of the chosen events occurs
     * (FT_SetEventNotification). The device holds the event until it is closed or another
     * event is registered.
     *
     * @param handle an open device handle
     * @param mask the events: 1 received character, 2 modem status, 4 line status
     * @param event an event from {@link #createEvent()}
     * @return 0 or {@code -status}
     */
    public static native int setEventNotification(long handle, int mask, long event);

    /**
     * Asks the driver to reset the port, a recovery attempt that is not a replug (FT_ResetPort;
     * Windows only in the vendor's documentation).
     *
     * @param handle an open device handle
     * @return 0 or {@code -status}
     */
    public static native int resetPort(long handle);

    /**
     * Makes the device go through an unplug and replug (FT_CyclePort; Windows only in the
     * vendor's documentation). The handle must be closed afterwards.
     *
     * @param handle an open device handle
     * @return 0 or {@code -status}
     */
    public static native int cyclePort(long handle);

    /**
     * Creates an event object, not signalled, that resets itself when a wait takes its signal.
     * Free it exactly once with {@link #freeEvent}.
     *
     * @return the event (non-zero), or {@code -status} ({@code -5} when out of memory)
     */
    public static native long createEvent();

    /**
     * Waits until the event is signalled, by the driver or by {@link #signalEvent}, or the
     * timeout passes. A signal given while nobody waited is taken at once.
     *
     * @param event an event from {@link #createEvent()}
     * @param timeoutMillis the longest wait in milliseconds, 0 to only take a pending signal;
     *        a negative timeout is refused with {@code -6}
     * @return 1 when signalled, 0 when the timeout passed, or {@code -status} ({@code -6} for a
     *         zero event)
     */
    public static native int waitEvent(long event, int timeoutMillis);

    /**
     * Signals the event: ends a current wait (on Linux and macOS every current wait), or is kept
     * for the next wait.
     *
     * @param event an event from {@link #createEvent()}
     * @return 0, or {@code -status} ({@code -6} for a zero event)
     */
    public static native int signalEvent(long event);

    /**
     * Frees the event. No thread may wait on it, and no device may hold it, any more.
     *
     * @param event an event from {@link #createEvent()}, freed at most once
     * @return 0, or {@code -status} ({@code -6} for a zero event)
     */
    public static native int freeEvent(long event);
}
