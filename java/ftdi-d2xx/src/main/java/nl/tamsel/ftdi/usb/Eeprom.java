package nl.tamsel.ftdi.usb;

import java.util.Objects;

/**
 * A device's configuration EEPROM, word by word, and its user area: the bytes the configuration
 * and its strings leave free, for the application's own data. From {@link FtdiDevice#eeprom()};
 * any thread may use it, and once the device is closed every call throws
 * {@link IllegalStateException}.
 *
 * <p>Writing words changes the device's configuration (its IDs, strings, pin functions) from the
 * next time it is plugged in: a wrong word can make it unusable until it is written again.
 */
public final class Eeprom {

    /** The highest word offset the driver takes. */
    public static final int MAX_WORD_OFFSET = 0xFFFF;

    private final DevicePort port;

    Eeprom(DevicePort port) {
        this.port = port;
    }

    /**
     * Reads one 16-bit word.
     *
     * @param wordOffset the word's position, 0 to {@value #MAX_WORD_OFFSET}; the EEPROM's size
     *                   (64 to 1024 words) limits it further, which the driver judges
     * @return the word, 0 to 0xFFFF
     * @throws IllegalArgumentException if the offset is out of that range
     * @throws FtdiException            if the driver fails ({@link FtdiStatus#FT_EEPROM_NOT_PRESENT}, ...)
     */
    public int readWord(int wordOffset) throws FtdiException {
        checkOffset(wordOffset);
        return port.call("Reading EEPROM word " + wordOffset, h -> D2XXModes.readEE(h, wordOffset));
    }

    /**
     * Writes one 16-bit word.
     *
     * @param wordOffset the word's position, 0 to {@value #MAX_WORD_OFFSET}
     * @param value      the word, 0 to 0xFFFF
     * @throws IllegalArgumentException if the offset or value is out of range
     * @throws FtdiException            if the driver fails
     */
    public void writeWord(int wordOffset, int value) throws FtdiException {
        checkOffset(wordOffset);
        if (value < 0 || value > 0xFFFF) {
            throw new IllegalArgumentException("An EEPROM word is 0 to 0xFFFF, not " + value);
        }
        port.call("Writing EEPROM word " + wordOffset, h -> D2XXModes.writeEE(h, wordOffset, value));
    }

    /**
     * Erases the whole EEPROM, user area included.
     *
     * @throws FtdiException if the driver fails; chips with an internal EEPROM (FT232R, FT245R)
     *                       cannot erase it ({@link FtdiStatus#FT_EEPROM_ERASE_FAILED} as far as known)
     */
    public void erase() throws FtdiException {
        port.call("Erasing the EEPROM", D2XXModes::eraseEE);
    }

    /**
     * The size of the user area.
     *
     * @return bytes, 0 when the configuration leaves none
     * @throws FtdiException if the driver fails
     */
    public int userAreaSize() throws FtdiException {
        return port.call("Reading the EEPROM user area size", D2XXModes::eeUASize);
    }

    /**
     * Reads the whole user area.
     *
     * @return its bytes
     * @throws FtdiException if the driver fails
     */
    public byte[] readUserArea() throws FtdiException {
        byte[] bytes = new byte[userAreaSize()];
        int count = readUserArea(bytes, 0, bytes.length);
        return count == bytes.length ? bytes : java.util.Arrays.copyOf(bytes, count);
    }

    /**
     * Reads the start of the user area.
     *
     * @param buffer where the bytes go
     * @param offset the position in {@code buffer} of the first byte
     * @param length how many bytes at most
     * @return the count read: the smaller of {@code length} and the area's size
     * @throws IndexOutOfBoundsException if the region does not lie within {@code buffer}
     * @throws FtdiException             if the driver fails
     */
    public int readUserArea(byte[] buffer, int offset, int length) throws FtdiException {
        Objects.checkFromIndexSize(offset, length, buffer.length);
        return port.call("Reading " + length + " bytes of the EEPROM user area",
                h -> D2XXModes.eeUARead(h, buffer, offset, length));
    }

    /**
     * Writes the start of the user area.
     *
     * @param data the bytes, at most {@link #userAreaSize()} of them
     * @throws IllegalArgumentException if there are more bytes than the area holds
     * @throws FtdiException            if the driver fails
     */
    public void writeUserArea(byte[] data) throws FtdiException {
        Objects.requireNonNull(data, "data");
        int size = userAreaSize();
        if (data.length > size) {
            throw new IllegalArgumentException("The EEPROM user area holds " + size + " bytes, not " + data.length);
        }
        port.call("Writing " + data.length + " bytes of the EEPROM user area",
                h -> D2XXModes.eeUAWrite(h, data, 0, data.length));
    }

    private static void checkOffset(int wordOffset) {
        if (wordOffset < 0 || wordOffset > MAX_WORD_OFFSET) {
            throw new IllegalArgumentException("An EEPROM word offset is 0 to " + MAX_WORD_OFFSET + ", not " + wordOffset);
        }
    }

    @Override
    public String toString() {
        return "Eeprom[" + port + "]";
    }
}
