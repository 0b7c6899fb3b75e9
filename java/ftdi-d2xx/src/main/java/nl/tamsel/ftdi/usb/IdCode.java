package nl.tamsel.ftdi.usb;

/**
 * A device's 32-bit JTAG IDCODE: bit 0 is 1; bits 1 to 11 name the manufacturer (JEP106: the ID
 * within its bank in bits 1 to 7, the bank less one in bits 8 to 11); bits 12 to 27 the part;
 * bits 28 to 31 the version.
 *
 * @param value the 32 bits
 */
public record IdCode(int value) {

    /**
     * Checks the value.
     *
     * @param value a valid IDCODE: bit 0 set, not all ones
     * @throws IllegalArgumentException if bit 0 is clear or every bit is set (which an open TDO reads)
     */
    public IdCode {
        if ((value & 1) == 0 || value == -1) {
            throw new IllegalArgumentException(String.format("0x%08X is not an IDCODE: bit 0 is 1 and not every bit"
                    + " is", value));
        }
    }

    /**
     * The manufacturer's JEP106 bank, 1 to 16: one more than its number of continuation codes.
     *
     * @return the bank
     */
    public int manufacturerBank() {
        return (value >>> 8 & 0xF) + 1;
    }

    /**
     * The manufacturer's JEP106 ID within its bank, without the parity bit: 0 to 127.
     *
     * @return the ID
     */
    public int manufacturerId() {
        return value >>> 1 & 0x7F;
    }

    /**
     * The part number, bits 12 to 27.
     *
     * @return 0 to 0xFFFF
     */
    public int part() {
        return value >>> 12 & 0xFFFF;
    }

    /**
     * The version, bits 28 to 31.
     *
     * @return 0 to 15
     */
    public int version() {
        return value >>> 28;
    }

    /** Such as {@code 0x1234A0F3 (manufacturer bank 1 ID 0x79, part 0x234A, version 1)}. */
    @Override
    public String toString() {
        return String.format("0x%08X (manufacturer bank %d ID 0x%02X, part 0x%04X, version %d)", value,
                manufacturerBank(), manufacturerId(), part(), version());
    }
}
