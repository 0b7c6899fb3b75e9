package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Objects;

/**
 * JTAG operations sent together, from {@link JtagController#batch()}: each call appends MPSSE
 * commands to one buffer, and nothing goes to the device until it is needed. So a whole
 * programming sequence (thousands of scans and waits) costs a handful of USB transfers.
 *
 * <pre>{@code
 * try (JtagBatch batch = jtag.batch()) {
 *     for (byte[] word : words) {
 *         batch.writeIr(8, new byte[] {(byte) 0xC3}, TapState.RUN_TEST_IDLE)
 *              .writeDr(24, word, TapState.RUN_TEST_IDLE)
 *              .runTest(TapState.RUN_TEST_IDLE, 100, null, TapState.RUN_TEST_IDLE);
 *     }
 *     batch.scanDr(8, null, TapState.RUN_TEST_IDLE, tdo -> check(tdo));
 *     List<byte[]> rest = batch.execute();
 * }
 * }</pre>
 *
 * <h2>Streaming</h2>
 * The buffer is written (one driver write) when it reaches {@value #WRITE_LIMIT} bytes and at
 * {@link #execute()}. Replies are read (one driver read of exactly the bytes due) only when the
 * replies still to come would exceed the device's reply bound (64 KiB by default), and at
 * {@link #execute()}: the chip and driver hold that much, so the engine never stalls. A batch
 * thus makes {@code 1 + commandBytes / 64 KiB} writes and {@code 1 + replyBytes / 64 KiB} reads
 * at most, and needs bounded memory however long it is when its scans capture into
 * {@link Capture callbacks}.
 *
 * <h2>Results</h2>
 * A capturing scan with a {@link Capture} hands its bits to the callback as soon as they are read,
 * in the order of the scans, on the thread running the batch (which holds the controller: the
 * callback must not use it). {@link #execute()} returns the bits of the capturing scans without a
 * callback, in order.
 *
 * <p>A batch is for one thread and one use: after {@link #execute()} or {@link #close()} its
 * methods throw {@link IllegalStateException}. The bit order, the states and the exceptions are
 * those of {@link JtagController}'s methods of the same names.
 */
public final class JtagBatch implements AutoCloseable {

    /** The command bytes the batch collects before it writes them. */
    public static final int WRITE_LIMIT = 65_536;

    /** Receives the bits a scan captured, as soon as they are read. */
    @FunctionalInterface
    public interface Capture {
        /**
         * Called with a scan's captured bits.
         *
         * @param tdo {@code ceil(bits / 8)} bytes, the scan's own array
         */
        void captured(byte[] tdo);
    }

    private static final int SHIFT_BYTES_BOTH = 0x39;
    private static final int SHIFT_BITS_BOTH = 0x3B;
    private static final int SHIFT_BYTES_OUT = 0x19;
    private static final int SHIFT_BITS_OUT = 0x1B;
    private static final int TMS_OUT = 0x4B;
    private static final int TMS_BOTH = 0x6B;
    private static final int CLOCK_BITS = 0x8E;
    private static final int CLOCK_BYTES = 0x8F;
    /** The most TMS bits one command clocks. */
    private static final int TMS_MAX = 7;
    /** Command bytes a data command needs besides its data: opcode and length. */
    private static final int HEADER = 3;
    private static final byte[] ONES = filled(Mpsse.MAX_CHUNK, 0xFF);
    private static final byte[] ZEROS = new byte[Mpsse.MAX_CHUNK];

    /** One capturing scan: its result, filled as its reply bytes are read, and where it goes. */
    private static final class Pending {
        final int length;
        final byte[] bits;
        final Capture capture;

        Pending(int length, Capture capture) {
            this.length = length;
            this.bits = new byte[(length + 7) / 8];
            this.capture = capture;
        }
    }

    /**
     * The reply of one command: {@code bytes} whole bytes copied to {@code byteOffset}, or (with
     * {@code bytes} 0) one reply byte holding {@code bitCount} bits from bit {@code shift}, put at
     * bit {@code position} of the byte at {@code byteOffset}. {@code last} ends its scan.
     */
    private record Segment(Pending scan, int byteOffset, int bytes, int bitCount, int shift, int position,
            boolean last) {

        int replyBytes() {
            return bytes == 0 ? 1 : bytes;
        }
    }

