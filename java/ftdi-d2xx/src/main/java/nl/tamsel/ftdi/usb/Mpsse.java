package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.time.Duration;
import java.util.Arrays;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.locks.LockSupport;
import java.util.concurrent.locks.ReentrantLock;

/**
 * A device's MPSSE engine and the command buffer its masters build transactions in. A
 * transaction is built into one reused byte array, ended with send-immediate (0x87) when it
 * expects a reply, written with one driver write, and its reply read with one driver read of
 * exactly the expected byte count; no objects are made per byte.
 *
 * <p>It also keeps the 16 pins' levels and directions (bit n: ADBUS n for n < 8, ACBUS n-8),
 * restated by every set-pins command, and which function owns which pin.
 *
 * <p>Callers hold {@link #lock} from building a transaction to reading its reply.
 */
final class Mpsse {

    static final int SET_LOW = 0x80;
    static final int READ_LOW = 0x81;
    static final int SET_HIGH = 0x82;
    static final int READ_HIGH = 0x83;
    static final int LOOPBACK_OFF = 0x85;
    static final int DIVISOR = 0x86;
    static final int SEND_IMMEDIATE = 0x87;
    static final int DIVIDE_BY_5_OFF = 0x8A;
    static final int THREE_PHASE_ON = 0x8C;
    static final int THREE_PHASE_OFF = 0x8D;
    static final int ADAPTIVE_OFF = 0x97;
    static final int DRIVE_ZERO = 0x9E;
    static final int BAD_OPCODE = 0xAA;
    static final int BAD_COMMAND_REPLY = 0xFA;

    /** The most bytes one data command clocks. */
    static final int MAX_CHUNK = 65_536;
    /** How long a reply may take before the transaction fails (the read timeout set on entry). */
    static final Duration REPLY_TIMEOUT = Duration.ofSeconds(1);
    private static final int USB_TRANSFER_SIZE = 65_536;
    private static final int LATENCY_MILLIS = 2;
    private static final int MODE_MPSSE = 0x02;
    private static final long SETTLE_NANOS = TimeUnit.MILLISECONDS.toNanos(10);
    private static final int SYNC_ATTEMPTS = 4;

    final ReentrantLock lock = new ReentrantLock();
    final DevicePort port;
    final DeviceType type;
    /** 60 MHz base clock, three-phase clocking and the other H-series commands. */
    final boolean hiSpeed;
    /** 0x9E, true open drain per pin (FT232H). */
    final boolean driveZero;
    /** GPIOH pins on the high byte. */
    final int highPins;

    private byte[] out = new byte[512];
    private int outLength;
    private byte[] reply = new byte[64];
    private int replyLength;
    /** Pin levels and directions, bits 0-7 ADBUS, 8-15 ACBUS. */
    int levels;
    int directions;
    private final String[] owners = new String[16];
    private final String user;
    private boolean closed;

    private Mpsse(DevicePort port, DeviceType type, String user) {
        this.port = port;
        this.user = user;
        this.type = type;
        this.hiSpeed = type == DeviceType.FT_DEVICE_2232H || type == DeviceType.FT_DEVICE_4232H
                || type == DeviceType.FT_DEVICE_232H;
        this.driveZero = type == DeviceType.FT_DEVICE_232H;
        this.highPins = type == DeviceType.FT_DEVICE_4232H ? 0 : type == DeviceType.FT_DEVICE_2232C ? 4 : 8;
    }

    /** The MPSSE's base clock in Hz: 60 MHz on H chips (divide-by-5 off), else 12 MHz. */
    int baseClock() {
        return hiSpeed ? 60_000_000 : 12_000_000;
    }

