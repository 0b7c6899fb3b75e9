package nl.tamsel.ftdi.usb;

/**
 * What the driver reports about an open device, from {@link FtdiDevice#details()}.
 *
 * @param type         the kind of chip, {@link DeviceType#UNRECOGNIZED} for a code this library
 *                     does not know
 * @param vendorId     the USB vendor ID, such as 0x0403
 * @param productId    the USB product ID, such as 0x6014
 * @param serialNumber the serial number, empty when the device has none
 * @param description  the product description, empty when the device has none
 */
public record DeviceDetails(DeviceType type, int vendorId, int productId, String serialNumber, String description) {

    /** The text of a driver field: up to the first control byte (0 to 31), bytes as Latin-1. */
    static String text(byte[] field) {
        int end = 0;
        while (end < field.length && (field[end] & 0xFF) >= 32) {
            end++;
        }
        return new String(field, 0, end, java.nio.charset.StandardCharsets.ISO_8859_1);
    }
}