    private final JtagController controller;
    private final Mpsse mpsse;
    private final int replyBound;
    private final ArrayDeque<Segment> segments = new ArrayDeque<>();
    private final List<byte[]> results = new ArrayList<>();
    /** Reply bytes of commands still in the buffer, and of those written but not read. */
    private int unsentReplies;
    private int unreadReplies;
    private long commandBytes;
    private long clocks;
    private Duration busTime = Duration.ZERO;
    private boolean ended;
    /** The TAP state, TCK frequency and pin levels after what has been written, for a batch closed unexecuted. */
    private TapState writtenState;
    private long writtenClockHz;
    private int writtenLevels;

    JtagBatch(JtagController controller) {
        this.controller = controller;
        this.mpsse = controller.mpsse;
        this.replyBound = Math.max(1, mpsse.port.replyBound());
        written();
    }

    // ---- Operations ---------------------------------------------------------------------------

    /**
     * Adds a change of the TCK frequency; the operations after it run at the new one.
     *
     * @param hz the highest frequency wanted
     * @return the frequency set
     * @throws IllegalArgumentException if hz is below the chip's lowest
     * @throws IOException              if a streaming write fails
     */
    public long setClockHz(long hz) throws IOException {
        checkActive();
        int divisor = JtagController.divisor(controller.baseClock(), hz);
        room(3);
        mpsse.add(Mpsse.DIVISOR, divisor & 0xFF, divisor >>> 8);
        long set = JtagController.frequency(controller.baseClock(), divisor);
        controller.clockHzSet(set);
        return set;
    }

    /**
     * Adds a TAP reset (TRST* pulse when configured, and five TMS ones).
     *
     * @return this batch
     * @throws IOException if a streaming write fails
     */
    public JtagBatch reset() throws IOException {
        checkActive();
        if (controller.hasTrst()) {
            setTrstLevel(true);
            tms(0x1F, 5, 0, null);
            setTrstLevel(false);
        } else {
            tms(0x1F, 5, 0, null);
        }
        controller.state = TapState.TEST_LOGIC_RESET;
        return this;
    }

    /**
     * Adds asserting or releasing TRST*.
     *
     * @param asserted true to drive TRST* low
     * @return this batch
     * @throws IllegalStateException if the configuration has no TRST* pin
     * @throws IOException           if a streaming write fails
     */
    public JtagBatch setTrst(boolean asserted) throws IOException {
        checkActive();
        if (!controller.hasTrst()) {
            throw new IllegalStateException("No TRST* pin is configured: name one with JtagConfig.Builder.trstPin");
        }
        setTrstLevel(asserted);
        if (asserted) {
            controller.state = TapState.TEST_LOGIC_RESET;
        }
        return this;
    }

    /**
     * Adds a move to a stable state.
     *
     * @param stable the state
     * @return this batch
     * @throws IOException if a streaming write fails
     */
    public JtagBatch goTo(TapState stable) throws IOException {
        checkActive();
        JtagController.checkStable(stable, "The state to go to");
        if (stable == TapState.TEST_LOGIC_RESET && controller.state == null) {
            // Five ones reach it from anywhere: the one move an unknown state allows.
            tms(0x1F, 5, 0, null);
            controller.state = stable;
            return this;
        }
        move(stable);
        return this;
    }

    /**
     * Adds a walk through adjacent states, one clock each.
     *
     * @param path the states
     * @return this batch
     * @throws IOException if a streaming write fails
     */
    public JtagBatch walk(TapState... path) throws IOException {
        checkActive();
        TapState at = known();
        for (TapState state : path) {
            TapState next = Objects.requireNonNull(state, "a state of the path");
            if (at.next(false) != next && at.next(true) != next) {
                throw new IllegalArgumentException("The walk goes from " + at + " to " + next + ", which no single"
                        + " TCK clock does (from " + at + " TMS 0 leads to " + at.next(false) + ", TMS 1 to "
                        + at.next(true) + ")");
            }
            at = next;
        }
        // Checked first, so that a bad path adds nothing.
        at = controller.state;
        for (int i = 0; i < path.length; i += TMS_MAX) {
            int count = Math.min(TMS_MAX, path.length - i);
            int chunk = 0;
            for (int j = 0; j < count; j++) {
                chunk |= (at.next(true) == path[i + j] ? 1 : 0) << j;
                at = path[i + j];
            }
            tms(chunk, count, 0, null);
        }
        controller.state = at;
        return this;
    }

