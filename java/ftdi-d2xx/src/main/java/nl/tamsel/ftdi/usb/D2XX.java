package nl.tamsel.ftdi.usb;

/**
 * The raw functions of FTDI's D2XX driver, one native method per driver operation, bound to the
 * JNI bridge library {@code ftdibridge}.
 *
 * <p>Conventions shared by every method:
 * <ul>
 *   <li><b>Handles.</b> A device handle is the driver's handle pointer carried bit for bit in a
 *       {@code long}. The open methods return it; every other device method takes it back as its
 *       first argument. Nothing checks a handle on the way: a stale or foreign one is handed to the
 *       driver, which answers with an error status. Close every handle exactly once.</li>
 *   <li><b>Errors.</b> A driver failure with status {@code s} (see the {@code FT_*} status codes in
 *       {@link D2XXConstants}) comes back as {@code -s}; a status above 0x80000000, which no driver
 *       publishes and whose negation would not be negative, comes back as {@link Integer#MIN_VALUE}.
 *       Methods that only act return 0 on success.
 *       A <i>value-or-error</i> result holds the requested value on success and {@code -s}
 *       otherwise; a value whose top bit is set is also negative, so for those queries a negative
 *       result is ambiguous. A <i>handle-or-error</i> result is the handle on success and
 *       {@code -s} as a {@code long} otherwise.</li>
 *   <li><b>Arguments.</b> Each value is cut to the width the driver takes (a word length to 8 bits,
 *       a flow-control mode to 16) and otherwise passed unchanged; the driver alone judges it.</li>
 *   <li><b>Broken contracts.</b> A {@code null} array or string throws {@link NullPointerException},
 *       a region outside the array throws {@link ArrayIndexOutOfBoundsException}; in both cases
 *       the driver is not called and the array is left untouched.</li>
 *   <li><b>Threads.</b> Any thread may call any method; nothing is locked, so calls on one handle
 *       from several threads must be serialised by the caller.</li>
 * </ul>
 *
 * <h2>Loading</h2>
 * The first use of this class loads the native code, steered by system properties:
 * <ul>
 *   <li>{@code nl.tamsel.ftdi.driver}: path of a D2XX driver library to load first, or
 *       {@code simulated} for the simulated driver the jar carries, to run without hardware.
 *       Unset, the bridge finds the installed vendor driver through the platform's library search.</li>
 *   <li>{@code nl.tamsel.ftdi.bridge}: path of the bridge library file. Unset, the bridge is
 *       looked for on {@code java.library.path}, then taken from the jar (extracted into
 *       {@code nl.tamsel.ftdi.extract.dir}, by default {@code java.io.tmpdir}).</li>
 * </ul>
 * A property naming a file that does not exist or cannot be loaded fails at once, and so does a
 * bridge built for another version of these classes. Every loading failure is an
 * {@link UnsatisfiedLinkError} (thrown from this class's initialisation) whose message says what
 * was tried and how to fix it; the package description has the details.
 *
 * <p>{@link FtdiDevice} offers the same operations with typed values and exceptions.
 */
public final class D2XX {

    static {
        NativeLoader.loadNativeCode();
    }

    private D2XX() {
    }

    // ---- Status queries ---------------------------------------------------------------------

    /**
     * Asks the driver library for its version.
     *
     * @return value-or-error: the version as {@code 0x00MMmmbb} (0x00030215 is 3.02.15), or
     *         {@code -status}
     */
    public static native int getLibraryVersion();

    /**
     * Asks for the version of the kernel driver serving an open device.
     *
     * @param handle an open device handle
     * @return value-or-error: the version as {@code 0x00MMmmbb}, or {@code -status}
     */
    public static native int getDriverVersion(long handle);

    /**
     * Asks for the COM port assigned to an open device.
     *
     * @param handle an open device handle
     * @return value-or-error: the port number, -1 when no port is assigned (returned unchanged,
     *         like any value the driver gives), or {@code -status}
     */
    public static native int getComPortNumber(long handle);

    /**
     * Reads the modem and line status of an open device.
     *
     * @param handle an open device handle
     * @return value-or-error: the modem lines ({@code MODEM_STATUS_*}) in the low byte and the
     *         line errors ({@code LINE_STATUS_*}) in the second byte, or {@code -status}
     */
    public static native int getModemStatus(long handle);

