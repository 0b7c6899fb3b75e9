package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.nio.ByteOrder;
import java.util.Arrays;
import java.util.Objects;

/**
 * An I2C master on a device's MPSSE engine, from {@link FtdiDevice#i2cMaster(I2cConfig)}. SCL is
 * ADBUS0; SDA is ADBUS1 (out) and ADBUS2 (in), wired together, with pull-up resistors on both
 * lines. On the FT232H the pins are true open drain; on the other chips SDA is released by making
 * it an input, and SCL is driven, so clock stretching goes unseen.
 *
 * <pre>{@code
 * try (FtdiDevice device = FtdiDevice.openByIndex(0);
 *      I2cMaster i2c = device.i2cMaster(I2cConfig.of(I2cSpeed.FAST))) {
 *     I2cAddress sensor = I2cAddress.of(0x48);
 *     int temperature = i2c.readRegister16(sensor, 0x00, ByteOrder.BIG_ENDIAN);
 * }
 * }</pre>
 *
 * <h2>Round trips and acknowledgements</h2>
 * By default a whole transaction (start, address, bytes, repeated start, reads, stop) goes in one
 * driver write, and everything it brings back (one acknowledgement per written byte, the bytes
 * read) in one driver read; the acknowledgements are checked afterwards. So when the target
 * refuses a byte, the bytes after it have still been sent on the bus, and the stop ends the
 * transaction as usual; the call then throws {@link I2cNackException} naming the first refused
 * byte. With {@link I2cConfig#checkEachByte()} each written byte is a round trip of its own and
 * the transaction stops (with a stop condition) at the first refusal.
 *
 * <p>Before each start the master reads SDA with the bus released: when a device holds it low
 * (a stuck bus), the call throws an {@link IOException} saying so instead of reading every
 * acknowledgement as given and every byte as 0.
 *
 * <h2>Threads and closing</h2>
 * Any thread may use a master; transactions are serialised. After {@link #close()}, or once the
 * device is closed, calls throw {@link IllegalStateException}; a transaction under way when the
 * device closes throws {@link java.nio.channels.AsynchronousCloseException}.
 */
public final class I2cMaster implements AutoCloseable {

    /** The lowest address {@link #scan()} probes (those below are reserved). */
    public static final int SCAN_FIRST = 0x08;
    /** The highest address {@link #scan()} probes (those above are reserved). */
    public static final int SCAN_LAST = 0x77;

    private static final int SCL = 1;
    private static final int SDA = 1 << 1;
    private static final int SDA_IN = 1 << 2;
    private static final int WRITE_BYTE_MSB_FALLING = 0x11;
    private static final int READ_BITS_MSB_RISING = 0x22;
    private static final int READ_BYTE_MSB_RISING = 0x20;
    private static final int WRITE_BITS_MSB_FALLING = 0x13;
    /** Acknowledgement code of a written address byte, and of one written for reading. */
    private static final int ADDRESS = -1;
    private static final int READ_ADDRESS = -2;

    private final Mpsse mpsse;
    private final I2cConfig config;
    /** How often each pin step is repeated to meet the bus's setup and hold times. */
    private final int repeats;
    private final MpssePins pins;
    /** Per written byte of the transaction being built: its code (data index or address) and reply position. */
    private int[] ackCodes = new int[64];
    private int[] ackPositions = new int[64];
    private int acks;
    /** Reply positions of the free-bus checks (SDA high before a start) of the round trip being built. */
    private int[] busCheckPositions = new int[128];
    private int busChecks;

    private I2cMaster(Mpsse mpsse, I2cConfig config, int repeats) {
        this.mpsse = mpsse;
        this.config = config;
        this.repeats = repeats;
        this.pins = new MpssePins(mpsse);
    }

