package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.util.Arrays;

/**
 * Sends a command stream built into one buffer so that the replies not yet read never exceed
 * the device's reply bound ({@link DevicePort#replyBound()}). A chip's engine stops taking
 * commands when its replies have nowhere to go, so a host that writes a long stream before
 * reading anything runs into its write timeout.
 *
 * <p>The builder cuts the stream into segments: whenever the next command's reply would take the
 * current segment past half the bound, it ends the segment with a command that sends the replies
 * at once (the MPSSE's 0x87) and records the cut here. A stream whose whole reply fits the bound
 * goes in one write and one read, as before. A longer one is pipelined: segment n+1 is written
 * while segment n's replies are still on their way, and a segment is read only when writing the
 * next would leave more than the bound unread, so the engine always has commands to work on
 * while the host reads. Nothing here knows the commands: the SPI and I2C masters, the pins and
 * the JTAG batch share it.
 *
 * <p>Not for several threads: its owner's lock guards it.
 */
final class ReplyPipeline {

    /** End of each segment but the last: position in the command buffer and in the reply. */
    private int[] cutOut = new int[8];
    private int[] cutReply = new int[8];
    private int cuts;

    /**
     * Whether {@code more} reply bytes would take the current segment past half the bound; the
     * builder then ends the segment (send-immediate) and calls {@link #cut} before adding them.
     *
     * @param replyLength the reply bytes the stream brings so far
     * @param more        the reply bytes of the next command
     * @param bound       the device's reply bound
     */
    boolean needsCut(int replyLength, int more, int bound) {
        int segment = replyLength - (cuts == 0 ? 0 : cutReply[cuts - 1]);
        return segment > 0 && segment + more > slice(bound);
    }

    /** The most reply bytes one segment brings: half the bound, so two can be on their way. */
    static int slice(int bound) {
        return Math.max(1, bound / 2);
    }

    /** Ends a segment after {@code outLength} command bytes that bring {@code replyLength} reply bytes. */
    void cut(int outLength, int replyLength) {
        if (cuts == cutOut.length) {
            cutOut = Arrays.copyOf(cutOut, cuts * 2);
            cutReply = Arrays.copyOf(cutReply, cuts * 2);
        }
        cutOut[cuts] = outLength;
        cutReply[cuts] = replyLength;
        cuts++;
    }

    /** Forgets the cuts, for the next stream. */
    void clear() {
        cuts = 0;
    }

    /**
     * Sends the stream and reads its whole reply: one exchange when the reply fits the bound,
     * else segment by segment, pipelined. The cuts are cleared whatever happens.
     *
     * @throws java.nio.channels.AsynchronousCloseException if close ended the transfer
     * @throws FtdiException if the driver fails, the device takes no byte for the write timeout,
     *                       or a reply does not come within the read timeout
     */
    void run(DevicePort port, byte[] out, int outLength, byte[] reply, int replyLength, String what)
            throws IOException {
        try {
            int bound = port.replyBound();
            if (replyLength <= bound || cuts == 0) {
                port.exchange(out, outLength, reply, replyLength, what);
                return;
            }
            int segments = cuts + 1;
            int read = 0;
            int readSegments = 0;
            int written = 0;
            for (int s = 0; s < segments; s++) {
                int outEnd = s < cuts ? cutOut[s] : outLength;
                int replyEnd = s < cuts ? cutReply[s] : replyLength;
                // Read the oldest segments until this one's replies fit beside those still unread.
                while (read < written && replyEnd - read > bound) {
                    int end = cutReply[readSegments++];
                    port.read(reply, read, end - read, what);
                    read = end;
                }
                int outStart = s == 0 ? 0 : cutOut[s - 1];
                port.write(out, outStart, outEnd - outStart, what);
                written = replyEnd;
            }
            // The segments still unread fit the bound: one read takes them all.
            port.read(reply, read, replyLength - read, what);
        } finally {
            cuts = 0;
        }
    }
}