    /**
     * Adds an instruction scan whose captured bits {@link #execute()} returns.
     *
     * @param bits how many, 1 or more
     * @param tdi  the bits to shift in, null for ones (not copied: leave them unchanged until the
     *             batch is executed)
     * @param end  the stable state to end in
     * @return this batch
     * @throws IOException if a streaming write or read fails
     */
    public JtagBatch scanIr(int bits, byte[] tdi, TapState end) throws IOException {
        return scan(true, bits, tdi, end, true, null);
    }

    /**
     * Adds an instruction scan whose captured bits go to a callback.
     *
     * @param bits    how many, 1 or more
     * @param tdi     the bits to shift in, null for ones
     * @param end     the stable state to end in
     * @param capture receives the captured bits
     * @return this batch
     * @throws IOException if a streaming write or read fails
     */
    public JtagBatch scanIr(int bits, byte[] tdi, TapState end, Capture capture) throws IOException {
        return scan(true, bits, tdi, end, true, Objects.requireNonNull(capture, "capture"));
    }

    /**
     * Adds a data scan whose captured bits {@link #execute()} returns.
     *
     * @param bits how many, 1 or more
     * @param tdi  the bits to shift in, null for ones
     * @param end  the stable state to end in
     * @return this batch
     * @throws IOException if a streaming write or read fails
     */
    public JtagBatch scanDr(int bits, byte[] tdi, TapState end) throws IOException {
        return scan(false, bits, tdi, end, true, null);
    }

    /**
     * Adds a data scan whose captured bits go to a callback.
     *
     * @param bits    how many, 1 or more
     * @param tdi     the bits to shift in, null for ones
     * @param end     the stable state to end in
     * @param capture receives the captured bits
     * @return this batch
     * @throws IOException if a streaming write or read fails
     */
    public JtagBatch scanDr(int bits, byte[] tdi, TapState end, Capture capture) throws IOException {
        return scan(false, bits, tdi, end, true, Objects.requireNonNull(capture, "capture"));
    }

    /**
     * Adds an instruction scan that reads nothing back.
     *
     * @param bits how many, 1 or more
     * @param tdi  the bits to shift in, null for ones
     * @param end  the stable state to end in
     * @return this batch
     * @throws IOException if a streaming write fails
     */
    public JtagBatch writeIr(int bits, byte[] tdi, TapState end) throws IOException {
        return scan(true, bits, tdi, end, false, null);
    }

    /**
     * Adds a data scan that reads nothing back.
     *
     * @param bits how many, 1 or more
     * @param tdi  the bits to shift in, null for ones
     * @param end  the stable state to end in
     * @return this batch
     * @throws IOException if a streaming write fails
     */
    public JtagBatch writeDr(int bits, byte[] tdi, TapState end) throws IOException {
        return scan(false, bits, tdi, end, false, null);
    }

    /**
     * Adds a wait: to {@code in}, the larger of {@code clocks} and {@code minimum} in TCK clocks
     * there (at the frequency set when it is added), then to {@code end}.
     *
     * @param in      Test-Logic-Reset, Run-Test/Idle, Pause-DR or Pause-IR
     * @param clocks  0 or more
     * @param minimum the shortest time, or null
     * @param end     a stable state
     * @return this batch
     * @throws IOException if a streaming write fails
     */
    public JtagBatch runTest(TapState in, long clocks, Duration minimum, TapState end) throws IOException {
        checkActive();
        Objects.requireNonNull(in, "in");
        if (in != TapState.TEST_LOGIC_RESET && in != TapState.RUN_TEST_IDLE && in != TapState.PAUSE_DR
                && in != TapState.PAUSE_IR) {
            throw new IllegalArgumentException("Waits run in TEST_LOGIC_RESET, RUN_TEST_IDLE, PAUSE_DR or PAUSE_IR,"
                    + " not " + in + " (a shift state would shift bits)");
        }
        if (clocks < 0 || minimum != null && minimum.isNegative()) {
            throw new IllegalArgumentException("A wait is 0 or more clocks and 0 or more time, not " + clocks
                    + " clocks and " + minimum);
        }
        JtagController.checkStable(end, "The end state");
        long hz = controller.clockHz();
        long byTime = minimum == null ? 0 : ceilClocks(minimum, hz);
        goTo(in);
        clock(Math.max(clocks, byTime));
        goTo(end);
        return this;
    }

    /**
     * The MPSSE command bytes this batch has built so far, written or not.
     *
     * @return bytes
     */
    public long commandBytes() {
        return commandBytes + mpsse.outLength();
    }

    /**
     * The TCK clocks this batch has built so far.
     *
     * @return clocks
     */
    public long clocks() {
        return clocks;
    }