    static I2cMaster open(DevicePort port, I2cConfig config) throws IOException {
        DeviceType type = port.type();
        boolean hiSpeed = type != DeviceType.FT_DEVICE_2232C;
        boolean openDrain = type == DeviceType.FT_DEVICE_232H;
        int divisor = hiSpeed ? config.speed().hiSpeedDivisor : config.speed().fullSpeedDivisor;
        // A pin command takes about half a clock period of the engine's clock (base / ((1 + d) * 2)).
        long engineHz = (hiSpeed ? 60_000_000L : 12_000_000L) / ((1L + divisor) * 2);
        long halfPeriodNanos = 1_000_000_000L / (2 * engineHz);
        int repeats = (int) Math.max(2, (config.speed().setupNanos + halfPeriodNanos - 1) / halfPeriodNanos);
        // Idle bus: SCL high, SDA released. FT232H: both outputs in drive-zero, so a 1 floats.
        int levels = SCL | (openDrain ? SDA : 0);
        int directions = SCL | (openDrain ? SDA : 0);
        Mpsse mpsse = Mpsse.enter(port, "I2cMaster[" + port + ", " + config.speed().hz() + " Hz]", divisor,
                hiSpeed, levels, directions, openDrain ? SCL | SDA | 1 << 2 : 0);
        mpsse.own(0, "I2C clock (SCL)");
        mpsse.own(1, "I2C data (SDA out)");
        mpsse.own(2, "I2C data (SDA in)");
        return new I2cMaster(mpsse, config, repeats);
    }

    /**
     * The configuration this master was made with.
     *
     * @return the configuration
     */
    public I2cConfig config() {
        return config;
    }

    /**
     * The MPSSE pins this master leaves free (GPIOL0..3, GPIOH0..7), for general I/O.
     *
     * @return the pins; SCL and SDA are refused
     */
    public MpssePins pins() {
        return pins;
    }

    // ---- Transactions -------------------------------------------------------------------------

    /**
     * Writes bytes to a target: start, address, the bytes, stop.
     *
     * @param address the target
     * @param data    the bytes; none probes the address
     * @throws I2cNackException          if the target refused the address or a byte (see the class description)
     * @throws IllegalStateException     if the master or device is closed
     * @throws java.nio.channels.AsynchronousCloseException if the device is closed meanwhile
     * @throws FtdiException             if the driver fails
     * @throws IOException               as the three above
     */
    public void write(I2cAddress address, byte[] data) throws IOException {
        Objects.requireNonNull(data, "data");
        transfer(address, -1, 0, data, null, 0);
    }

    /**
     * Reads bytes from a target: start, address for reading, the bytes (each acknowledged but the
     * last, which gets a NACK as the protocol says), stop.
     *
     * @param address the target
     * @param count   how many bytes, at least 1
     * @return the bytes
     * @throws IllegalArgumentException if count is below 1
     * @throws I2cNackException         if no target acknowledged the address
     * @throws IOException              as {@link #write}
     */
    public byte[] read(I2cAddress address, int count) throws IOException {
        checkReadCount(count);
        byte[] in = new byte[count];
        transfer(address, -1, 0, null, in, count);
        return in;
    }

    /**
     * Writes bytes, then reads after a repeated start, in one transaction: the usual register read.
     *
     * @param address the target
     * @param data    the bytes to write first, at least one
     * @param count   how many bytes to read, at least 1
     * @return the bytes read
     * @throws IllegalArgumentException if data is empty or count below 1
     * @throws I2cNackException         if the target refused the address or a byte
     * @throws IOException              as {@link #write}
     */
    public byte[] writeThenRead(I2cAddress address, byte[] data, int count) throws IOException {
        Objects.requireNonNull(data, "data");
        if (data.length == 0) {
            throw new IllegalArgumentException("writeThenRead writes at least one byte; use read for none");
        }
        checkReadCount(count);
        byte[] in = new byte[count];
        transfer(address, -1, 0, data, in, count);
        return in;
    }

    /**
     * Reads consecutive 8-bit registers from a register address (targets that advance their
     * register pointer): write the register, repeated start, read.
     *
     * @param address  the target
     * @param register the first register, 0 to 255
     * @param count    how many registers, at least 1
     * @return their values
     * @throws IllegalArgumentException if register or count is out of range
     * @throws I2cNackException         if the target refused the address or the register byte
     * @throws IOException              as {@link #write}
     */
    public byte[] readRegisters(I2cAddress address, int register, int count) throws IOException {
        checkRegister(register);
        checkReadCount(count);
        byte[] in = new byte[count];
        transfer(address, register, 0, null, in, count);
        return in;
    }

