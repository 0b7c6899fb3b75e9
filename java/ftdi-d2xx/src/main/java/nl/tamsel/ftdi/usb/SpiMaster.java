package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.nio.ByteOrder;
import java.util.ArrayList;
import java.util.List;
import java.util.Objects;

/**
 * An SPI master on a device's MPSSE engine, from {@link FtdiDevice#spiMaster(SpiConfig)}. SCK is
 * ADBUS0, MOSI ADBUS1, MISO ADBUS2; the chip select is the pin the configuration names.
 *
 * <pre>{@code
 * try (FtdiDevice device = FtdiDevice.openByIndex(0);
 *      SpiMaster spi = device.spiMaster(SpiConfig.builder().clockHz(10_000_000).build())) {
 *     byte[] id = spi.writeThenRead(new byte[] {(byte) 0x9F}, 3);   // a flash's JEDEC ID
 * }
 * }</pre>
 *
 * <h2>Frames and round trips</h2>
 * Each call is one chip-select frame: select, clock, deselect, built into one USB write (one
 * driver write) and, when it reads, one driver read of exactly the bytes read. A
 * {@link #transaction()} keeps the device selected across several calls; a {@link #batch()} sends
 * many frames in one write.
 *
 * <h2>Modes</h2>
 * Modes 0 and 2 use the engine's clocking commands (data out on one clock edge, in on the other).
 * The engine has no correct command for modes 1 and 3 (CPHA = 1): reported attempts with the
 * opposite edges glitch at the start of a burst or lose the last bit of a byte. So modes 1 and 3
 * move each bit with pin commands instead (leading edge with the data bit, sample, trailing
 * edge): correct on every chip, still one write and one read per frame, but each bit takes about
 * three pin commands, so the clock is well below {@link #clockHz()} and the USB transfer about
 * seven times larger. Use mode 0 or 2 where the device allows it (SPI flashes take mode 0 as well
 * as 3).
 *
 * <h2>Threads and closing</h2>
 * Any thread may use a master; frames are serialised. After {@link #close()}, or once the device
 * is closed, calls throw {@link IllegalStateException}; a frame under way when the device closes
 * throws {@link java.nio.channels.AsynchronousCloseException}.
 */
public final class SpiMaster implements AutoCloseable {

    private static final int SCK = 1;
    private static final int MOSI = 1 << 1;
    private static final int MISO = 1 << 2;
    private static final int LSB_FIRST = 0x08;

    private final Mpsse mpsse;
    private final SpiConfig config;
    private final int csBit;
    private final boolean native02;
    private final boolean lsbFirst;
    private final int clockIdle;
    private final int writeOp;
    private final int readOp;
    private final int duplexOp;
    private final int actualHz;
    private final MpssePins pins;

    private SpiMaster(Mpsse mpsse, SpiConfig config, int actualHz) {
        this.mpsse = mpsse;
        this.config = config;
        this.csBit = 1 << config.chipSelect();
        this.native02 = config.mode() % 2 == 0;
        this.lsbFirst = config.bitOrder() == ByteOrder.LITTLE_ENDIAN;
        this.clockIdle = config.mode() >= 2 ? SCK : 0;
        int order = lsbFirst ? LSB_FIRST : 0;
        // Mode 0 (idle low): out on the falling edge, in on the rising; mode 2 (idle high): the reverse.
        this.writeOp = (config.mode() == 0 ? 0x11 : 0x10) | order;
        this.readOp = (config.mode() == 0 ? 0x20 : 0x24) | order;
        this.duplexOp = (config.mode() == 0 ? 0x31 : 0x34) | order;
        this.actualHz = actualHz;
        this.pins = new MpssePins(mpsse);
    }

    static SpiMaster open(DevicePort port, SpiConfig config) throws IOException {
        DeviceType type = port.type();
        int base = type == DeviceType.FT_DEVICE_2232C ? 12_000_000 : 60_000_000;
        int divisor = divisor(base, config.clockHz());
        int actual = base / ((1 + divisor) * 2);
        int cs = config.chipSelect();
        int csInactive = config.chipSelectActiveHigh() ? 0 : 1 << cs;
        int idle = config.mode() >= 2 ? SCK : 0;
        Mpsse mpsse = Mpsse.enter(port, "SpiMaster[" + port + ", mode " + config.mode() + ", " + actual + " Hz]", divisor, false, idle | csInactive, SCK | MOSI | 1 << cs, 0);
        if (!mpsse.hasPin(cs)) {
            mpsse.close();
            throw new IllegalArgumentException("The " + type.displayName() + " has no MPSSE pin " + cs
                    + " for the chip select; it has pins 3 to " + (7 + mpsse.highPins));
        }
        mpsse.own(0, "SPI clock (SCK)");
        mpsse.own(1, "SPI data out (MOSI)");
        mpsse.own(2, "SPI data in (MISO)");
        mpsse.own(cs, "SPI chip select");
        return new SpiMaster(mpsse, config, actual);
    }