    /**
     * The bus time of the clocks built so far, each at the frequency set when it was added (with
     * adaptive clocking the target may stretch it; the USB transfers add their own time).
     *
     * @return the time on the bus
     */
    public Duration busTime() {
        return busTime;
    }

    /**
     * Sends what is left, reads every reply still due, hands out the captured bits, and ends the
     * batch (the controller is free again).
     *
     * @return the captured bits of the capturing scans without a callback, in order
     * @throws IllegalStateException if the batch has ended, or the controller or device is closed
     * @throws java.nio.channels.AsynchronousCloseException if the device is closed meanwhile
     * @throws FtdiException         if the driver fails
     * @throws IOException           as the two above
     */
    public List<byte[]> execute() throws IOException {
        checkActive();
        try {
            if (unsentReplies + unreadReplies > 0) {
                settle();
            } else {
                send(false);
            }
            return List.copyOf(results);
        } finally {
            end();
        }
    }

    /**
     * Ends the batch without sending what was not written yet; replies of what was written are
     * read and dropped. After execute, or again, it does nothing.
     *
     * @throws IOException if reading the dropped replies fails; the batch has ended all the same
     */
    @Override
    public void close() throws IOException {
        if (ended) {
            return;
        }
        try {
            mpsse.discard();
            unsentReplies = 0;
            controller.state = writtenState;
            controller.clockHzSet(writtenClockHz);
            mpsse.levels = writtenLevels;
            if (unreadReplies > 0 && mpsse.port.isOpen()) {
                mpsse.receive(unreadReplies, "Reading the replies of an abandoned JTAG batch");
            }
        } finally {
            end();
        }
    }

    // ---- Building -----------------------------------------------------------------------------

    private JtagBatch scan(boolean ir, int bits, byte[] tdi, TapState end, boolean capture, Capture callback)
            throws IOException {
        checkActive();
        String register = ir ? "instruction" : "data";
        if (bits < 1) {
            throw new IllegalArgumentException("A scan shifts 1 or more bits, not " + bits);
        }
        int bytes = (bits + 7) / 8;
        if (tdi != null && tdi.length < bytes) {
            throw new IllegalArgumentException("A " + bits + "-bit " + register + " scan needs " + bytes
                    + " TDI bytes, not " + tdi.length);
        }
        JtagController.checkStable(end, "The end state");
        TapState shift = ir ? TapState.SHIFT_IR : TapState.SHIFT_DR;
        TapState at = known();
        if (at != shift) {
            TapState captureState = ir ? TapState.CAPTURE_IR : TapState.CAPTURE_DR;
            // Through Capture (never Exit2 straight back to Shift), then one more clock to Shift.
            int length = at.pathLength(captureState);
            tms(at.pathTo(captureState), length + 1, 0, null);
            // What is written from here on leaves the TAP in Shift until the scan's last bit.
            controller.state = shift;
        }
        Pending pending = capture ? new Pending(bits, callback) : null;
        boolean stays = end == shift;
        int dataBits = stays ? bits : bits - 1;
        byte[] source = tdi == null ? ONES : tdi;
        int wholeBytes = dataBits / 8;
        int done = 0;
        while (done < wholeBytes) {
            int chunk = Math.min(wholeBytes - done, Math.min(Mpsse.MAX_CHUNK, WRITE_LIMIT - HEADER));
            chunk = Math.min(chunk, WRITE_LIMIT - HEADER - mpsse.outLength());
            if (capture) {
                chunk = Math.min(chunk, replyBound - unsentReplies - unreadReplies);
            }
            if (chunk <= 0) {
                if (capture && unsentReplies + unreadReplies >= replyBound) {
                    makeReplyRoom();
                } else {
                    send(false);
                }
                continue;
            }
            int from = tdi == null ? 0 : done;
            mpsse.clockOut(capture ? SHIFT_BYTES_BOTH : SHIFT_BYTES_OUT, source, from, chunk);
            count(chunk * 8L);
            if (capture) {
                unsentReplies += chunk;
                segments.addLast(new Segment(pending, done, chunk, 0, 0, 0, false));
            }
            done += chunk;
        }
        int restBits = dataBits % 8;
        if (restBits > 0) {
            int value = tdi == null ? 0xFF : tdi[wholeBytes] & 0xFF;
            reply(capture ? 1 : 0, 3);
            mpsse.add(capture ? SHIFT_BITS_BOTH : SHIFT_BITS_OUT, restBits - 1, value);
            count(restBits);
            if (capture) {
                unsentReplies++;
                // A bit command's bits come in at the top of its reply byte.
                segments.addLast(new Segment(pending, wholeBytes, 0, restBits, 8 - restBits, 0, stays));
            }
        }
        if (!stays) {
            int last = bits - 1;
            int lastBit = tdi == null ? 1 : tdi[last / 8] >> (last % 8) & 1;
            // The last bit leaves Shift (TMS 1) and the same command walks on to the end state.
            TapState exit = ir ? TapState.EXIT1_IR : TapState.EXIT1_DR;
            tms(1 | exit.pathTo(end) << 1, exit.pathLength(end) + 1, lastBit, capture ? pending : null);
        } else if (capture && restBits == 0) {
            // A scan that stays in Shift and ends on a byte boundary: its last bytes end it.
            Segment last = segments.pollLast();
            segments.addLast(new Segment(last.scan(), last.byteOffset(), last.bytes(), 0, 0, 0, true));
        }
        controller.state = end;
        return this;
    }

