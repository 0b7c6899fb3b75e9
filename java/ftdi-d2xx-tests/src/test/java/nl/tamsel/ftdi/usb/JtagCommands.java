package nl.tamsel.ftdi.usb;

import java.io.ByteArrayOutputStream;
import java.math.BigInteger;
import java.util.ArrayList;
import java.util.List;

/**
 * Hand-built MPSSE commands for JTAG on AD0 (TCK), AD1 (TDI), AD2 (TDO) and AD3 (TMS): TMS moves
 * with 0x4B, data with 0x39/0x3B (out on the falling edge, in on the rising edge, LSB first), a
 * scan's last bit with 0x6B (TMS high), and clock-only waits with 0x8E/0x8F. Remembers how to
 * take each capturing scan's bits out of the replies.
 */
final class JtagCommands {

    final ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    private final List<int[]> scans = new ArrayList<>();  // per scan: bits, reply bytes
    private int replies;

    /** TCK low, TDI low, TMS high; TCK, TDI and TMS outputs. */
    JtagCommands start() {
        bytes.writeBytes(new byte[] {(byte) 0x80, 0x08, 0x0B});
        return this;
    }

    /** TMS levels, first character first, TDI held low. */
    JtagCommands tms(String levels) {
        for (int at = 0; at < levels.length(); at += 7) {
            String chunk = levels.substring(at, Math.min(levels.length(), at + 7));
            int value = 0;
            for (int i = 0; i < chunk.length(); i++) {
                value |= (chunk.charAt(i) == '1' ? 1 : 0) << i;
            }
            bytes.writeBytes(new byte[] {0x4B, (byte) (chunk.length() - 1), (byte) value});
        }
        return this;
    }

    /** From Run-Test/Idle: shifts {@code bits} bits of {@code tdi} (bit 0 first) through the IR or DR and returns to Run-Test/Idle. */
    JtagCommands scan(boolean ir, int bits, long tdi) {
        return scan(ir, bits, BigInteger.valueOf(tdi));
    }

    /** As {@link #scan(boolean, int, long)}, for any length. */
    JtagCommands scan(boolean ir, int bits, BigInteger tdi) {
        tms(ir ? "1100" : "100");
        int before = replies;
        int body = bits - 1;
        int wholeBytes = body / 8;
        if (wholeBytes > 0) {
            bytes.writeBytes(new byte[] {0x39, (byte) (wholeBytes - 1), (byte) ((wholeBytes - 1) >> 8)});
            for (int i = 0; i < wholeBytes; i++) {
                bytes.write(tdi.shiftRight(8 * i).intValue() & 0xFF);
            }
            replies += wholeBytes;
        }
        int rest = body % 8;
        if (rest > 0) {
            bytes.writeBytes(new byte[] {0x3B, (byte) (rest - 1), (byte) tdi.shiftRight(8 * wholeBytes).intValue()});
            replies++;
        }
        int last = tdi.testBit(body) ? 1 : 0;
        bytes.writeBytes(new byte[] {0x6B, 0x00, (byte) (last << 7 | 0x01)});
        replies++;
        scans.add(new int[] {bits, replies - before});
        return tms("10");
    }

    /** Clocks TCK {@code clocks} times with TMS and TDI held, by clock-only commands. */
    JtagCommands idle(long clocks) {
        long left = clocks;
        while (left >= 8) {
            long units = Math.min(left / 8, 0x10000);
            bytes.writeBytes(new byte[] {(byte) 0x8F, (byte) (units - 1), (byte) ((units - 1) >> 8)});
            left -= units * 8;
        }
        if (left > 0) {
            bytes.writeBytes(new byte[] {(byte) 0x8E, (byte) (left - 1)});
        }
        return this;
    }

    int replyCount() {
        return replies;
    }

    /** The captured bits of every scan, in order, bit 0 of each value first shifted out. */
    List<BigInteger> captured(byte[] reply) {
        List<BigInteger> values = new ArrayList<>();
        int at = 0;
        for (int[] scan : scans) {
            int bits = scan[0];
            int body = bits - 1;
            BigInteger value = BigInteger.ZERO;
            int wholeBytes = body / 8;
            for (int i = 0; i < wholeBytes; i++) {
                value = value.or(BigInteger.valueOf(reply[at++] & 0xFFL).shiftLeft(8 * i));
            }
            int rest = body % 8;
            if (rest > 0) {
                value = value.or(BigInteger.valueOf((reply[at++] & 0xFFL) >> (8 - rest)).shiftLeft(8 * wholeBytes));
            }
            if (((reply[at++] >> 7) & 1) != 0) {
                value = value.setBit(body);
            }
            values.add(value);
        }
        return values;
    }
}