    /** The smallest divisor whose clock base / ((1 + d) * 2) is not above the wish, within 0..0xFFFF. */
    static int divisor(int base, int clockHz) {
        int max = base / 2;
        int min = base / (0x10000 * 2);
        if (clockHz > max || clockHz < min + 1) {
            throw new IllegalArgumentException("This chip's SPI clock is " + (min + 1) + " to " + max + " Hz, not "
                    + clockHz);
        }
        long d = ((long) base + 2L * clockHz - 1) / (2L * clockHz) - 1;
        return (int) Math.max(0, Math.min(0xFFFF, d));
    }

    /**
     * The clock frequency set: base / ((1 + divisor) * 2) with base 60 MHz (12 MHz on the
     * FT2232D), the highest not above the one asked for. In modes 1 and 3 the bits go slower.
     *
     * @return Hz
     */
    public int clockHz() {
        return actualHz;
    }

    /**
     * The configuration this master was made with.
     *
     * @return the configuration
     */
    public SpiConfig config() {
        return config;
    }

    /**
     * The MPSSE pins this master leaves free, for general I/O.
     *
     * @return the pins; the clock, data and chip select pins are refused
     */
    public MpssePins pins() {
        return pins;
    }

    /**
     * Writes bytes in one frame, ignoring what comes in.
     *
     * @param data the bytes
     * @throws IllegalStateException      if the master or device is closed
     * @throws java.nio.channels.AsynchronousCloseException if the device is closed meanwhile
     * @throws FtdiException              if the driver fails
     * @throws IOException                as the two above
     */
    public void write(byte[] data) throws IOException {
        Objects.requireNonNull(data, "data");
        frame(data, 0, data.length, null, 0, Kind.WRITE);
    }

    /**
     * Reads bytes in one frame, sending zeros.
     *
     * @param count how many bytes, 0 or more
     * @return the bytes
     * @throws IllegalArgumentException if count is negative
     * @throws IllegalStateException    if the master or device is closed
     * @throws IOException              as {@link #write(byte[])}
     */
    public byte[] read(int count) throws IOException {
        checkCount(count);
        byte[] in = new byte[count];
        frame(null, 0, count, in, 0, Kind.READ);
        return in;
    }

    /**
     * Writes and reads at once (full duplex) in one frame.
     *
     * @param data the bytes to send
     * @return the bytes that came in while they went out, as many
     * @throws IllegalStateException if the master or device is closed
     * @throws IOException           as {@link #write(byte[])}
     */
    public byte[] transfer(byte[] data) throws IOException {
        Objects.requireNonNull(data, "data");
        byte[] in = new byte[data.length];
        frame(data, 0, data.length, in, 0, Kind.DUPLEX);
        return in;
    }

    /**
     * Writes a command, then reads the answer, in one frame (one driver write, one read).
     *
     * @param command the bytes to send first
     * @param count   how many bytes to read after them
     * @return the bytes read
     * @throws IllegalArgumentException if count is negative
     * @throws IllegalStateException    if the master or device is closed
     * @throws IOException              as {@link #write(byte[])}
     */
    public byte[] writeThenRead(byte[] command, int count) throws IOException {
        Objects.requireNonNull(command, "command");
        checkCount(count);
        byte[] in = new byte[count];
        mpsse.lock.lock();
        try {
            mpsse.checkOpen();
            select(true);
            add(command, 0, command.length, Kind.WRITE);
            int at = mpsse.replyLength();
            add(null, 0, count, Kind.READ);
            select(false);
            byte[] reply = run("An SPI write-then-read frame");
            extract(reply, at, in, 0, count);
        } finally {
            mpsse.lock.unlock();
        }
        return in;
    }

    /**
     * Begins a frame that stays selected across calls until the transaction is closed; it holds
     * the master, so other threads wait. Selecting goes out with the first call, deselecting with
     * close: each call is one driver write (and one read when it reads), closing one more write.
     * Use it from the thread that began it, in try-with-resources.
     *
     * @return the transaction
     * @throws IllegalStateException if the master or device is closed
     */
    public Transaction transaction() {
        mpsse.lock.lock();
        try {
            mpsse.checkOpen();
            select(true);
        } catch (RuntimeException e) {
            mpsse.discard();
            mpsse.lock.unlock();
            throw e;
        }
        return new Transaction();
    }

