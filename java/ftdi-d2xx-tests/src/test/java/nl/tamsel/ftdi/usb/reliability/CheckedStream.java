package nl.tamsel.ftdi.usb.reliability;

import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.util.Random;
import nl.tamsel.ftdi.usb.D2XX;

/**
 * Test traffic that can be checked byte for byte: byte {@code k} of a stream is a fixed function
 * of the stream's seed and {@code k}, so a reader checks what it receives without sharing state
 * with the writer. A lost, repeated or reordered byte shows as a mismatch at its position.
 */
final class CheckedStream {

    /** Chunks up to this length take both the bridge's stack path (to 256 bytes) and its heap path. */
    private static final int MAX_CHUNK = 700;

    private final long seed;

    CheckedStream(long seed) {
        this.seed = seed;
    }

    /** Byte {@code position} of the stream (a SplitMix64 step, so neighbours look unrelated). */
    byte at(long position) {
        long z = seed + position * 0x9E37_79B9_7F4A_7C15L;
        z = (z ^ (z >>> 30)) * 0xBF58_476D_1CE4_E5B9L;
        z = (z ^ (z >>> 27)) * 0x94D0_49BB_1331_11EBL;
        return (byte) (z ^ (z >>> 31));
    }

    void fill(byte[] buffer, int offset, int length, long position) {
        for (int i = 0; i < length; i++) {
            buffer[offset + i] = at(position + i);
        }
    }

    /** Fails unless {@code buffer[offset .. offset+length-1]} continues the stream at {@code position}. */
    void check(byte[] buffer, int offset, int length, long position) {
        for (int i = 0; i < length; i++) {
            if (buffer[offset + i] != at(position + i)) {
                fail("byte " + (position + i) + " of stream " + seed + " is wrong: a byte was lost, repeated or"
                        + " reordered before it");
            }
        }
    }

    /** A chunk length from 1 to {@code MAX_CHUNK}, and never past {@code remaining}. */
    static int chunk(Random random, long remaining) {
        return (int) Math.min(remaining, 1 + random.nextInt(MAX_CHUNK));
    }

    /**
     * Writes {@code total} bytes of the stream in chunks of random length at random array offsets,
     * resending whatever a short write left over; {@code between} runs after every write.
     */
    void write(long handle, long total, Random random, Runnable between) {
        byte[] buffer = new byte[MAX_CHUNK + 16];
        long position = 0;
        while (position < total) {
            int offset = random.nextInt(16);
            int length = chunk(random, total - position);
            fill(buffer, offset, length, position);
            int written = D2XX.write(handle, buffer, offset, length);
            assertTrue(written >= 0 && written <= length, "write returned " + written + " for " + length + " bytes");
            position += written;
            between.run();
        }
    }

    /**
     * Reads until {@code total} bytes of the stream have arrived, checking each; {@code between}
     * runs after every read. Fails after {@code maxEmptyReads} reads in a row that brought nothing
     * (each waits for the device's read timeout), so that a lost byte cannot make it wait for ever.
     */
    void read(long handle, long total, Random random, int maxEmptyReads, Runnable between) {
        byte[] buffer = new byte[MAX_CHUNK + 16];
        long position = 0;
        int emptyReads = 0;
        while (position < total) {
            int offset = random.nextInt(16);
            int length = chunk(random, total - position);
            int received = D2XX.read(handle, buffer, offset, length);
            assertTrue(received >= 0 && received <= length, "read returned " + received + " for " + length + " bytes");
            check(buffer, offset, received, position);
            position += received;
            emptyReads = received == 0 ? emptyReads + 1 : 0;
            if (emptyReads == maxEmptyReads) {
                fail("only " + position + " of " + total + " bytes of stream " + seed + " arrived");
            }
            between.run();
        }
    }
}