    /**
     * Enters MPSSE mode: reset, purge, USB parameters, special characters off, timeouts, latency,
     * flow control, bit mode 0 then 2, synchronisation by a bad opcode, then the clock settings
     * and pins, stated explicitly since the power-on defaults are not known.
     */
    static Mpsse enter(DevicePort port, String user, int divisor, boolean threePhase, int levels, int directions,
            int driveZeroMask) throws IOException {
        DeviceType type = port.type();
        if (type != DeviceType.FT_DEVICE_2232C && type != DeviceType.FT_DEVICE_2232H
                && type != DeviceType.FT_DEVICE_4232H && type != DeviceType.FT_DEVICE_232H) {
            throw new FtdiException("Entering MPSSE mode (the " + type.displayName() + " has no MPSSE; the FT2232D,"
                    + " FT2232H, FT4232H and FT232H have)", port.name(), FtdiStatus.FT_NOT_SUPPORTED.code());
        }
        Mpsse mpsse = new Mpsse(port, type, user);
        port.claimPins(mpsse);
        try {
            mpsse.start(divisor, threePhase, levels, directions, driveZeroMask);
            return mpsse;
        } catch (IOException | RuntimeException e) {
            port.releasePins(mpsse);
            throw e;
        }
    }

    private void start(int divisor, boolean threePhase, int startLevels, int startDirections, int driveZeroMask)
            throws IOException {
        port.prepareForCommands(USB_TRANSFER_SIZE, REPLY_TIMEOUT, Duration.ofMillis(LATENCY_MILLIS));
        port.setBitMode(0, 0, "Resetting the bit mode");
        port.setBitMode(0, MODE_MPSSE, "Entering MPSSE mode");
        LockSupport.parkNanos(SETTLE_NANOS);
        synchronise();
        levels = startLevels;
        directions = startDirections;
        lock.lock();
        try {
            if (hiSpeed) {
                add(DIVIDE_BY_5_OFF);
                add(ADAPTIVE_OFF);
                add(threePhase ? THREE_PHASE_ON : THREE_PHASE_OFF);
            }
            if (driveZero) {
                add(DRIVE_ZERO, driveZeroMask & 0xFF, driveZeroMask >>> 8 & 0xFF);
            }
            add(DIVISOR, divisor & 0xFF, divisor >>> 8);
            setLow();
            if (highPins > 0) {
                setHigh();
            }
            add(LOOPBACK_OFF);
            execute("Setting up the MPSSE");
        } finally {
            lock.unlock();
        }
    }

    /** Writes a bad opcode until the engine answers 0xFA 0xAA, which proves it is in step. */
    private void synchronise() throws IOException {
        byte[] badOpcode = {(byte) BAD_OPCODE};
        byte[] answer = new byte[2];
        for (int attempt = 0; attempt < SYNC_ATTEMPTS; attempt++) {
            port.exchange(badOpcode, 1, answer, 2, "Synchronising with the MPSSE");
            if ((answer[0] & 0xFF) == BAD_COMMAND_REPLY && (answer[1] & 0xFF) == BAD_OPCODE) {
                return;
            }
            port.purgeReceiveQueue();
        }
        throw new FtdiException("Synchronising with the MPSSE (it answered 0x" + Integer.toHexString(answer[0] & 0xFF)
                + " 0x" + Integer.toHexString(answer[1] & 0xFF) + " to the bad opcode 0xAA, not 0xFA 0xAA)",
                port.name(), FtdiStatus.FT_OTHER_ERROR.code());
    }

    // ---- Pins ---------------------------------------------------------------------------------

    /** Marks pins as a function's own, so that the GPIO calls refuse them. */
    void own(int pin, String owner) {
        owners[pin] = owner;
    }

    /** The function that owns a pin, or null when it is free. */
    String owner(int pin) {
        return owners[pin];
    }

    /** Whether the chip has the pin: ADBUS always, ACBUS up to its GPIOH count. */
    boolean hasPin(int pin) {
        return pin >= 0 && pin < 8 + highPins;
    }

    // ---- Building a transaction ---------------------------------------------------------------

    void add(int op) {
        ensure(1);
        out[outLength++] = (byte) op;
    }

    void add(int op, int a) {
        ensure(2);
        out[outLength++] = (byte) op;
        out[outLength++] = (byte) a;
    }

    void add(int op, int a, int b) {
        ensure(3);
        out[outLength++] = (byte) op;
        out[outLength++] = (byte) a;
        out[outLength++] = (byte) b;
    }

