package nl.tamsel.ftdi.usb;

/**
 * One entry of the driver's device list, as returned by {@link FtdiDevice#list()} and
 * {@link D2XX#createDeviceInfoList()}.
 *
 * <p>The numeric fields are the driver's 32-bit words bit for bit, so a word with its top bit set
 * is a negative {@code int} here. The texts end at the first control byte (0 to 31) of the
 * driver's fixed-size fields and are empty, never {@code null}, when the driver has nothing to
 * report (as for a device another process has opened).
 *
 * <p>The bridge builds instances through the canonical constructor, JNI signature
 * {@code (IIIILjava/lang/String;Ljava/lang/String;J)V}; its parameter list must not change.
 *
 * @param flags        the device's flags: {@link D2XXConstants#FT_FLAGS_OPENED},
 *                     {@link D2XXConstants#FT_FLAGS_HISPEED}
 * @param type         the device type, one of the {@code FT_DEVICE_*} codes of
 *                     {@link D2XXConstants}, or a newer code unknown to them
 * @param id           the USB vendor ID in the high 16 bits and the product ID in the low 16
 * @param locationId   the USB location word, opaque; usable with {@link D2XX#openByLocationId(int)}
 * @param serialNumber the serial number, at most 16 bytes of the driver's field
 * @param description  the product description, at most 64 bytes of the driver's field
 * @param handle       the device handle when this process has the device open, otherwise 0
 */
public record DeviceInfo(int flags, int type, int id, int locationId, String serialNumber, String description,
                         long handle) {

    /**
     * The USB vendor ID.
     *
     * @return the high 16 bits of {@link #id()}
     */
    public int vendorId() {
        return id >>> 16;
    }

    /**
     * The USB product ID.
     *
     * @return the low 16 bits of {@link #id()}
     */
    public int productId() {
        return id & 0xFFFF;
    }

    /**
     * The kind of device.
     *
     * @return the type by name, {@link DeviceType#UNRECOGNIZED} for a code this library does not
     *         know (see {@link #type()} for the number)
     */
    public DeviceType deviceType() {
        return DeviceType.of(type);
    }

    /**
     * The kind of device for display.
     *
     * @return a short name such as "232R", or the type code itself when it is not known here
     */
    public String typeName() {
        DeviceType known = deviceType();
        return known == DeviceType.UNRECOGNIZED ? Integer.toString(type) : known.displayName();
    }

    /**
     * Whether the device is open, in this process or another.
     *
     * @return the opened flag
     */
    public boolean isOpen() {
        return (flags & D2XXConstants.FT_FLAGS_OPENED) != 0;
    }

    /**
     * Whether the device is a hi-speed (480 Mbit/s) USB device.
     *
     * @return the hi-speed flag
     */
    public boolean isHighSpeed() {
        return (flags & D2XXConstants.FT_FLAGS_HISPEED) != 0;
    }

    /**
     * The entry in one line.
     *
     * @return for example
     *         {@code DeviceInfo[serial=FT1ZK4, description="FT232R USB UART", type=232R, id=0403:6001, location=0x00000111, flags=opened]}
     */
    @Override
    public String toString() {
        StringBuilder flagNames = new StringBuilder();
        if (isOpen()) {
            flagNames.append("opened");
        }
        if (isHighSpeed()) {
            flagNames.append(flagNames.length() == 0 ? "" : ",").append("hi-speed");
        }
        return String.format("DeviceInfo[serial=%s, description=\"%s\", type=%s, id=%04x:%04x, location=0x%08x, flags=%s]",
                serialNumber, description, typeName(), vendorId(), productId(), locationId,
                flagNames.length() == 0 ? "none" : flagNames);
    }
}
