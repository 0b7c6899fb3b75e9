package nl.tamsel.ftdi.usb;

/**
 * The kinds of device the D2XX driver reports, by their published names.
 *
 * <p>Newer drivers report codes this library does not know; those map to {@link #UNRECOGNIZED},
 * and {@link DeviceInfo#typeName()} shows their number.
 */
public enum DeviceType {
    /** The BM kind (code 0). */
    FT_DEVICE_BM("BM"),
    /** The AM kind (code 1). */
    FT_DEVICE_AM("AM"),
    /** The 100AX kind (code 2). */
    FT_DEVICE_100AX("100AX"),
    /** A device the driver itself calls unknown (code 3). */
    FT_DEVICE_UNKNOWN("UNKNOWN"),
    /** The 2232C kind (code 4). */
    FT_DEVICE_2232C("2232C"),
    /** The 232R kind (code 5). */
    FT_DEVICE_232R("232R"),
    /** The 2232H kind (code 6). */
    FT_DEVICE_2232H("2232H"),
    /** The 4232H kind (code 7). */
    FT_DEVICE_4232H("4232H"),
    /** The 232H kind (code 8). */
    FT_DEVICE_232H("232H"),
    /** The X-series kind (code 9). */
    FT_DEVICE_X_SERIES("X-series"),
    /** The 4222H in mode 0 (code 10). */
    FT_DEVICE_4222H_0("4222H mode 0"),
    /** The 4222H in mode 1 or 2 (code 11). */
    FT_DEVICE_4222H_1_2("4222H mode 1/2"),
    /** The 4222H in mode 3 (code 12). */
    FT_DEVICE_4222H_3("4222H mode 3"),
    /** The 4222 programming interface (code 13). */
    FT_DEVICE_4222_PROG("4222 programming"),
    /** The 900 kind (code 14). */
    FT_DEVICE_900("900"),
    /** The 930 kind (code 15). */
    FT_DEVICE_930("930"),
    /** The UMFTPD3A kind (code 16). */
    FT_DEVICE_UMFTPD3A("UMFTPD3A"),
    /** A code this library does not know; the number is in {@link DeviceInfo#type()}. */
    UNRECOGNIZED("?");

    private static final DeviceType[] BY_CODE = values();

    private final String displayName;

    DeviceType(String displayName) {
        this.displayName = displayName;
    }

    /**
     * The driver's code for this kind; the codes are the declaration order.
     *
     * @return the code, or -1 for {@link #UNRECOGNIZED}
     */
    public int code() {
        return this == UNRECOGNIZED ? -1 : ordinal();
    }

    /**
     * A short name for tables and messages.
     *
     * @return the name without the {@code FT_DEVICE_} prefix, such as "232R"
     */
    public String displayName() {
        return displayName;
    }

    /**
     * The kind with a driver code.
     *
     * @param code the type word of a device-list entry
     * @return its kind, or {@link #UNRECOGNIZED}
     */
    public static DeviceType of(int code) {
        return code >= 0 && code < UNRECOGNIZED.ordinal() ? BY_CODE[code] : UNRECOGNIZED;
    }
}