    /**
     * Writes consecutive 8-bit registers: register byte, then the values, in one write.
     *
     * @param address  the target
     * @param register the first register, 0 to 255
     * @param values   the values
     * @throws IllegalArgumentException if register is out of range
     * @throws I2cNackException         if the target refused a byte; byte 0 is the register
     * @throws IOException              as {@link #write}
     */
    public void writeRegisters(I2cAddress address, int register, byte[] values) throws IOException {
        checkRegister(register);
        Objects.requireNonNull(values, "values");
        transfer(address, register, 0, values, null, 0);
    }

    /**
     * Reads an 8-bit register.
     *
     * @param address  the target
     * @param register 0 to 255
     * @return the value, 0 to 255
     * @throws IllegalArgumentException if register is out of range
     * @throws I2cNackException         if the target refused the address or register
     * @throws IOException              as {@link #write}
     */
    public int readRegister8(I2cAddress address, int register) throws IOException {
        return readRegisters(address, register, 1)[0] & 0xFF;
    }

    /**
     * Writes an 8-bit register.
     *
     * @param address  the target
     * @param register 0 to 255
     * @param value    0 to 255
     * @throws IllegalArgumentException if register or value is out of range
     * @throws I2cNackException         if the target refused a byte
     * @throws IOException              as {@link #write}
     */
    public void writeRegister8(I2cAddress address, int register, int value) throws IOException {
        checkRegister(register);
        if (value < 0 || value > 0xFF) {
            throw new IllegalArgumentException("An 8-bit register value is 0 to 255, not " + value);
        }
        transfer(address, register, 1, null, null, value);
    }

    /**
     * Reads a 16-bit register.
     *
     * @param address  the target
     * @param register 0 to 255
     * @param order    BIG_ENDIAN when the high byte comes first
     * @return the value, 0 to 0xFFFF
     * @throws IllegalArgumentException if register is out of range
     * @throws I2cNackException         if the target refused the address or register
     * @throws IOException              as {@link #write}
     */
    public int readRegister16(I2cAddress address, int register, ByteOrder order) throws IOException {
        Objects.requireNonNull(order, "order");
        byte[] two = readRegisters(address, register, 2);
        int first = two[0] & 0xFF;
        int second = two[1] & 0xFF;
        return order == ByteOrder.BIG_ENDIAN ? first << 8 | second : second << 8 | first;
    }

    /**
     * Writes a 16-bit register.
     *
     * @param address  the target
     * @param register 0 to 255
     * @param value    0 to 0xFFFF
     * @param order    BIG_ENDIAN to send the high byte first
     * @throws IllegalArgumentException if register or value is out of range
     * @throws I2cNackException         if the target refused a byte
     * @throws IOException              as {@link #write}
     */
    public void writeRegister16(I2cAddress address, int register, int value, ByteOrder order) throws IOException {
        checkRegister(register);
        Objects.requireNonNull(order, "order");
        if (value < 0 || value > 0xFFFF) {
            throw new IllegalArgumentException("A 16-bit register value is 0 to 0xFFFF, not " + value);
        }
        int wire = order == ByteOrder.BIG_ENDIAN ? value : (value & 0xFF) << 8 | value >>> 8;
        transfer(address, register, 2, null, null, wire);
    }