    /**
     * Begins a batch: frames added to it are sent together in one driver write, and all they read
     * comes back in one driver read.
     *
     * @return an empty batch
     */
    public Batch batch() {
        return new Batch();
    }

    /** A chip-select frame held across calls, from {@link SpiMaster#transaction()}. */
    public final class Transaction implements AutoCloseable {
        private boolean ended;

        private Transaction() {
        }

        /**
         * Writes bytes, ignoring what comes in.
         *
         * @param data the bytes
         * @throws IllegalStateException if the transaction, master or device is closed
         * @throws IOException           as {@link SpiMaster#write(byte[])}
         */
        public void write(byte[] data) throws IOException {
            Objects.requireNonNull(data, "data");
            checkActive();
            add(data, 0, data.length, Kind.WRITE);
            run("An SPI transaction's write");
        }

        /**
         * Reads bytes, sending zeros.
         *
         * @param count how many, 0 or more
         * @return the bytes
         * @throws IllegalStateException if the transaction, master or device is closed
         * @throws IOException           as {@link SpiMaster#write(byte[])}
         */
        public byte[] read(int count) throws IOException {
            checkCount(count);
            checkActive();
            byte[] in = new byte[count];
            add(null, 0, count, Kind.READ);
            extract(run("An SPI transaction's read"), 0, in, 0, count);
            return in;
        }

        /**
         * Writes and reads at once.
         *
         * @param data the bytes to send
         * @return the bytes that came in, as many
         * @throws IllegalStateException if the transaction, master or device is closed
         * @throws IOException           as {@link SpiMaster#write(byte[])}
         */
        public byte[] transfer(byte[] data) throws IOException {
            Objects.requireNonNull(data, "data");
            checkActive();
            byte[] in = new byte[data.length];
            add(data, 0, data.length, Kind.DUPLEX);
            extract(run("An SPI transaction's transfer"), 0, in, 0, data.length);
            return in;
        }

        private void checkActive() {
            if (ended) {
                throw new IllegalStateException("The SPI transaction has ended");
            }
            mpsse.checkOpen();
        }

        /**
         * Deselects the device and lets other callers in. Closing again does nothing; once the
         * device is closed there is nothing left to deselect.
         *
         * @throws IOException as {@link SpiMaster#write(byte[])}
         */
        @Override
        public void close() throws IOException {
            if (ended) {
                return;
            }
            ended = true;
            try {
                if (mpsse.port.isOpen()) {
                    select(false);
                    run("Ending an SPI transaction");
                }
            } catch (IllegalStateException closedMeanwhile) {
                // The device closed first: nothing is left to deselect.
            } finally {
                mpsse.discard();
                mpsse.lock.unlock();
            }
        }
    }

    /** Frames sent in one driver write, from {@link SpiMaster#batch()}. Not for several threads. */
    public final class Batch {
        private final List<byte[]> outs = new ArrayList<>();
        private final List<Integer> counts = new ArrayList<>();
        private final List<Kind> kinds = new ArrayList<>();

        private Batch() {
        }

        /**
         * Adds a frame that writes bytes.
         *
         * @param data the bytes (not copied: leave them unchanged until {@link #execute()})
         * @return this batch
         */
        public Batch write(byte[] data) {
            return add(Objects.requireNonNull(data, "data"), 0, Kind.WRITE);
        }

        /**
         * Adds a frame that writes a command, then reads.
         *
         * @param command the bytes to send first
         * @param count   how many bytes to read after them
         * @return this batch
         * @throws IllegalArgumentException if count is negative
         */
        public Batch writeThenRead(byte[] command, int count) {
            checkCount(count);
            return add(Objects.requireNonNull(command, "command"), count, Kind.READ);
        }

        /**
         * Adds a full-duplex frame.
         *
         * @param data the bytes to send
         * @return this batch
         */
        public Batch transfer(byte[] data) {
            return add(Objects.requireNonNull(data, "data"), data.length, Kind.DUPLEX);
        }

        private Batch add(byte[] data, int count, Kind kind) {
            outs.add(data);
            counts.add(count);
            kinds.add(kind);
            return this;
        }

