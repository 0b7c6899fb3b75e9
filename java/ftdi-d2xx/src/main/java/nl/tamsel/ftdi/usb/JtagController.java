package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.time.Duration;
import java.util.List;
import java.util.Objects;

/**
 * A JTAG controller on a device's MPSSE engine, from {@link FtdiDevice#jtag(JtagConfig)}: TCK is
 * ADBUS0, TDI ADBUS1, TDO ADBUS2, TMS ADBUS3; TRST* (active low) is on the pin the configuration
 * names, if any; with adaptive clocking RTCK comes in on GPIOL3 (ADBUS7).
 *
 * <pre>{@code
 * try (FtdiDevice device = FtdiDevice.openBySerialNumber("FT232HJT");
 *      JtagController jtag = device.jtag(JtagConfig.builder().clockHz(6_000_000).build())) {
 *     System.out.print(jtag.scanChain().describe());
 *     // An instruction for each device of the chain, the device nearest TDO's in the low bits.
 *     jtag.writeIr(18, new byte[] {(byte) 0xFF, (byte) 0xDF, 0x03}, TapState.RUN_TEST_IDLE);
 *     byte[] dr = jtag.scanDr(34, null, TapState.RUN_TEST_IDLE);
 * }
 * }</pre>
 *
 * <h2>Bits</h2>
 * A scan of {@code n} bits takes and returns {@code ceil(n / 8)} bytes; bit {@code i} is
 * {@code (bytes[i / 8] >> (i % 8)) & 1}, and bit 0 is the first bit shifted in on TDI and the
 * first captured from TDO (the bit of the device nearest TDO). This is an SVF hex string read as a
 * number, with {@code bytes[0]} its low byte. Unused high bits of the last byte are 0 in results
 * and ignored in arguments. A {@code null} TDI shifts ones (BYPASS, for an instruction scan).
 *
 * <h2>States</h2>
 * Opening moves the TAP to Test-Logic-Reset with five TMS ones. Each scan goes from the current
 * state through Capture to Shift, shifts, and leaves Shift with its last bit (TMS 1) on the way to
 * the stable state it ends in. A scan that starts in the Shift state of its own register (one
 * before ended there) goes on shifting without a new capture. Waits ({@link #runTest}) clock TCK
 * with clock-only commands, so they cost bus time and no host round trip.
 *
 * <h2>Round trips</h2>
 * Each call is one driver write, and when it captures, one driver read of exactly the captured
 * bytes. A {@link #batch()} puts many operations in one write and reads all they capture in one
 * read. {@link #scanChain()} is one write and one read.
 *
 * <h2>Threads and closing</h2>
 * Any thread may use a controller; calls are serialised, and a batch holds the controller until it
 * is executed or closed. After {@link #close()}, or once the device is closed, calls throw
 * {@link IllegalStateException}; a call under way when the device closes throws
 * {@link java.nio.channels.AsynchronousCloseException}. When a transfer fails, the TAP's state is
 * no longer known ({@link #state()} is null) and the calls that depend on it throw
 * {@link IllegalStateException} until {@link #reset()} or {@code goTo(TEST_LOGIC_RESET)}.
 */
public final class JtagController implements AutoCloseable {

    /** GPIOL3 (ADBUS7): RTCK, the target's returned clock, with adaptive clocking. */
    public static final int RTCK_PIN = 7;

    static final int TCK = 1;
    static final int TDI = 1 << 1;
    static final int TMS = 1 << 3;
    private static final int ADAPTIVE_ON = 0x96;

    final Mpsse mpsse;
    private final JtagConfig config;
    private final int trstBit;
    /** The TAP's state after the commands built so far; null when a failed transfer left it unknown. */
    TapState state;
    private long clockHz;
    /** The batch the controller's lock is held for, on the thread that holds it. */
    JtagBatch openBatch;
    private final MpssePins pins;

    private JtagController(Mpsse mpsse, JtagConfig config, long clockHz) {
        this.mpsse = mpsse;
        this.pins = new MpssePins(mpsse);
        this.config = config;
        this.trstBit = config.trstPin().isPresent() ? 1 << config.trstPin().getAsInt() : 0;
        this.clockHz = clockHz;
    }

