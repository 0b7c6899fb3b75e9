package nl.tamsel.ftdi.usb;

/**
 * One entry of the driver's device list, as returned by {@link D2XX#createDeviceInfoList()}.
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
}