    /** Restates the low byte's levels and directions (ADBUS). */
    void setLow() {
        add(SET_LOW, levels & 0xFF, directions & 0xFF);
    }

    /** Restates the high byte's levels and directions (ACBUS). */
    void setHigh() {
        add(SET_HIGH, levels >>> 8 & 0xFF, directions >>> 8 & 0xFF);
    }

    /** Clocks bytes out with a byte-mode command, split into chunks the command can count. */
    void clockOut(int opcode, byte[] data, int offset, int length) {
        while (length > 0) {
            int chunk = Math.min(length, MAX_CHUNK);
            add(opcode, (chunk - 1) & 0xFF, (chunk - 1) >>> 8);
            ensure(chunk);
            System.arraycopy(data, offset, out, outLength, chunk);
            outLength += chunk;
            offset += chunk;
            length -= chunk;
        }
    }

    /** Clocks bytes in with a byte-mode command; the reply grows by length bytes. */
    void clockIn(int opcode, int length) {
        while (length > 0) {
            int chunk = Math.min(length, MAX_CHUNK);
            add(opcode, (chunk - 1) & 0xFF, (chunk - 1) >>> 8);
            replyLength += chunk;
            length -= chunk;
        }
    }

    /** Clocks bytes out and in at once; the reply grows by length bytes. */
    void clockBoth(int opcode, byte[] data, int offset, int length) {
        int before = replyLength;
        clockOut(opcode, data, offset, length);
        replyLength = before + length;
    }

    /** Expects reply bytes from commands added by hand. */
    void expect(int bytes) {
        replyLength += bytes;
    }

    int replyLength() {
        return replyLength;
    }

    int outLength() {
        return outLength;
    }

    private void ensure(int more) {
        if (out.length - outLength < more) {
            out = Arrays.copyOf(out, Math.max(out.length * 2, outLength + more));
        }
    }

    /**
     * Sends the transaction built so far (with 0x87 when it expects a reply) in one driver write,
     * and reads its reply in one driver read.
     *
     * @return the reply buffer, valid up to the expected count until the next transaction
     */
    byte[] execute(String what) throws IOException {
        int expected = replyLength;
        if (expected > 0) {
            add(SEND_IMMEDIATE);
        }
        if (reply.length < expected) {
            reply = new byte[Math.max(expected, reply.length * 2)];
        }
        int length = outLength;
        outLength = 0;
        replyLength = 0;
        port.exchange(out, length, reply, expected, what);
        return reply;
    }

    /**
     * Writes the commands built so far with one driver write and reads nothing, for a function
     * that pipelines and reads their replies later with {@link #receive}. With {@code flush} they
     * end with send-immediate (0x87), so that their replies come back at once.
     */
    void send(boolean flush, String what) throws IOException {
        if (flush) {
            add(SEND_IMMEDIATE);
        }
        int length = outLength;
        outLength = 0;
        replyLength = 0;
        if (length > 0) {
            port.write(out, 0, length, what);
        }
    }

    /**
     * Reads exactly {@code count} reply bytes of commands {@link #send sent} before, with one
     * driver read.
     *
     * @return the reply buffer, valid up to {@code count} until the next transaction
     */
    byte[] receive(int count, String what) throws IOException {
        if (reply.length < count) {
            reply = new byte[Math.max(count, reply.length * 2)];
        }
        port.read(reply, 0, count, what);
        return reply;
    }

    /** Drops a transaction that was being built. */
    void discard() {
        outLength = 0;
        replyLength = 0;
    }

    // ---- Ending -------------------------------------------------------------------------------

    void checkOpen() {
        if (closed) {
            throw new IllegalStateException(user + " is closed");
        }
    }

    /** Names the function using the engine, for messages about its pins. */
    @Override
    public String toString() {
        return user;
    }

    /** Leaves MPSSE mode (bit mode reset) and gives the pins back; again does nothing. */
    void close() throws FtdiException {
        lock.lock();
        try {
            if (closed) {
                return;
            }
            closed = true;
        } finally {
            lock.unlock();
        }
        port.leavePinMode(this, "Leaving MPSSE mode");
    }
}
