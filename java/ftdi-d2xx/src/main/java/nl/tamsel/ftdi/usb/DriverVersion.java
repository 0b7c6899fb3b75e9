package nl.tamsel.ftdi.usb;

/**
 * A version number of the D2XX library or of the kernel driver behind a device.
 *
 * <p>The driver codes it as {@code 0x00MMmmbb}, each byte holding two decimal digits written as
 * hex digits: {@code 0x00030216} is version 3.2.16.
 *
 * @param raw the word the driver reported
 */
public record DriverVersion(int raw) {

    /**
     * The major version.
     *
     * @return bits 16 to 23 read as two decimal digits
     */
    public int major() {
        return digits(raw >>> 16);
    }

    /**
     * The minor version.
     *
     * @return bits 8 to 15 read as two decimal digits
     */
    public int minor() {
        return digits(raw >>> 8);
    }

    /**
     * The build number.
     *
     * @return bits 0 to 7 read as two decimal digits
     */
    public int build() {
        return digits(raw);
    }

    private static int digits(int word) {
        return ((word >>> 4) & 0xF) * 10 + (word & 0xF);
    }

    /**
     * The version as people write it.
     *
     * @return major, minor and build joined by dots, such as "3.2.16"
     */
    @Override
    public String toString() {
        return major() + "." + minor() + "." + build();
    }
}