    /** Moves to a stable state by the shortest path from the known state. */
    private void move(TapState target) throws IOException {
        TapState at = known();
        if (at == target) {
            return;
        }
        tms(at.pathTo(target), at.pathLength(target), 0, null);
        controller.state = target;
    }

    /**
     * Clocks TMS bits (bit 0 first), up to seven per command, with TDI held at {@code tdi}; with a
     * scan to capture for, the first bit's TDO is read and ends that scan.
     */
    private void tms(int bits, int count, int tdi, Pending capture) throws IOException {
        int done = 0;
        while (done < count) {
            int chunk = Math.min(TMS_MAX, count - done);
            int value = bits >>> done & 0x7F | tdi << 7;
            boolean reads = capture != null && done == 0;
            reply(reads ? 1 : 0, 3);
            mpsse.add(reads ? TMS_BOTH : TMS_OUT, chunk - 1, value);
            count(chunk);
            if (reads) {
                unsentReplies++;
                // The first bit clocked comes in at bit 8 - chunk of the reply byte.
                int bit = capture.length - 1;
                segments.addLast(new Segment(capture, bit / 8, 0, 1, 8 - chunk, bit % 8, true));
            }
            done += chunk;
        }
        // TMS stays at the last bit; pin commands restate it so, and clock-only waits rely on it.
        int lastTms = bits >>> (count - 1) & 1;
        int held = (lastTms != 0 ? JtagController.TMS : 0) | (tdi != 0 ? JtagController.TDI : 0);
        mpsse.levels = mpsse.levels & ~(JtagController.TMS | JtagController.TDI) | held;
    }

    /** Clocks TCK with TMS held: clock-only commands on H chips, zero TDI bits on the FT2232D. */
    private void clock(long n) throws IOException {
        long left = n;
        if (mpsse.hiSpeed) {
            while (left >= 8) {
                long bytes = Math.min(left / 8, 0x10000);
                room(3);
                mpsse.add(CLOCK_BYTES, (int) (bytes - 1) & 0xFF, (int) (bytes - 1) >>> 8);
                left -= bytes * 8;
            }
            if (left > 0) {
                room(2);
                mpsse.add(CLOCK_BITS, (int) left - 1);
            }
        } else {
            while (left >= 8) {
                int bytes = (int) Math.min(left / 8, WRITE_LIMIT / 2);
                room(HEADER + bytes);
                mpsse.clockOut(SHIFT_BYTES_OUT, ZEROS, 0, bytes);
                left -= bytes * 8L;
            }
            if (left > 0) {
                room(3);
                mpsse.add(SHIFT_BITS_OUT, (int) left - 1, 0);
            }
        }
        count(n);
    }

    private void setTrstLevel(boolean asserted) throws IOException {
        int bit = controller.trstBit();
        mpsse.levels = asserted ? mpsse.levels & ~bit : mpsse.levels | bit;
        room(3);
        if (bit < 0x100) {
            mpsse.setLow();
        } else {
            mpsse.setHigh();
        }
    }

    private void count(long tck) {
        clocks += tck;
        busTime = busTime.plusNanos(ceilDiv(tck * 1_000_000_000L, controller.clockHz()));
    }

    /** Makes room for a command of {@code bytes} bytes and {@code replies} reply bytes. */
    private void reply(int replies, int bytes) throws IOException {
        while (replies > 0 && unsentReplies + unreadReplies + replies > replyBound) {
            makeReplyRoom();
        }
        room(bytes);
    }