    /**
     * Asks how many received bytes wait in the driver's queue.
     *
     * @param handle an open device handle
     * @return value-or-error: the byte count, or {@code -status}
     */
    public static native int getQueueStatus(long handle);

    /**
     * Reads the latency timer of an open device.
     *
     * @param handle an open device handle
     * @return value-or-error: the timer in milliseconds, 0 to 255 (255 stays 255), or
     *         {@code -status}
     */
    public static native int getLatencyTimer(long handle);

    /**
     * Would set the USB vendor and product IDs the driver looks for; not supported.
     *
     * @param vid ignored
     * @param pid ignored
     * @return always {@code -FT_NOT_SUPPORTED} (-17); the driver is not called
     */
    public static native int setVIDPID(int vid, int pid);

    /**
     * Would return the USB vendor ID set with {@link #setVIDPID}; not supported.
     *
     * @return always {@code -FT_NOT_SUPPORTED} (-17); the driver is not called
     */
    public static native int getVID();

    /**
     * Would return the USB product ID set with {@link #setVIDPID}; not supported.
     *
     * @return always {@code -FT_NOT_SUPPORTED} (-17); the driver is not called
     */
    public static native int getPID();

    // ---- Opening and closing ----------------------------------------------------------------

    /**
     * Opens the device at a position of the driver's device list.
     *
     * @param index the list position, from 0
     * @return handle-or-error: the device handle, or {@code -status} as a {@code long}
     */
    public static native long openByIndex(int index);

    /**
     * Opens the device with a serial number. Only the first 16 characters are used; they reach
     * the driver in modified UTF-8, zero-terminated.
     *
     * @param serialNumber the serial number, as {@link DeviceInfo#serialNumber()} gives it
     * @return handle-or-error: the device handle, or {@code -status} as a {@code long}
     * @throws NullPointerException if {@code serialNumber} is null (the driver is not called)
     */
    public static native long openBySerialNumber(String serialNumber);

    /**
     * Opens the device with a product description. Only the first 64 characters are used; they
     * reach the driver in modified UTF-8, zero-terminated.
     *
     * @param description the description, as {@link DeviceInfo#description()} gives it
     * @return handle-or-error: the device handle, or {@code -status} as a {@code long}
     * @throws NullPointerException if {@code description} is null (the driver is not called)
     */
    public static native long openByDescription(String description);

    /**
     * Opens the device at a USB location.
     *
     * @param locationId the location word, as {@link DeviceInfo#locationId()} gives it
     * @return handle-or-error: the device handle, or {@code -status} as a {@code long}
     */
    public static native long openByLocationId(int locationId);

    /**
     * Closes an open device; the handle must not be used afterwards.
     *
     * @param handle an open device handle
     * @return 0, or {@code -status}
     */
    public static native int close(long handle);

    /**
     * Resets an open device.
     *
     * @param handle an open device handle
     * @return 0, or {@code -status}
     */
    public static native int reset(long handle);

    // ---- Enumeration ------------------------------------------------------------------------

    /**
     * Has the driver rebuild its device list and returns it.
     *
     * @return one entry per device (an empty array when there is none; an element may be
     *         {@code null} when the driver reported fewer entries the second time it was asked),
     *         or {@code null} when the driver fails
     */
    public static native DeviceInfo[] createDeviceInfoList();

    // ---- Data transfer ----------------------------------------------------------------------

    /**
     * Reads bytes from an open device into {@code buffer[offset .. offset+length-1]}. It blocks as
     * the read timeout says and may return fewer bytes than asked for; only the bytes counted are
     * written to the array. A length of 0 returns 0 without calling the driver.
     *
     * @param handle an open device handle
     * @param buffer the array to fill
     * @param offset where in {@code buffer} the first byte goes
     * @param length how many bytes to read at most
     * @return value-or-error: the number of bytes read, 0 to {@code length}, or {@code -status}
     * @throws NullPointerException           if {@code buffer} is null
     * @throws ArrayIndexOutOfBoundsException if {@code offset} or {@code length} is negative or
     *                                        the region does not lie within {@code buffer}
     */
    public static native int read(long handle, byte[] buffer, int offset, int length);