        /**
         * Sends every frame added, in order, each framed by the chip select, in one driver write
         * and one driver read; the batch is empty afterwards.
         *
         * @return per frame, the bytes it read (empty for a write frame)
         * @throws IllegalStateException if the master or device is closed
         * @throws IOException           as {@link SpiMaster#write(byte[])}
         */
        public List<byte[]> execute() throws IOException {
            int frames = outs.size();
            int[] at = new int[frames];
            List<byte[]> results = new ArrayList<>(frames);
            mpsse.lock.lock();
            try {
                mpsse.checkOpen();
                for (int i = 0; i < frames; i++) {
                    byte[] data = outs.get(i);
                    select(true);
                    if (kinds.get(i) == Kind.READ) {
                        SpiMaster.this.add(data, 0, data.length, Kind.WRITE);
                        at[i] = mpsse.replyLength();
                        SpiMaster.this.add(null, 0, counts.get(i), Kind.READ);
                    } else {
                        at[i] = mpsse.replyLength();
                        SpiMaster.this.add(data, 0, data.length, kinds.get(i));
                    }
                    select(false);
                }
                byte[] reply = run("A batch of " + frames + " SPI frames");
                for (int i = 0; i < frames; i++) {
                    byte[] in = new byte[counts.get(i)];
                    extract(reply, at[i], in, 0, in.length);
                    results.add(in);
                }
            } finally {
                mpsse.lock.unlock();
                outs.clear();
                counts.clear();
                kinds.clear();
            }
            return results;
        }
    }

    /**
     * Gives the pins back (bit mode reset). Closing again does nothing.
     *
     * @throws FtdiException if the driver fails; the master is closed all the same
     */
    @Override
    public void close() throws FtdiException {
        mpsse.close();
    }

    @Override
    public String toString() {
        return mpsse.toString();
    }

    // ---- Building frames ----------------------------------------------------------------------

    private enum Kind { WRITE, READ, DUPLEX }

    private void frame(byte[] out, int offset, int length, byte[] in, int inOffset, Kind kind) throws IOException {
        mpsse.lock.lock();
        try {
            mpsse.checkOpen();
            select(true);
            add(out, offset, length, kind);
            select(false);
            byte[] reply = run("An SPI frame");
            if (in != null) {
                extract(reply, 0, in, inOffset, length);
            }
        } finally {
            mpsse.lock.unlock();
        }
    }

    private byte[] run(String what) throws IOException {
        try {
            return mpsse.execute(what);
        } catch (IOException | RuntimeException e) {
            mpsse.discard();
            throw e;
        }
    }

    /** Selects or deselects the device, restating the clock's idle level with the other pins. */
    private void select(boolean selected) {
        boolean high = selected == config.chipSelectActiveHigh();
        mpsse.levels = high ? mpsse.levels | csBit : mpsse.levels & ~csBit;
        mpsse.levels = (mpsse.levels & ~SCK) | clockIdle;
        if (config.chipSelect() < 8) {
            mpsse.setLow();
        } else {
            mpsse.setHigh();
        }
    }

    private void add(byte[] out, int offset, int length, Kind kind) {
        if (length == 0) {
            return;
        }
        if (native02) {
            switch (kind) {
                case WRITE -> mpsse.clockOut(writeOp, out, offset, length);
                case READ -> mpsse.clockIn(readOp, length);
                case DUPLEX -> mpsse.clockBoth(duplexOp, out, offset, length);
            }
            return;
        }
        // CPHA = 1 by pin commands: data with the leading edge, sample, trailing edge.
        int leading = clockIdle ^ SCK;
        for (int i = 0; i < length; i++) {
            int value = out == null ? 0 : out[offset + i] & 0xFF;
            for (int bit = 0; bit < 8; bit++) {
                int shift = lsbFirst ? bit : 7 - bit;
                int mosi = (value >>> shift & 1) != 0 ? MOSI : 0;
                mpsse.levels = (mpsse.levels & ~(SCK | MOSI)) | leading | mosi;
                mpsse.setLow();
                if (kind != Kind.WRITE) {
                    mpsse.add(Mpsse.READ_LOW);
                    mpsse.expect(1);
                }
                mpsse.levels = (mpsse.levels & ~SCK) | clockIdle;
                mpsse.setLow();
            }
        }
    }

    /** Copies bytes read from the reply: as they are in modes 0 and 2, bit by bit in 1 and 3. */
    private void extract(byte[] reply, int at, byte[] in, int inOffset, int length) {
        if (native02) {
            System.arraycopy(reply, at, in, inOffset, length);
            return;
        }
        for (int i = 0; i < length; i++) {
            int value = 0;
            for (int bit = 0; bit < 8; bit++) {
                if ((reply[at + i * 8 + bit] & MISO) != 0) {
                    value |= 1 << (lsbFirst ? bit : 7 - bit);
                }
            }
            in[inOffset + i] = (byte) value;
        }
    }

    private static void checkCount(int count) {
        if (count < 0) {
            throw new IllegalArgumentException("A byte count is 0 or more, not " + count);
        }
    }
}
