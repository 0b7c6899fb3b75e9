package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Optional;

/**
 * The two scans of a chain scan and how their bits are read. After a reset every device's data
 * register is its IDCODE (32 bits, bit 0 set) or BYPASS (one bit, 0): a data scan shifting ones
 * reads them from the TDO end until the ones come through (an all-ones "IDCODE"). An instruction
 * scan shifting zeros, then ones, counts the bits until the first one comes through: the total
 * instruction register length. Its first two bits are the capture pattern's 01 of the device
 * nearest TDO, which an open or stuck TDO cannot fake.
 */
final class ChainScanner {

    /** The most devices a chain scan recognises. */
    static final int MAX_DEVICES = 64;
    /** The longest total instruction register a chain scan measures. */
    static final int MAX_IR_BITS = 2048;

    private static final int IDCODE_BITS = 32;
    private static final int DR_BITS = IDCODE_BITS * MAX_DEVICES + IDCODE_BITS;
    private static final int MIN_IR_LENGTH = 2;

    private ChainScanner() {
    }

    /** Adds the reset, the data scan, the instruction scan and the final reset. */
    static void addScans(JtagBatch batch) throws IOException {
        byte[] zerosThenOnes = new byte[2 * MAX_IR_BITS / 8];
        Arrays.fill(zerosThenOnes, MAX_IR_BITS / 8, zerosThenOnes.length, (byte) 0xFF);
        batch.reset()
                .scanDr(DR_BITS, null, TapState.RUN_TEST_IDLE)
                .scanIr(2 * MAX_IR_BITS, zerosThenOnes, TapState.RUN_TEST_IDLE)
                .reset();
    }

    static ChainScan decode(byte[] dr, byte[] ir) {
        if (all(dr, DR_BITS, 1) && all(ir, 2 * MAX_IR_BITS, 1)) {
            return failed(ChainScan.Status.TDO_OPEN);
        }
        if (all(dr, DR_BITS, 0) && all(ir, 2 * MAX_IR_BITS, 0)) {
            return failed(ChainScan.Status.TDO_SHORTED);
        }
        List<ChainDevice> fromTdo = new ArrayList<>();
        int at = 0;
        while (true) {
            if (bit(dr, at) == 0) {
                fromTdo.add(new ChainDevice(0, Optional.empty()));
                at++;
            } else {
                if (at + IDCODE_BITS > DR_BITS) {
                    return failed(ChainScan.Status.UNRECOGNISED);
                }
                int value = bits(dr, at, IDCODE_BITS);
                at += IDCODE_BITS;
                if (value == -1) {
                    break;
                }
                fromTdo.add(new ChainDevice(0, Optional.of(new IdCode(value))));
            }
            if (fromTdo.size() > MAX_DEVICES) {
                return failed(ChainScan.Status.UNRECOGNISED);
            }
        }
        int irLength = irLength(ir);
        if (fromTdo.isEmpty() || irLength < MIN_IR_LENGTH * fromTdo.size() || bit(ir, 0) != 1 || bit(ir, 1) != 0) {
            return failed(ChainScan.Status.UNRECOGNISED);
        }
        Collections.reverse(fromTdo);
        List<ChainDevice> devices = new ArrayList<>(fromTdo.size());
        for (int i = 0; i < fromTdo.size(); i++) {
            devices.add(new ChainDevice(i, fromTdo.get(i).idcode()));
        }
        return new ChainScan(ChainScan.Status.OK, devices, irLength);
    }

    /** The bits until the first one of the second half came out, or -1 when that is no clean edge. */
    private static int irLength(byte[] ir) {
        for (int at = MAX_IR_BITS; at < 2 * MAX_IR_BITS; at++) {
            if (bit(ir, at) == 1) {
                int length = at - MAX_IR_BITS;
                // The zeros shifted in must come out whole before the ones.
                for (int zero = length; zero < at; zero++) {
                    if (bit(ir, zero) != 0) {
                        return -1;
                    }
                }
                return length;
            }
        }
        return -1;
    }

    private static ChainScan failed(ChainScan.Status status) {
        return new ChainScan(status, List.of(), 0);
    }

    private static boolean all(byte[] bytes, int bits, int value) {
        for (int i = 0; i < bits; i++) {
            if (bit(bytes, i) != value) {
                return false;
            }
        }
        return true;
    }

    private static int bit(byte[] bytes, int index) {
        return bytes[index / 8] >> (index % 8) & 1;
    }

    private static int bits(byte[] bytes, int from, int count) {
        int value = 0;
        for (int i = 0; i < count; i++) {
            value |= bit(bytes, from + i) << i;
        }
        return value;
    }
}