    static JtagController open(DevicePort port, JtagConfig config) throws IOException {
        DeviceType type = port.type();
        boolean hiSpeed = type == DeviceType.FT_DEVICE_2232H || type == DeviceType.FT_DEVICE_4232H
                || type == DeviceType.FT_DEVICE_232H;
        if (config.adaptiveClocking() && type == DeviceType.FT_DEVICE_2232C) {
            throw new IllegalArgumentException("The " + type.displayName() + " has no adaptive clocking (RTCK); the"
                    + " FT2232H, FT4232H and FT232H have");
        }
        int base = hiSpeed ? 60_000_000 : 12_000_000;
        int divisor = divisor(base, config.clockHz());
        long actual = frequency(base, divisor);
        int trst = config.trstPin().isPresent() ? 1 << config.trstPin().getAsInt() : 0;
        // TCK low, TDI low, TMS high, TRST* high (not asserted); RTCK an input.
        Mpsse mpsse = Mpsse.enter(port, "JtagController[" + port + ", " + actual + " Hz]", divisor, false,
                TMS | trst, TCK | TDI | TMS | trst, 0);
        try {
            config.trstPin().ifPresent(pin -> {
                if (!mpsse.hasPin(pin)) {
                    throw new IllegalArgumentException("The " + type.displayName() + " has no MPSSE pin " + pin
                            + " for TRST*; it has pins 4 to " + (7 + mpsse.highPins));
                }
            });
            mpsse.own(0, "JTAG clock (TCK)");
            mpsse.own(1, "JTAG data in (TDI)");
            mpsse.own(2, "JTAG data out (TDO)");
            mpsse.own(3, "JTAG mode select (TMS)");
            config.trstPin().ifPresent(pin -> mpsse.own(pin, "JTAG reset (TRST*)"));
            if (config.adaptiveClocking()) {
                mpsse.own(RTCK_PIN, "JTAG returned clock (RTCK)");
            }
            JtagController controller = new JtagController(mpsse, config, actual);
            controller.start();
            return controller;
        } catch (IOException | RuntimeException e) {
            mpsse.close();
            throw e;
        }
    }

    /** Adaptive clocking when asked, and the TAP to Test-Logic-Reset, in one write. */
    private void start() throws IOException {
        try (JtagBatch batch = batch()) {
            if (config.adaptiveClocking()) {
                mpsse.add(ADAPTIVE_ON);
            }
            batch.goTo(TapState.TEST_LOGIC_RESET);
            batch.execute();
        }
    }

    /** The smallest divisor whose frequency base / ((1 + d) * 2) is not above the wish, within 0..0xFFFF. */
    static int divisor(int base, long clockHz) {
        long lowest = frequency(base, 0xFFFF);
        if (clockHz < lowest) {
            throw new IllegalArgumentException("This chip's TCK is " + lowest + " Hz at the lowest, not " + clockHz
                    + " Hz");
        }
        long d = ((long) base + 2L * clockHz - 1) / (2L * clockHz) - 1;
        return (int) Math.max(0, Math.min(0xFFFF, d));
    }

    static long frequency(int base, int divisor) {
        return base / ((1L + divisor) * 2);
    }

    int baseClock() {
        return mpsse.baseClock();
    }

    /**
     * The TCK frequency set: {@code base / ((1 + divisor) * 2)} with base 60 MHz (12 MHz on the
     * FT2232D), the highest not above the one asked for (and at most 30 MHz, 6 MHz on the
     * FT2232D). With adaptive clocking the target may slow it further.
     *
     * @return Hz
     */
    public long clockHz() {
        return clockHz;
    }

    void clockHzSet(long hz) {
        clockHz = hz;
    }

    /**
     * Sets the TCK frequency, as {@link JtagConfig#clockHz()} does at opening. One driver write.
     *
     * @param hz the highest frequency wanted
     * @return the frequency set, see {@link #clockHz()}
     * @throws IllegalArgumentException if hz is below the chip's lowest frequency
     * @throws IllegalStateException    if the controller or device is closed
     * @throws IOException              if the driver fails ({@link FtdiException}) or the device is
     *                                  closed meanwhile
     */
    public long setClockHz(long hz) throws IOException {
        try (JtagBatch batch = batch()) {
            long set = batch.setClockHz(hz);
            batch.execute();
            return set;
        }
    }

    /**
     * The MPSSE pins this controller leaves free, for general I/O such as a target's SRST* or a
     * buffer's output enable.
     *
     * @return the pins; TCK, TDI, TDO, TMS, TRST* and RTCK are refused
     */
    public MpssePins pins() {
        return pins;
    }

    /**
     * The configuration this controller was made with.
     *
     * @return the configuration
     */
    public JtagConfig config() {
        return config;
    }

    /**
     * The TAP's state after the calls so far.
     *
     * @return the state, or null when a failed transfer left it unknown
     */
    public TapState state() {
        mpsse.lock.lock();
        try {
            return state;
        } finally {
            mpsse.lock.unlock();
        }
    }

