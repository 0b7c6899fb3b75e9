package nl.tamsel.ftdi.usb;

import java.util.Locale;

/**
 * An I2C target address, 7 or 10 bits. Make it once and reuse it.
 *
 * @param value  the address, 0 to 0x7F (7-bit) or 0 to 0x3FF (10-bit)
 * @param tenBit true for a 10-bit address
 */
public record I2cAddress(int value, boolean tenBit) {

    /**
     * Checks the range.
     *
     * @param value  the address
     * @param tenBit whether it has 10 bits
     * @throws IllegalArgumentException if the value does not fit
     */
    public I2cAddress {
        int max = tenBit ? 0x3FF : 0x7F;
        if (value < 0 || value > max) {
            throw new IllegalArgumentException("A " + (tenBit ? "10" : "7") + "-bit I2C address is 0 to 0x"
                    + Integer.toHexString(max) + ", not 0x" + Integer.toHexString(value));
        }
    }

    /**
     * A 7-bit address.
     *
     * @param value 0 to 0x7F, without the read/write bit
     * @return the address
     * @throws IllegalArgumentException if the value does not fit
     */
    public static I2cAddress of(int value) {
        return new I2cAddress(value, false);
    }

    /**
     * A 10-bit address.
     *
     * @param value 0 to 0x3FF
     * @return the address
     * @throws IllegalArgumentException if the value does not fit
     */
    public static I2cAddress tenBit(int value) {
        return new I2cAddress(value, true);
    }

    /** The address in hex, as messages name it: 0x48, or 0x1A5 (10-bit). */
    @Override
    public String toString() {
        // Every transaction names its address for a possible failure: no Formatter on that path.
        String hex = Integer.toHexString(value).toUpperCase(Locale.ROOT);
        String digits = "0".repeat(Math.max(0, (tenBit ? 3 : 2) - hex.length())) + hex;
        return "0x" + digits + (tenBit ? " (10-bit)" : "");
    }
}
