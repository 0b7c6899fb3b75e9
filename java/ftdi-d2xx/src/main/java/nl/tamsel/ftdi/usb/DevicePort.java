package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import java.util.OptionalInt;

/**
 * What the functions on a device's pins (SPI, I2C, JTAG, bit-bang, CBUS, the EEPROM) may do with
 * the device, and all they may do: who owns the pins, bit modes, driver calls, and transfers that
 * close wakes. They reach the device only through this port, never through {@link FtdiDevice}'s
 * other package-private members.
 *
 * <p>Every transfer runs inside the device's close protection: the handle stays valid until it
 * returns, close wakes a transfer that waits, and one that close ended throws
 * {@link AsynchronousCloseException}.
 */
final class DevicePort {

    /** The reply bytes a function may leave unread on the device by default. */
    static final int DEFAULT_REPLY_BOUND = 65_536;

    private final FtdiDevice device;
    private final Object pinLock = new Object();
    private Object pinUser;
    private volatile int replyBound = DEFAULT_REPLY_BOUND;

    DevicePort(FtdiDevice device) {
        this.device = device;
    }

    String name() {
        return device.name();
    }

    /** The chip type, as the driver reports it. */
    DeviceType type() throws FtdiException {
        return device.details().type();
    }

    boolean isOpen() {
        return device.isOpen();
    }

    /** Whether close has begun, for a transfer that came back short. */
    boolean isClosing() {
        return device.isClosing();
    }

    /**
     * The most reply bytes a function may have asked for and not read yet: the chip's and the
     * driver's buffers must hold them, or the engine stops taking commands.
     */
    int replyBound() {
        return replyBound;
    }

    void setReplyBound(int bytes) {
        replyBound = bytes;
    }

    // ---- Pins -------------------------------------------------------------------------------

    /** Takes the pins for a function, refusing when another has them or the device is closed. */
    void claimPins(Object user) {
        synchronized (pinLock) {
            if (!device.isOpen()) {
                throw new IllegalStateException("Device " + name() + " is closed");
            }
            if (pinUser != null) {
                throw new IllegalStateException("The pins of device " + name() + " are in use by " + pinUser
                        + "; close it first");
            }
            pinUser = user;
        }
    }

    /** Gives the pins back; nothing when the user does not have them. */
    void releasePins(Object user) {
        synchronized (pinLock) {
            if (pinUser == user) {
                pinUser = null;
            }
        }
    }

    /**
     * Resets the bit mode, unless the device is closed (which reset it), and gives the pins back
     * whatever happens.
     */
    void leavePinMode(Object user, String what) throws FtdiException {
        try {
            if (device.isOpen()) {
                setBitMode(0, 0, what);
            }
        } catch (IllegalStateException closedMeanwhile) {
            // The device closed first: nothing is left to reset.
        } finally {
            releasePins(user);
        }
    }

    // ---- Driver calls -----------------------------------------------------------------------

    /** Sets a bit mode, failing with the mode's name in the message. */
    void setBitMode(int mask, int mode, String what) throws FtdiException {
        call(what, h -> D2XXModes.setBitMode(h, mask, mode));
    }

    /** One driver call on the open handle; a negative result becomes an {@link FtdiException}. */
    int call(String what, FtdiDevice.DriverCall driverCall) throws FtdiException {
        return device.call(what, driverCall);
    }

    void purgeReceiveQueue() throws FtdiException {
        device.purgeReceiveQueue();
    }

    /**
     * Prepares the device for a command protocol on its pins: a clean start (device reset, receive
     * queue purged), the USB transfer size, no event or error characters, the timeouts every
     * exchange runs under, a short latency timer, and RTS/CTS flow control, which the command
     * engines need so that the chip can hold the host back.
     */
    void prepareForCommands(int transferSize, Duration timeout, Duration latency) throws FtdiException {
        device.reset();
        device.purgeReceiveQueue();
        device.setUsbTransferSize(transferSize);
        device.setSpecialCharacters(OptionalInt.empty(), OptionalInt.empty());
        device.setReadTimeout(timeout);
        device.setWriteTimeout(timeout);
        device.setLatencyTimer(latency);
        device.setFlowControl(FlowControl.RTS_CTS);
    }

    // ---- Transfers ----------------------------------------------------------------------------

    /**
     * One exchange: writes {@code outLength} bytes with one driver write (more only if the driver
     * takes fewer), then reads exactly {@code replyLength} bytes with one driver read, which ends at
     * the read timeout.
     *
     * @throws AsynchronousCloseException if close ended the exchange
     * @throws FtdiException              if the driver fails, or the reply is short (the rest of
     *                                    it is purged, so that the next exchange starts clean)
     */
    void exchange(byte[] out, int outLength, byte[] reply, int replyLength, String what) throws IOException {
        long handle = device.enterTransfer();
        try {
            writeAll(handle, out, 0, outLength, what);
            readAll(handle, reply, 0, replyLength, what);
        } finally {
            device.leaveTransfer();
        }
    }

    /**
     * Writes {@code length} bytes from {@code out}, continuing after short counts, without reading:
     * for a function that pipelines, reading earlier replies between its writes.
     */
    void write(byte[] out, int offset, int length, String what) throws IOException {
        long handle = device.enterTransfer();
        try {
            writeAll(handle, out, offset, length, what);
        } finally {
            device.leaveTransfer();
        }
    }

    /** Reads exactly {@code length} reply bytes into {@code reply} at {@code offset}, with one driver read. */
    void read(byte[] reply, int offset, int length, String what) throws IOException {
        long handle = device.enterTransfer();
        try {
            readAll(handle, reply, offset, length, what);
        } finally {
            device.leaveTransfer();
        }
    }

    private void writeAll(long handle, byte[] out, int offset, int length, String what) throws IOException {
        int done = 0;
        while (done < length) {
            if (device.isClosing()) {
                throw new AsynchronousCloseException();
            }
            int count = D2XX.write(handle, out, offset + done, length - done);
            if (count < 0) {
                throw device.failure(what + ": writing " + length + " bytes", count);
            }
            if (count == 0) {
                throw new FtdiException(what + ": the device took no byte of " + (length - done)
                        + " within the write timeout", name(), FtdiStatus.FT_IO_ERROR.code());
            }
            done += count;
        }
    }

    private void readAll(long handle, byte[] reply, int offset, int length, String what) throws IOException {
        if (length == 0) {
            return;
        }
        int count = D2XX.read(handle, reply, offset, length);
        if (count < 0) {
            throw device.failure(what + ": reading the " + length + "-byte reply", count);
        }
        if (count < length) {
            if (device.isClosing()) {
                throw new AsynchronousCloseException();
            }
            D2XX.purge(handle, D2XXConstants.FT_PURGE_RX);
            throw new FtdiException(what + ": " + count + " of " + length + " reply bytes came within the read"
                    + " timeout", name(), FtdiStatus.FT_IO_ERROR.code());
        }
    }

    /** The device, as its functions name it in their own descriptions. */
    @Override
    public String toString() {
        return device.toString();
    }
}