    /**
     * Writes {@code buffer[offset .. offset+length-1]} to an open device. It may write fewer
     * bytes than asked for when the write timeout expires. A length of 0 returns 0 without
     * calling the driver.
     *
     * @param handle an open device handle
     * @param buffer the bytes to write
     * @param offset where in {@code buffer} the first byte is
     * @param length how many bytes to write
     * @return value-or-error: the number of bytes written, 0 to {@code length}, or {@code -status}
     * @throws NullPointerException           if {@code buffer} is null
     * @throws ArrayIndexOutOfBoundsException if {@code offset} or {@code length} is negative or
     *                                        the region does not lie within {@code buffer}
     */
    public static native int write(long handle, byte[] buffer, int offset, int length);

    // ---- Line settings and control signals --------------------------------------------------

    /**
     * Sets the baud rate.
     *
     * @param handle   an open device handle
     * @param baudRate the rate; its 32 bits reach the driver as an unsigned number
     * @return 0, or {@code -status} ({@code -FT_INVALID_BAUD_RATE} for a rate the device cannot
     *         approximate)
     */
    public static native int setBaudrate(long handle, int baudRate);

    /**
     * Sets the data format.
     *
     * @param handle     an open device handle
     * @param wordLength {@code FT_BITS_8} or {@code FT_BITS_7}; cut to 8 bits
     * @param stopBits   {@code FT_STOP_BITS_1} or {@code FT_STOP_BITS_2}; cut to 8 bits
     * @param parity     one of the {@code FT_PARITY_*} codes; cut to 8 bits
     * @return 0, or {@code -status}
     */
    public static native int setDataCharacteristics(long handle, int wordLength, int stopBits, int parity);

    /**
     * Sets the read and write timeouts.
     *
     * @param handle       an open device handle
     * @param readTimeout  milliseconds, 0 to wait until every requested byte has arrived
     * @param writeTimeout milliseconds, 0 for none
     * @return 0, or {@code -status}
     */
    public static native int setTimeouts(long handle, int readTimeout, int writeTimeout);

    /**
     * Sets the flow control mode; XON/XOFF flow control always uses 0x11 and 0x13.
     *
     * @param handle      an open device handle
     * @param flowControl one of the {@code FT_FLOW_*} modes; cut to 16 bits
     * @return 0, or {@code -status}
     */
    public static native int setFlowControl(long handle, int flowControl);

    /**
     * Sets the event and error characters.
     *
     * @param handle           an open device handle
     * @param eventChar        the character whose arrival signals an event
     * @param eventCharEnabled whether the event character is used
     * @param errorChar        the character inserted on a line error
     * @param errorCharEnabled whether the error character is used
     * @return 0, or {@code -status}
     */
    public static native int setChars(long handle, byte eventChar, boolean eventCharEnabled, byte errorChar,
                                      boolean errorCharEnabled);

    /**
     * Raises or lowers the DTR output.
     *
     * @param handle an open device handle
     * @param on     {@code true} to raise DTR, {@code false} to clear it
     * @return 0, or {@code -status}
     */
    public static native int setDTR(long handle, boolean on);

    /**
     * Raises or lowers the RTS output.
     *
     * @param handle an open device handle
     * @param on     {@code true} to raise RTS, {@code false} to clear it
     * @return 0, or {@code -status}
     */
    public static native int setRTS(long handle, boolean on);

    /**
     * Starts or ends a break condition on the transmit line.
     *
     * @param handle an open device handle
     * @param on     {@code true} to start the break, {@code false} to end it
     * @return 0, or {@code -status}
     */
    public static native int setBreak(long handle, boolean on);

    /**
     * Discards queued data.
     *
     * @param handle an open device handle
     * @param mask   {@code FT_PURGE_RX}, {@code FT_PURGE_TX} or both
     * @return 0, or {@code -status}
     */
    public static native int purge(long handle, int mask);

    /**
     * Sets the latency timer.
     *
     * @param handle  an open device handle
     * @param latency milliseconds, 2 to 255; cut to 8 bits
     * @return 0, or {@code -status}
     */
    public static native int setLatencyTimer(long handle, int latency);

    /**
     * Sets the USB IN transfer size; the OUT size is left to the driver.
     *
     * @param handle         an open device handle
     * @param inTransferSize bytes, a multiple of 64 from 64 to 65536
     * @return 0, or {@code -status}
     */
    public static native int setUSBParameters(long handle, int inTransferSize);
}