    /**
     * Finds the targets on the bus: probes each address from {@value #SCAN_FIRST} to
     * {@value #SCAN_LAST} with an empty write (start, address, stop), in two round trips.
     *
     * @return the addresses that acknowledged, ascending
     * @throws IllegalStateException if the master or device is closed
     * @throws IOException           as {@link #write}
     */
    public int[] scan() throws IOException {
        int[] found = new int[SCAN_LAST - SCAN_FIRST + 1];
        int count = 0;
        int half = (SCAN_FIRST + SCAN_LAST + 1) / 2;
        mpsse.lock.lock();
        try {
            mpsse.checkOpen();
            for (int from = SCAN_FIRST; from <= SCAN_LAST; from = half) {
                int to = from == SCAN_FIRST ? half : SCAN_LAST + 1;
                acks = 0;
                busChecks = 0;
                for (int a = from; a < to; a++) {
                    start();
                    writeByte(a << 1, ADDRESS);
                    stop();
                }
                byte[] reply = run("Scanning the I2C bus");
                checkBusFree("a bus scan", reply);
                for (int a = from; a < to; a++) {
                    if ((reply[ackPositions[a - from]] & 1) == 0) {
                        found[count++] = a;
                    }
                }
                if (to > SCAN_LAST) {
                    break;
                }
            }
        } finally {
            mpsse.lock.unlock();
        }
        return Arrays.copyOf(found, count);
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

    // ---- Building -----------------------------------------------------------------------------

    /**
     * One transaction: start, address, written bytes (an optional register byte, then either
     * {@code data} or the low {@code valueBytes} bytes of {@code value}, high first), then, when
     * {@code readCount} > 0, a repeated start and the reads, and stop.
     */
    private void transfer(I2cAddress address, int register, int valueBytes, byte[] data, byte[] in, int value)
            throws IOException {
        Objects.requireNonNull(address, "address");
        int readCount = in == null ? 0 : in.length;
        mpsse.lock.lock();
        try {
            mpsse.checkOpen();
            acks = 0;
            busChecks = 0;
            int written = (register >= 0 ? 1 : 0) + valueBytes + (data == null ? 0 : data.length);
            boolean checkEach = config.checkEachByte();
            if (written > 0 || readCount == 0) {
                start();
                writeAddress(address, false);
                checkpoint(address, checkEach);
                int index = 0;
                if (register >= 0) {
                    writeByte(register, index++);
                    checkpoint(address, checkEach);
                }
                for (int k = valueBytes - 1; k >= 0; k--) {
                    writeByte(value >>> (8 * k), index++);
                    checkpoint(address, checkEach);
                }
                if (data != null) {
                    for (byte b : data) {
                        writeByte(b, index++);
                        checkpoint(address, checkEach);
                    }
                }
            }
            int readAt = 0;
            if (readCount > 0) {
                if (written > 0) {
                    repeatedStart();
                    // A 10-bit target already knows its full address: the first byte for reading suffices.
                    writeByte(addressByte(address, true), READ_ADDRESS);
                } else {
                    start();
                    writeAddress(address, true);
                }
                checkpoint(address, checkEach);
                readAt = mpsse.replyLength();
                for (int i = 0; i < readCount; i++) {
                    readByte(i == readCount - 1);
                }
            }
            stop();
            byte[] reply = run("An I2C transaction with " + address);
            checkAcks(address, reply);
            if (readCount > 0) {
                System.arraycopy(reply, readAt, in, 0, readCount);
            }
        } finally {
            mpsse.discard();
            mpsse.lock.unlock();
        }
    }

    /** In per-byte mode: sends what is built and stops the transaction at a refusal. */
    private void checkpoint(I2cAddress address, boolean checkEach) throws IOException {
        if (!checkEach) {
            return;
        }
        byte[] reply = run("An I2C transaction with " + address);
        checkBusFree("a transaction with " + address, reply);
        // The reply holds this round trip's bytes only: the acknowledgement is its last.
        if ((reply[ackPositions[acks - 1]] & 1) != 0) {
            int code = ackCodes[acks - 1];
            stop();
            run("Ending an I2C transaction with " + address);
            throw nack(address, code);
        }
        acks = 0;
    }

    private void checkAcks(I2cAddress address, byte[] reply) throws IOException {
        checkBusFree("a transaction with " + address, reply);
        for (int i = 0; i < acks; i++) {
            if ((reply[ackPositions[i]] & 1) != 0) {
                throw nack(address, ackCodes[i]);
            }
        }
    }

    /** Fails when SDA read low with the bus released before a start: a device holds it. */
    private void checkBusFree(String what, byte[] reply) throws IOException {
        int checks = busChecks;
        busChecks = 0;
        for (int i = 0; i < checks; i++) {
            if ((reply[busCheckPositions[i]] & SDA_IN) == 0) {
                throw new IOException("The I2C bus is stuck: SDA stays low with the bus released, before the start of "
                        + what + "; a device holds it (power-cycle or reset that device)");
            }
        }
    }

    private static I2cNackException nack(I2cAddress address, int code) {
        return new I2cNackException(address, code < 0 ? -1 : code, code == READ_ADDRESS);
    }

    private void writeAddress(I2cAddress address, boolean read) {
        if (address.tenBit()) {
            // 11110 A9 A8 0, then A7..A0; reading follows with a repeated start and 11110 A9 A8 1.
            writeByte(addressByte(address, false), ADDRESS);
            writeByte(address.value() & 0xFF, ADDRESS);
            if (read) {
                repeatedStart();
                writeByte(addressByte(address, true), READ_ADDRESS);
            }
        } else {
            writeByte(addressByte(address, read), read ? READ_ADDRESS : ADDRESS);
        }
    }

    private static int addressByte(I2cAddress address, boolean read) {
        int rw = read ? 1 : 0;
        return address.tenBit() ? 0xF0 | (address.value() >>> 7 & 0x06) | rw : address.value() << 1 | rw;
    }

    /** Sets SCL and SDA (high = released) with one pin command, repeated to meet the bus timing. */
    private void pins(boolean scl, boolean sda) {
        int levels = mpsse.levels & ~(SCL | SDA);
        int directions = mpsse.directions | SCL;
        if (mpsse.driveZero) {
            // Open drain: a 1 floats, so SDA stays an output.
            levels |= (scl ? SCL : 0) | (sda ? SDA : 0);
            directions |= SDA;
        } else {
            levels |= scl ? SCL : 0;
            directions = sda ? directions & ~SDA : directions | SDA;
        }
        mpsse.levels = levels;
        mpsse.directions = directions;
        for (int i = 0; i < repeats; i++) {
            mpsse.setLow();
        }
    }

    private void start() {
        pins(true, true);
        // With both lines released SDA must read high; a device holding it low would make every
        // acknowledgement read as given and every byte read as 0.
        mpsse.add(Mpsse.READ_LOW);
        if (busChecks == busCheckPositions.length) {
            busCheckPositions = Arrays.copyOf(busCheckPositions, busChecks * 2);
        }
        busCheckPositions[busChecks++] = mpsse.replyLength();
        mpsse.expect(1);
        pins(true, false);
        pins(false, false);
    }

    private void repeatedStart() {
        pins(false, true);
        pins(true, true);
        pins(true, false);
        pins(false, false);
    }

    private void stop() {
        pins(false, false);
        pins(true, false);
        pins(true, true);
    }

    /** Clocks a byte out, releases SDA and clocks the acknowledgement into bit 0 of one reply byte. */
    private void writeByte(int value, int code) {
        sdaDriven();
        mpsse.add(WRITE_BYTE_MSB_FALLING, 0, 0);
        mpsse.add(value);
        sdaReleased();
        mpsse.add(READ_BITS_MSB_RISING, 0);
        if (acks == ackCodes.length) {
            ackCodes = Arrays.copyOf(ackCodes, acks * 2);
            ackPositions = Arrays.copyOf(ackPositions, acks * 2);
        }
        ackCodes[acks] = code;
        ackPositions[acks] = mpsse.replyLength();
        acks++;
        mpsse.expect(1);
    }

    /** Clocks a byte in with SDA released, then drives the acknowledgement: 0, or 1 (NACK) after the last. */
    private void readByte(boolean last) {
        sdaReleased();
        mpsse.add(READ_BYTE_MSB_RISING, 0, 0);
        mpsse.expect(1);
        sdaDriven();
        mpsse.add(WRITE_BITS_MSB_FALLING, 0, last ? 0xFF : 0x00);
    }

    /** SCL low, SDA an output (low until the data command drives it). */
    private void sdaDriven() {
        mpsse.levels &= ~(SCL | SDA);
        mpsse.directions |= SCL | SDA;
        mpsse.setLow();
    }

    /** SCL low, SDA released for the target to drive. */
    private void sdaReleased() {
        mpsse.levels &= ~SCL;
        if (mpsse.driveZero) {
            mpsse.levels |= SDA;
        } else {
            mpsse.directions &= ~SDA;
        }
        mpsse.setLow();
    }

    private byte[] run(String what) throws IOException {
        return mpsse.execute(what);
    }

    private static void checkRegister(int register) {
        if (register < 0 || register > 0xFF) {
            throw new IllegalArgumentException("An 8-bit register address is 0 to 255, not " + register);
        }
    }

    private static void checkReadCount(int count) {
        if (count < 1) {
            throw new IllegalArgumentException("An I2C read takes at least 1 byte, not " + count);
        }
    }
}
