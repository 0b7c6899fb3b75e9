package nl.tamsel.ftdi.svf;

import java.util.Arrays;

/**
 * An immutable string of bits as an SVF hex string gives it: bit 0 is the rightmost hex digit's
 * lowest bit and the first bit shifted. The bytes hold bit {@code i} in
 * {@code (bytes[i / 8] >> (i % 8)) & 1}; unused high bits of the last byte are 0.
 */
public final class SvfBits {

    private final int length;
    private final byte[] bytes;

    SvfBits(int length, byte[] bytes) {
        this.length = length;
        this.bytes = bytes;
    }

    /**
     * Bits from bytes in the order above.
     *
     * @param length the number of bits, at least 0
     * @param bytes  at least {@code ceil(length / 8)} bytes; bits past {@code length} are ignored
     * @return the bits (a copy)
     * @throws IllegalArgumentException when the length is negative or the bytes are too few
     */
    public static SvfBits of(int length, byte[] bytes) {
        int size = byteLength(length);
        if (bytes.length < size) {
            throw new IllegalArgumentException(length + " bits need " + size + " bytes, not " + bytes.length);
        }
        byte[] copy = Arrays.copyOf(bytes, size);
        clearUnused(length, copy);
        return new SvfBits(length, copy);
    }

    /**
     * A string of ones, the default of MASK and SMASK.
     *
     * @param length the number of bits, at least 0
     * @return {@code length} ones
     */
    public static SvfBits ones(int length) {
        byte[] bytes = new byte[byteLength(length)];
        Arrays.fill(bytes, (byte) 0xFF);
        clearUnused(length, bytes);
        return new SvfBits(length, bytes);
    }

    static int byteLength(int bits) {
        if (bits < 0) {
            throw new IllegalArgumentException("negative bit length " + bits);
        }
        return (int) ((bits + 7L) / 8);
    }

    static void clearUnused(int length, byte[] bytes) {
        if (length % 8 != 0) {
            bytes[length / 8] &= (byte) ((1 << (length % 8)) - 1);
        }
    }

    /** Header, body and trailer as one string, header bits first; the body itself when alone. */
    static SvfBits join(SvfBits header, SvfBits body, SvfBits trailer) {
        if (header.length == 0 && trailer.length == 0) {
            return body;
        }
        int total = header.length + body.length + trailer.length;
        byte[] out = new byte[byteLength(total)];
        append(out, 0, header);
        append(out, header.length, body);
        append(out, header.length + body.length, trailer);
        return new SvfBits(total, out);
    }

    private static void append(byte[] out, int offset, SvfBits part) {
        int shift = offset & 7;
        int base = offset >> 3;
        for (int i = 0; i < part.bytes.length; i++) {
            int value = part.bytes[i] & 0xFF;
            out[base + i] |= (byte) (value << shift);
            if (shift != 0 && base + i + 1 < out.length) {
                out[base + i + 1] |= (byte) (value >>> (8 - shift));
            }
        }
    }

    /** Whether {@code captured} equals these bits wherever {@code mask} is set. */
    boolean matches(byte[] captured, SvfBits mask) {
        for (int i = 0; i < bytes.length; i++) {
            if (((captured[i] ^ bytes[i]) & mask.bytes[i]) != 0) {
                return false;
            }
        }
        return true;
    }

    /**
     * The number of bits.
     *
     * @return the length
     */
    public int length() {
        return length;
    }

    /**
     * One bit.
     *
     * @param index 0 for the first bit shifted
     * @return the bit
     * @throws IndexOutOfBoundsException outside {@code 0..length-1}
     */
    public boolean bit(int index) {
        if (index < 0 || index >= length) {
            throw new IndexOutOfBoundsException("bit " + index + " of " + length);
        }
        return (bytes[index >> 3] >> (index & 7) & 1) != 0;
    }

    /**
     * The bits as bytes in the order above.
     *
     * @return a copy of {@code ceil(length / 8)} bytes
     */
    public byte[] toByteArray() {
        return bytes.clone();
    }

    /** The bytes themselves, for this package's code that never changes them. */
    byte[] raw() {
        return bytes;
    }

    /**
     * The bits as an SVF hex string's digits, most significant first.
     *
     * @return {@code ceil(length / 4)} upper-case hex digits, empty for no bits
     */
    public String toHex() {
        int digits = (length + 3) / 4;
        StringBuilder text = new StringBuilder(digits);
        for (int d = digits - 1; d >= 0; d--) {
            int nibble = (bytes[d >> 1] >> ((d & 1) * 4)) & 0xF;
            text.append(Character.toUpperCase(Character.forDigit(nibble, 16)));
        }
        return text.toString();
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof SvfBits && ((SvfBits) other).length == length
                && Arrays.equals(((SvfBits) other).bytes, bytes);
    }

    @Override
    public int hashCode() {
        return 31 * length + Arrays.hashCode(bytes);
    }

    /** The length and hex digits, as {@code 8:(A5)}. */
    @Override
    public String toString() {
        return length + ":(" + toHex() + ")";
    }
}