    /**
     * Resets the TAP: with a TRST* pin, asserts it for five TCK clocks while TMS is high, then
     * releases it; without, five TMS ones. Ends in Test-Logic-Reset, where each device's
     * instruction is IDCODE (or BYPASS). One driver write.
     *
     * @throws IllegalStateException if the controller or device is closed
     * @throws IOException           as {@link #setClockHz}
     */
    public void reset() throws IOException {
        try (JtagBatch batch = batch()) {
            batch.reset();
            batch.execute();
        }
    }

    /**
     * Asserts or releases TRST* and leaves it so. While asserted, the devices stay in
     * Test-Logic-Reset; releasing it leaves the TAP there. One driver write.
     *
     * @param asserted true to drive TRST* low
     * @throws IllegalStateException if the configuration has no TRST* pin, or the controller or
     *                               device is closed
     * @throws IOException           as {@link #setClockHz}
     */
    public void setTrst(boolean asserted) throws IOException {
        try (JtagBatch batch = batch()) {
            batch.setTrst(asserted);
            batch.execute();
        }
    }

    /**
     * Moves the TAP to a stable state by the shortest TMS path (to Test-Logic-Reset from
     * elsewhere: five ones). One driver write; nothing when it is there already.
     *
     * @param stable Test-Logic-Reset, Run-Test/Idle, Shift-DR, Pause-DR, Shift-IR or Pause-IR
     * @throws IllegalArgumentException if the state is not stable
     * @throws IllegalStateException    if the state is unknown (only Test-Logic-Reset is reached
     *                                  then), or the controller or device is closed
     * @throws IOException              as {@link #setClockHz}
     */
    public void goTo(TapState stable) throws IOException {
        try (JtagBatch batch = batch()) {
            batch.goTo(stable);
            batch.execute();
        }
    }

    /**
     * Moves the TAP through the given states, one TCK clock each: every state must follow the one
     * before it (the current state, for the first) by one TMS level. One driver write.
     *
     * @param path the states in order
     * @throws IllegalArgumentException if a state does not follow the one before it
     * @throws IllegalStateException    if the state is unknown, or the controller or device is closed
     * @throws IOException              as {@link #setClockHz}
     */
    public void walk(TapState... path) throws IOException {
        try (JtagBatch batch = batch()) {
            batch.walk(path);
            batch.execute();
        }
    }

    /**
     * Shifts bits through the instruction registers and returns what came out of TDO.
     *
     * @param bits how many, 1 or more
     * @param tdi  the bits to shift in (see the class description), null for ones
     * @param end  the stable state to end in
     * @return the captured bits, {@code ceil(bits / 8)} bytes
     * @throws IllegalArgumentException if bits is below 1, tdi is shorter than the bits, or end is
     *                                  not stable
     * @throws IllegalStateException    if the state is unknown, or the controller or device is closed
     * @throws IOException              as {@link #setClockHz}
     */
    public byte[] scanIr(int bits, byte[] tdi, TapState end) throws IOException {
        return scan(true, bits, tdi, end);
    }

    /**
     * Shifts bits through the data registers and returns what came out of TDO.
     *
     * @param bits how many, 1 or more
     * @param tdi  the bits to shift in (see the class description), null for ones
     * @param end  the stable state to end in
     * @return the captured bits, {@code ceil(bits / 8)} bytes
     * @throws IllegalArgumentException as {@link #scanIr}
     * @throws IllegalStateException    as {@link #scanIr}
     * @throws IOException              as {@link #setClockHz}
     */
    public byte[] scanDr(int bits, byte[] tdi, TapState end) throws IOException {
        return scan(false, bits, tdi, end);
    }

    /**
     * Shifts bits into the instruction registers without reading TDO: one driver write, no read.
     *
     * @param bits how many, 1 or more
     * @param tdi  the bits to shift in, null for ones (BYPASS)
     * @param end  the stable state to end in
     * @throws IllegalArgumentException as {@link #scanIr}
     * @throws IllegalStateException    as {@link #scanIr}
     * @throws IOException              as {@link #setClockHz}
     */
    public void writeIr(int bits, byte[] tdi, TapState end) throws IOException {
        try (JtagBatch batch = batch()) {
            batch.writeIr(bits, tdi, end);
            batch.execute();
        }
    }

    /**
     * Shifts bits into the data registers without reading TDO: one driver write, no read.
     *
     * @param bits how many, 1 or more
     * @param tdi  the bits to shift in, null for ones
     * @param end  the stable state to end in
     * @throws IllegalArgumentException as {@link #scanIr}
     * @throws IllegalStateException    as {@link #scanIr}
     * @throws IOException              as {@link #setClockHz}
     */
    public void writeDr(int bits, byte[] tdi, TapState end) throws IOException {
        try (JtagBatch batch = batch()) {
            batch.writeDr(bits, tdi, end);
            batch.execute();
        }
    }

