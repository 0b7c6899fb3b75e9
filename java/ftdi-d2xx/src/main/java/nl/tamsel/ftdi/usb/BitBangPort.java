package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.util.Objects;

/**
 * The eight data pins of a device in bit-bang mode, from {@link FtdiDevice#bitBang(int)} or
 * {@link FtdiDevice#syncBitBang(int)}. Pin n is bit n: ADBUS0..7, or on single-channel UART
 * chips TXD, RXD, RTS#, CTS#, DTR#, DSR#, DCD#, RI#.
 *
 * <p>In asynchronous bit-bang every write drives the output pins at once, and {@link #read()}
 * gives the pins' levels now. In synchronous bit-bang the device samples every pin just before
 * it drives each written byte and sends the samples back, so samples lag the writes by one byte:
 * {@link #transfer(byte[])} returns sample i taken before byte i went out (the first sample shows
 * the pins as they were before the transfer). Both modes step at the baud rate's pace (the
 * device's baud rate times a chip-dependent factor, 16 as far as known).
 *
 * <p>Any thread may use a port; calls are serialised. After {@link #close()}, or once the device
 * is closed, calls throw {@link IllegalStateException}.
 */
public final class BitBangPort implements AutoCloseable {

    private static final int MODE_ASYNC = 0x01;
    private static final int MODE_SYNC = 0x04;

    private final DevicePort port;
    private final boolean sync;
    private int directions;
    private int outputs;
    private boolean closed;
    private final byte[] one = new byte[1];
    private final byte[] sample = new byte[1];

    private BitBangPort(DevicePort port, int directions, boolean sync) {
        this.port = port;
        this.directions = directions;
        this.sync = sync;
    }

    static BitBangPort open(DevicePort device, int directions, boolean sync) throws FtdiException {
        checkByte("The directions", directions);
        BitBangPort port = new BitBangPort(device, directions, sync);
        device.claimPins(port);
        try {
            device.setBitMode(directions, sync ? MODE_SYNC : MODE_ASYNC,
                    "Entering " + (sync ? "synchronous" : "asynchronous") + " bit-bang");
        } catch (RuntimeException | FtdiException e) {
            device.releasePins(port);
            throw e;
        }
        return port;
    }

    /**
     * Drives the output pins.
     *
     * @param levels bit n is pin n's level, 0 to 255; bits of input pins are ignored
     * @throws IllegalArgumentException   if levels is outside 0 to 255
     * @throws IllegalStateException      if the port or device is closed
     * @throws java.nio.channels.AsynchronousCloseException if the device is closed meanwhile
     * @throws FtdiException              if the driver fails
     * @throws IOException                as the two above
     */
    public synchronized void write(int levels) throws IOException {
        checkByte("Pin levels", levels);
        checkOpen();
        outputs = levels;
        one[0] = (byte) levels;
        // A synchronous write also brings a sample; taking it keeps later transfers in step.
        port.exchange(one, 1, sample, sync ? 1 : 0, "Driving the bit-bang pins");
    }

    /**
     * The levels of all eight pins now, outputs included.
     *
     * @return bit n is pin n's level
     * @throws IllegalStateException if the port or device is closed
     * @throws FtdiException         if the driver fails
     */
    public synchronized int read() throws FtdiException {
        checkOpen();
        return port.call("Reading the bit-bang pins", D2XXModes::getBitMode);
    }

    /**
     * Drives one output pin, leaving the others as last written.
     *
     * @param pin   0 to 7
     * @param level true for high
     * @throws IllegalArgumentException if the pin is not 0 to 7, or is an input
     * @throws IllegalStateException    if the port or device is closed
     * @throws IOException              as {@link #write(int)}
     */
    public synchronized void setPin(int pin, boolean level) throws IOException {
        checkPin(pin);
        if ((directions & (1 << pin)) == 0) {
            throw new IllegalArgumentException("Pin " + pin + " is an input (directions 0x"
                    + Integer.toHexString(directions) + "); make it an output with setDirections first");
        }
        write(level ? outputs | (1 << pin) : outputs & ~(1 << pin));
    }

    /**
     * One pin's level now.
     *
     * @param pin 0 to 7
     * @return true when high
     * @throws IllegalArgumentException if the pin is not 0 to 7
     * @throws IllegalStateException    if the port or device is closed
     * @throws FtdiException            if the driver fails
     */
    public boolean pin(int pin) throws FtdiException {
        checkPin(pin);
        return (read() & (1 << pin)) != 0;
    }

    /**
     * Changes which pins are outputs.
     *
     * @param directions bit n set makes pin n an output
     * @throws IllegalArgumentException if directions is outside 0 to 255
     * @throws IllegalStateException    if the port or device is closed
     * @throws FtdiException            if the driver fails
     */
    public synchronized void setDirections(int directions) throws FtdiException {
        checkByte("The directions", directions);
        checkOpen();
        port.setBitMode(directions, sync ? MODE_SYNC : MODE_ASYNC, "Setting the bit-bang directions");
        this.directions = directions;
    }

    /**
     * The directions last set.
     *
     * @return bit n set when pin n is an output
     */
    public synchronized int directions() {
        return directions;
    }

    /**
     * Synchronous bit-bang only: drives the bytes one after the other and returns the samples,
     * one per byte written, each taken just before its byte was driven. The last byte's own
     * effect shows in the first sample of the next transfer. One driver write, one driver read.
     *
     * @param pattern the levels to drive, one byte per step
     * @return the samples, as many as pattern bytes
     * @throws IllegalStateException      if the port is asynchronous, or closed
     * @throws java.nio.channels.AsynchronousCloseException if the device is closed meanwhile
     * @throws FtdiException              if the driver fails or the samples do not come within the
     *                                    read timeout
     * @throws IOException                as the two above
     */
    public synchronized byte[] transfer(byte[] pattern) throws IOException {
        Objects.requireNonNull(pattern, "pattern");
        if (!sync) {
            throw new IllegalStateException("Samples come only in synchronous bit-bang; open the port with"
                    + " FtdiDevice.syncBitBang");
        }
        checkOpen();
        byte[] samples = new byte[pattern.length];
        if (pattern.length > 0) {
            port.exchange(pattern, pattern.length, samples, pattern.length, "A bit-bang transfer");
            outputs = pattern[pattern.length - 1] & 0xFF;
        }
        return samples;
    }

    /**
     * Gives the pins back to the serial line (bit mode reset). Closing again does nothing.
     *
     * @throws FtdiException if the driver fails; the port is closed all the same
     */
    @Override
    public void close() throws FtdiException {
        synchronized (this) {
            if (closed) {
                return;
            }
            closed = true;
        }
        port.leavePinMode(this, "Leaving bit-bang");
    }

    @Override
    public String toString() {
        return (sync ? "synchronous" : "asynchronous") + " BitBangPort[" + port + "]";
    }

    private void checkOpen() {
        if (closed) {
            throw new IllegalStateException(this + " is closed");
        }
    }

    private static void checkPin(int pin) {
        if (pin < 0 || pin > 7) {
            throw new IllegalArgumentException("A bit-bang pin is 0 to 7, not " + pin);
        }
    }

    static void checkByte(String what, int value) {
        if (value < 0 || value > 0xFF) {
            throw new IllegalArgumentException(what + " are a byte, 0 to 255 (0xFF), not " + value);
        }
    }
}