    private void room(int bytes) throws IOException {
        if (mpsse.outLength() + bytes > WRITE_LIMIT) {
            send(false);
        }
    }

    /** Writes the buffer; its replies are then due. */
    private void send(boolean flush) throws IOException {
        int length = mpsse.outLength();
        if (length == 0 && !flush) {
            return;
        }
        try {
            mpsse.send(flush, "A JTAG batch's write of " + length + " command bytes");
        } catch (IllegalStateException e) {
            failed();
            throw closedMeanwhile(e);
        } catch (IOException | RuntimeException e) {
            failed();
            throw e;
        }
        commandBytes += length;
        unreadReplies += unsentReplies;
        unsentReplies = 0;
        written();
    }

    private void written() {
        writtenState = controller.state;
        writtenClockHz = controller.clockHz();
        writtenLevels = mpsse.levels;
    }

    /**
     * Frees room for replies: reads those of the commands already written when there are any, so
     * that a long stream keeps its writes full (one write per 64 KiB of commands); writes the
     * buffer first only when nothing written is unread. The chip sends replies without a
     * send-immediate once its latency timer runs out, so such a read waits at most that long.
     */
    private void makeReplyRoom() throws IOException {
        if (unreadReplies > 0) {
            readWritten();
        } else {
            settle();
        }
    }

    /** Writes the buffer with send-immediate and reads every reply due, handing out the bits. */
    private void settle() throws IOException {
        send(true);
        readWritten();
    }

    /** Reads the replies of the commands written so far, handing out the bits. */
    private void readWritten() throws IOException {
        int due = unreadReplies;
        byte[] reply;
        try {
            reply = mpsse.receive(due, "A JTAG batch's read of " + due + " reply bytes");
        } catch (IllegalStateException e) {
            failed();
            throw closedMeanwhile(e);
        } catch (IOException | RuntimeException e) {
            failed();
            throw e;
        }
        unreadReplies = 0;
        int at = 0;
        while (at < due) {
            Segment segment = segments.removeFirst();
            byte[] bits = segment.scan().bits;
            if (segment.bytes() > 0) {
                System.arraycopy(reply, at, bits, segment.byteOffset(), segment.bytes());
            } else {
                int value = (reply[at] & 0xFF) >>> segment.shift() & (1 << segment.bitCount()) - 1;
                bits[segment.byteOffset()] |= (byte) (value << segment.position());
            }
            at += segment.replyBytes();
            if (segment.last()) {
                deliver(segment.scan());
            }
        }
    }

    private void deliver(Pending scan) {
        if (scan.capture != null) {
            scan.capture.captured(scan.bits);
        } else {
            results.add(scan.bits);
        }
    }

    /**
     * A device closed after the batch began is a close racing it: {@link AsynchronousCloseException},
     * as documented, rather than the {@link IllegalStateException} of a call on a closed device.
     */
    private IllegalStateException closedMeanwhile(IllegalStateException e) throws AsynchronousCloseException {
        if (!mpsse.port.isOpen()) {
            AsynchronousCloseException closed = new AsynchronousCloseException();
            closed.initCause(e);
            throw closed;
        }
        return e;
    }

    /** After a failed transfer nothing is known about the TAP or the replies still in flight. */
    private void failed() {
        mpsse.discard();
        controller.state = null;
        writtenState = null;
        unsentReplies = 0;
        unreadReplies = 0;
        segments.clear();
        ended = true;
        controller.batchEnded();
    }

    private void end() {
        if (!ended) {
            ended = true;
            controller.batchEnded();
        }
    }

    private void checkActive() {
        if (ended) {
            throw new IllegalStateException("The JTAG batch has ended: begin another with JtagController.batch()");
        }
        mpsse.checkOpen();
    }

    private TapState known() {
        TapState at = controller.state;
        if (at == null) {
            throw new IllegalStateException("The TAP's state is unknown after a failed transfer: reset() or"
                    + " goTo(TEST_LOGIC_RESET) first");
        }
        return at;
    }

    static long ceilClocks(Duration time, long hz) {
        long seconds = time.getSeconds();
        long nanos = time.getNano();
        return Math.addExact(Math.multiplyExact(seconds, hz), ceilDiv(nanos * hz, 1_000_000_000L));
    }

    private static long ceilDiv(long a, long b) {
        return (a + b - 1) / b;
    }

    private static byte[] filled(int length, int value) {
        byte[] bytes = new byte[length];
        Arrays.fill(bytes, (byte) value);
        return bytes;
    }
}
