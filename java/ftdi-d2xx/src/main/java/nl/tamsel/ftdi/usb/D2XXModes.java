package nl.tamsel.ftdi.usb;

/**
 * The raw calls of the modes library: bit modes, device details and status, the EEPROM, event
 * notification and port recovery, as static natives returning a value or minus the driver's
 * status. {@link FtdiDevice} offers them with typed values and exceptions.
 *
 * <p>Placeholder with the agreed signatures, so that the typed API compiles before the modes
 * library lands; the library's own version of this class replaces it.
 */
public final class D2XXModes {

    static {
        NativeLoader.loadModes();
    }

    private D2XXModes() {
    }

    /**
     * Which driver functions the modes library found.
     *
     * @return bit i set when the driver has function i (FT_SetBitMode = 0 ... FT_CyclePort = 12)
     */
    public static native int availableFunctions();

    /**
     * Sets a bit mode (FT_SetBitMode).
     *
     * @param handle as the driver function takes it
     * @param mask as the driver function takes it
     * @param mode as the driver function takes it
     * @return 0, or -status
     */
    public static native int setBitMode(long handle, int mask, int mode);

    /**
     * Reads the pins' levels (FT_GetBitMode).
     *
     * @param handle as the driver function takes it
     * @return the levels 0 to 255, or -status
     */
    public static native int getBitMode(long handle);

    /**
     * Reads the device's type, IDs and texts (FT_GetDeviceInfo).
     *
     * @param handle as the driver function takes it
     * @param typeAndId as the driver function takes it
     * @param serialNumber as the driver function takes it
     * @param description as the driver function takes it
     * @return 0, or -status
     */
    public static native int getDeviceInfo(long handle, int[] typeAndId, byte[] serialNumber, byte[] description);

    /**
     * Reads the queues and event bits (FT_GetStatus).
     *
     * @param handle as the driver function takes it
     * @param queuesAndEvents as the driver function takes it
     * @return 0, or -status
     */
    public static native int getStatus(long handle, int[] queuesAndEvents);

    /**
     * Reads an EEPROM word (FT_ReadEE).
     *
     * @param handle as the driver function takes it
     * @param wordOffset as the driver function takes it
     * @return the word 0 to 0xFFFF, or -status
     */
    public static native int readEE(long handle, int wordOffset);

    /**
     * Writes an EEPROM word (FT_WriteEE).
     *
     * @param handle as the driver function takes it
     * @param wordOffset as the driver function takes it
     * @param value as the driver function takes it
     * @return 0, or -status
     */
    public static native int writeEE(long handle, int wordOffset, int value);

    /**
     * Erases the EEPROM (FT_EraseEE).
     *
     * @param handle as the driver function takes it
     * @return 0, or -status
     */
    public static native int eraseEE(long handle);

    /**
     * The EEPROM user area's size (FT_EE_UASize).
     *
     * @param handle as the driver function takes it
     * @return bytes, or -status
     */
    public static native int eeUASize(long handle);

    /**
     * Reads the user area (FT_EE_UARead).
     *
     * @param handle as the driver function takes it
     * @param buffer as the driver function takes it
     * @param offset as the driver function takes it
     * @param length as the driver function takes it
     * @return the count read, or -status
     */
    public static native int eeUARead(long handle, byte[] buffer, int offset, int length);

    /**
     * Writes the user area (FT_EE_UAWrite).
     *
     * @param handle as the driver function takes it
     * @param buffer as the driver function takes it
     * @param offset as the driver function takes it
     * @param length as the driver function takes it
     * @return 0, or -status
     */
    public static native int eeUAWrite(long handle, byte[] buffer, int offset, int length);

    /**
     * Registers an event object for events (FT_SetEventNotification).
     *
     * @param handle as the driver function takes it
     * @param mask as the driver function takes it
     * @param event as the driver function takes it
     * @return 0, or -status
     */
    public static native int setEventNotification(long handle, int mask, long event);

    /**
     * Resets the port (FT_ResetPort).
     *
     * @param handle as the driver function takes it
     * @return 0, or -status
     */
    public static native int resetPort(long handle);

    /**
     * Cycles the port (FT_CyclePort).
     *
     * @param handle as the driver function takes it
     * @return 0, or -status
     */
    public static native int cyclePort(long handle);

    /**
     * Creates an event object.
     *
     * @return the event (non-zero), or -status
     */
    public static native long createEvent();

    /**
     * Waits for an event object.
     *
     * @param event as the driver function takes it
     * @param timeoutMillis as the driver function takes it
     * @return 1 signalled, 0 timed out, or -status
     */
    public static native int waitEvent(long event, int timeoutMillis);

    /**
     * Signals an event object.
     *
     * @param event as the driver function takes it
     * @return 0, or -status
     */
    public static native int signalEvent(long event);

    /**
     * Frees an event object.
     *
     * @param event as the driver function takes it
     * @return 0, or -status
     */
    public static native int freeEvent(long event);
}