    /**
     * Goes to a state, clocks TCK there, then goes to another: the number of clocks is the larger
     * of {@code clocks} and {@code minimum} at {@link #clockHz()}, clocked with clock-only commands
     * (TMS held, so the TAP stays), so the wait costs bus time and no round trip. One driver write.
     *
     * @param in      where to clock: Test-Logic-Reset, Run-Test/Idle, Pause-DR or Pause-IR
     * @param clocks  the fewest TCK clocks, 0 or more
     * @param minimum the shortest time, or null for none
     * @param end     the stable state to go to afterwards
     * @throws IllegalArgumentException if {@code in} is no such state, clocks or minimum is
     *                                  negative, or end is not stable
     * @throws IllegalStateException    as {@link #scanIr}
     * @throws IOException              as {@link #setClockHz}
     */
    public void runTest(TapState in, long clocks, Duration minimum, TapState end) throws IOException {
        try (JtagBatch batch = batch()) {
            batch.runTest(in, clocks, minimum, end);
            batch.execute();
        }
    }

    /**
     * Finds the devices of the chain: resets the TAP, reads the data registers (each device's
     * IDCODE, or the one BYPASS bit of a device without), and measures the chain's total
     * instruction register length by filling the registers with zeros and counting the clocks
     * until a one comes through. Ends in Test-Logic-Reset, with every instruction register having
     * been loaded with ones (BYPASS) on the way. One driver write and one driver read. Chains of
     * up to {@value ChainScanner#MAX_DEVICES} devices and {@value ChainScanner#MAX_IR_BITS} IR bits
     * are recognised.
     *
     * @return the devices from TDI to TDO and the IR length, or what TDO showed instead
     * @throws IllegalStateException if the controller or device is closed
     * @throws IOException           as {@link #setClockHz}
     */
    public ChainScan scanChain() throws IOException {
        List<byte[]> captured;
        try (JtagBatch batch = batch()) {
            ChainScanner.addScans(batch);
            captured = batch.execute();
        }
        return ChainScanner.decode(captured.get(0), captured.get(1));
    }

    /**
     * Begins a batch: the operations added to it are built into one command buffer and sent
     * together, and what they capture is read back together. The batch holds the controller
     * (other threads' calls wait) until {@link JtagBatch#execute()} or {@link JtagBatch#close()};
     * use it in try-with-resources, from the thread that began it.
     *
     * @return an empty batch
     * @throws IllegalStateException if the controller is closed, or this thread has a batch open
     */
    public JtagBatch batch() {
        mpsse.lock.lock();
        if (openBatch != null) {
            mpsse.lock.unlock();
            throw new IllegalStateException("This thread has a JTAG batch open: add to it, or execute or close it"
                    + " first");
        }
        try {
            mpsse.checkOpen();
        } catch (RuntimeException e) {
            mpsse.lock.unlock();
            throw e;
        }
        openBatch = new JtagBatch(this);
        return openBatch;
    }

    /** Called by a batch as it ends: lets other callers in. */
    void batchEnded() {
        openBatch = null;
        mpsse.lock.unlock();
    }

    boolean hasTrst() {
        return trstBit != 0;
    }

    int trstBit() {
        return trstBit;
    }

    private byte[] scan(boolean ir, int bits, byte[] tdi, TapState end) throws IOException {
        try (JtagBatch batch = batch()) {
            if (ir) {
                batch.scanIr(bits, tdi, end);
            } else {
                batch.scanDr(bits, tdi, end);
            }
            List<byte[]> captured = batch.execute();
            return captured.get(0);
        }
    }

    /**
     * Gives the pins back (bit mode reset). Waits for a batch another thread has open. Closing
     * again does nothing.
     *
     * @throws FtdiException if the driver fails; the controller is closed all the same
     */
    @Override
    public void close() throws FtdiException {
        mpsse.close();
    }

    @Override
    public String toString() {
        return mpsse.toString();
    }

    static void checkStable(TapState state, String what) {
        Objects.requireNonNull(state, what);
        if (!state.isStable()) {
            throw new IllegalArgumentException(what + " must be a stable state (TEST_LOGIC_RESET, RUN_TEST_IDLE,"
                    + " SHIFT_DR, PAUSE_DR, SHIFT_IR or PAUSE_IR), not " + state);
        }
    }
}
