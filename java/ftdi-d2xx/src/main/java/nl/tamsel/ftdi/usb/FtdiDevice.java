package nl.tamsel.ftdi.usb;

import java.io.Closeable;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.SocketTimeoutException;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Collections;
import java.util.EnumSet;
import java.util.List;
import java.util.Set;
import java.util.Objects;
import java.util.OptionalInt;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * An open FTDI device: its serial line settings, control signals, status and data, with every
 * driver failure reported as an {@link FtdiException}.
 *
 * <pre>{@code
 * try (FtdiDevice device = FtdiDevice.openBySerialNumber("FT1ZK4")) {
 *     device.setBaudRate(115_200);
 *     device.setDataCharacteristics(DataBits.EIGHT, StopBits.ONE, Parity.NONE);
 *     device.setReadTimeout(Duration.ofSeconds(1));
 *     device.getOutputStream().write("ping\n".getBytes(StandardCharsets.US_ASCII));
 *     int first = device.getInputStream().read();   // SocketTimeoutException after 1 s of silence
 * }
 * }</pre>
 *
 * <h2>Arguments</h2>
 * Values whose range the driver publishes are checked before the driver sees them, and a value
 * outside it throws {@link IllegalArgumentException} saying what is allowed. The driver alone
 * judges the rest, such as which baud rates a device can approximate.
 *
 * <h2>Timeouts</h2>
 * The read timeout bounds how long a read waits for bytes, the write timeout how long a write
 * waits for the device to take bytes; {@link Duration#ZERO}, the default set at open, means no
 * limit. Without a limit the device waits in steps of {@value #WAIT_STEP_MILLIS} ms (the value
 * the driver is then given), so that {@link #close()} is never held up for longer than that.
 *
 * <h2>Threads and closing</h2>
 * Any thread may call any method. Calls run side by side; {@link #close()} waits until those in
 * progress have left the driver, and no call reaches the driver once close has begun: they throw
 * {@link IllegalStateException} instead. A read waiting for bytes when close begins is woken by
 * purging the receive queue (the bytes in it are dropped; they could not be read anyway) and
 * throws {@link AsynchronousCloseException}; so is a write waiting for the device to take bytes,
 * by purging the transmit queue. Should a driver not end a waiting call on a purge, close waits
 * for that call's timeout, or one waiting step when there is none.
 *
 * <h2>Streams</h2>
 * {@link #getInputStream()} and {@link #getOutputStream()} follow the conventions of
 * {@link java.net.Socket}: closing either stream closes the device.
 */
public final class FtdiDevice implements Closeable {

    /** The longest a call waits in the driver when no timeout is set, in milliseconds. */
    public static final int WAIT_STEP_MILLIS = 250;
    /** The highest baud rate any device reaches (hi-speed devices; full-speed ones reach 3,000,000). */
    public static final int MAX_BAUD_RATE = 12_000_000;
    /** The longest timeout the driver takes: 2<sup>32</sup>-1 ms, about 49.7 days. */
    public static final Duration MAX_TIMEOUT = Duration.ofMillis(0xFFFF_FFFFL);

    private static final int MIN_LATENCY_MILLIS = 2;
    private static final int MAX_LATENCY_MILLIS = 255;
    private static final int TRANSFER_SIZE_STEP = 64;
    private static final int MAX_TRANSFER_SIZE = 65_536;
    /** How often close repeats its purge while a read it must wait for is still in the driver. */
    private static final long CLOSE_RETRY_MILLIS = 20;

    private final long handle;
    private final String name;
    private final CloseGuard guard = new CloseGuard();
    private final Section callSection = new Section(CloseGuard.Kind.OTHER);
    private final Section readSection = new Section(CloseGuard.Kind.READ);
    private final Section writeSection = new Section(CloseGuard.Kind.WRITE);
    /** Counts close's purges, so that a read can tell that its bytes may have come after one. */
    private final AtomicInteger closePurges = new AtomicInteger();
    private final CountDownLatch closeEnded = new CountDownLatch(1);
    private final Object timeoutsLock = new Object();
    private volatile Duration readTimeout = Duration.ZERO;
    private volatile Duration writeTimeout = Duration.ZERO;
    /** The driver's event object for {@link #awaitEvent}, created on first use; 0 before. */
    private volatile long event;
    private final Object eventLock = new Object();
    /** Event bits the driver reported (FT_GetStatus clears them) that no waiter has taken yet. */
    private final AtomicInteger pendingEvents = new AtomicInteger();
    /** Whatever uses the pins now (a bit-bang port, CBUS pins, an MPSSE master), or null. */
    private final DevicePort port = new DevicePort(this);
    private volatile DeviceDetails details;
    private final InputStream inputStream = new FtdiInputStream(this);
    private final OutputStream outputStream = new FtdiOutputStream(this);

    private FtdiDevice(long handle, String name) {
        this.handle = handle;
        this.name = name;
    }

    // ---- Finding and opening devices ----------------------------------------------------------

    /**
     * Lists the devices the driver sees.
     *
     * @return one entry per device, in the driver's order; a device another process has open
     *         shows with empty serial number and description
     * @throws FtdiException if the driver cannot list its devices
     */
    public static List<DeviceInfo> list() throws FtdiException {
        DeviceInfo[] entries = D2XX.createDeviceInfoList();
        if (entries == null) {
            throw new FtdiException("Listing the devices", null, 0);
        }
        List<DeviceInfo> list = new ArrayList<>(entries.length);
        for (DeviceInfo entry : entries) {
            // A device unplugged while the driver built its list leaves an empty entry.
            if (entry != null) {
                list.add(entry);
            }
        }
        return Collections.unmodifiableList(list);
    }

    /**
     * The version of the D2XX driver library.
     *
     * @return the version, such as 3.2.16
     * @throws FtdiException if the driver fails
     */
    public static DriverVersion libraryVersion() throws FtdiException {
        int version = D2XX.getLibraryVersion();
        if (version < 0) {
            throw new FtdiException("Asking for the library version", null, -version);
        }
        return new DriverVersion(version);
    }

    /**
     * Opens a device.
     *
     * @param selector which device, see {@link DeviceSelector}
     * @return the open device, with read and write timeouts set to none
     * @throws FtdiException if the driver cannot open it ({@link FtdiStatus#FT_DEVICE_NOT_FOUND} when
     *                       no device matches, {@link FtdiStatus#FT_DEVICE_NOT_OPENED} when it is in use)
     */
    public static FtdiDevice open(DeviceSelector selector) throws FtdiException {
        long handle = selector.open();
        if (handle < 0) {
            throw new FtdiException("Opening", selector.toString(), (int) -handle);
        }
        FtdiDevice device = new FtdiDevice(handle, selector.toString());
        try {
            // Whatever an earlier user left in the driver, the waiting logic here needs known timeouts.
            device.applyTimeouts(Duration.ZERO, Duration.ZERO);
        } catch (FtdiException e) {
            D2XX.close(handle);
            throw e;
        }
        return device;
    }

    /**
     * Opens the device at a position of the device list.
     *
     * @param index the position in {@link #list()}, from 0
     * @return the open device
     * @throws FtdiException if the driver cannot open it
     * @see #open(DeviceSelector)
     */
    public static FtdiDevice openByIndex(int index) throws FtdiException {
        return open(DeviceSelector.byIndex(index));
    }

    /**
     * Opens the device with a serial number.
     *
     * @param serialNumber the serial number, as {@link DeviceInfo#serialNumber()} gives it
     * @return the open device
     * @throws FtdiException if the driver cannot open it
     * @see #open(DeviceSelector)
     */
    public static FtdiDevice openBySerialNumber(String serialNumber) throws FtdiException {
        return open(DeviceSelector.bySerialNumber(serialNumber));
    }

    /**
     * Opens the device with a product description.
     *
     * @param description the description, as {@link DeviceInfo#description()} gives it
     * @return the open device
     * @throws FtdiException if the driver cannot open it
     * @see #open(DeviceSelector)
     */
    public static FtdiDevice openByDescription(String description) throws FtdiException {
        return open(DeviceSelector.byDescription(description));
    }

    /**
     * Opens the device at a USB location.
     *
     * @param locationId the location word, as {@link DeviceInfo#locationId()} gives it
     * @return the open device
     * @throws FtdiException if the driver cannot open it
     * @see #open(DeviceSelector)
     */
    public static FtdiDevice openByLocation(int locationId) throws FtdiException {
        return open(DeviceSelector.byLocation(locationId));
    }

    // ---- Line settings ------------------------------------------------------------------------

    /**
     * Sets the baud rate.
     *
     * @param baudRate bits per second, 1 to {@value #MAX_BAUD_RATE}; the device approximates it
     *                 and the driver refuses rates it cannot approximate closely
     * @throws IllegalArgumentException if the rate is out of that range
     * @throws FtdiException            if the driver refuses it ({@link FtdiStatus#FT_INVALID_BAUD_RATE})
     */
    public void setBaudRate(int baudRate) throws FtdiException {
        if (baudRate <= 0 || baudRate > MAX_BAUD_RATE) {
            throw new IllegalArgumentException("A baud rate is 1 to " + MAX_BAUD_RATE + ", not " + baudRate);
        }
        call("Setting the baud rate to " + baudRate, h -> D2XX.setBaudrate(h, baudRate));
    }

    /**
     * Sets the character format.
     *
     * @param dataBits data bits per character
     * @param stopBits stop bits after each character
     * @param parity   the parity bit
     * @throws FtdiException if the driver refuses the combination
     */
    public void setDataCharacteristics(DataBits dataBits, StopBits stopBits, Parity parity) throws FtdiException {
        Objects.requireNonNull(dataBits, "dataBits");
        Objects.requireNonNull(stopBits, "stopBits");
        Objects.requireNonNull(parity, "parity");
        call("Setting the data characteristics to " + dataBits + " " + stopBits + " " + parity,
                h -> D2XX.setDataCharacteristics(h, dataBits.code(), stopBits.code(), parity.code()));
    }

    /**
     * Sets the flow control.
     *
     * @param flowControl how the ends pause each other; software flow control uses XON 0x11 and XOFF 0x13
     * @throws FtdiException if the driver refuses it
     */
    public void setFlowControl(FlowControl flowControl) throws FtdiException {
        Objects.requireNonNull(flowControl, "flowControl");
        call("Setting the flow control to " + flowControl, h -> D2XX.setFlowControl(h, flowControl.code()));
    }

    /**
     * Sets how long a read waits for bytes.
     *
     * @param timeout from 0 to {@link #MAX_TIMEOUT}, rounded up to whole milliseconds;
     *                {@link Duration#ZERO} waits without limit
     * @throws IllegalArgumentException if the timeout is negative or too long
     * @throws FtdiException            if the driver refuses it
     */
    public void setReadTimeout(Duration timeout) throws FtdiException {
        checkTimeout("read", timeout);
        synchronized (timeoutsLock) {
            applyTimeouts(timeout, writeTimeout);
        }
    }

    /**
     * Sets how long a write waits for the device to take bytes.
     *
     * @param timeout from 0 to {@link #MAX_TIMEOUT}, rounded up to whole milliseconds;
     *                {@link Duration#ZERO} waits without limit
     * @throws IllegalArgumentException if the timeout is negative or too long
     * @throws FtdiException            if the driver refuses it
     */
    public void setWriteTimeout(Duration timeout) throws FtdiException {
        checkTimeout("write", timeout);
        synchronized (timeoutsLock) {
            applyTimeouts(readTimeout, timeout);
        }
    }

    /**
     * The read timeout last set.
     *
     * @return the timeout, {@link Duration#ZERO} for none
     */
    public Duration readTimeout() {
        return readTimeout;
    }

    /**
     * The write timeout last set.
     *
     * @return the timeout, {@link Duration#ZERO} for none
     */
    public Duration writeTimeout() {
        return writeTimeout;
    }

    private void applyTimeouts(Duration read, Duration write) throws FtdiException {
        int readMillis = driverMillis(read);
        int writeMillis = driverMillis(write);
        call("Setting the timeouts to " + describe(read) + " (read) and " + describe(write) + " (write)",
                h -> D2XX.setTimeouts(h, readMillis, writeMillis));
        readTimeout = read;
        writeTimeout = write;
    }

    private static void checkTimeout(String what, Duration timeout) {
        Objects.requireNonNull(timeout, what + " timeout");
        if (timeout.isNegative() || timeout.compareTo(MAX_TIMEOUT) > 0) {
            throw new IllegalArgumentException("A " + what + " timeout is 0 (none) to " + MAX_TIMEOUT.toMillis()
                    + " ms, not " + timeout);
        }
    }

    /** The driver's value: whole milliseconds rounded up, or the waiting step for none. */
    private static int driverMillis(Duration timeout) {
        if (timeout.isZero()) {
            return WAIT_STEP_MILLIS;
        }
        long millis = timeout.toMillis() + (timeout.minusMillis(timeout.toMillis()).isZero() ? 0 : 1);
        return (int) Math.min(millis, MAX_TIMEOUT.toMillis());
    }

    private static String describe(Duration timeout) {
        return timeout.isZero() ? "none" : timeout.toMillis() + " ms";
    }

    /**
     * Sets the latency timer: how long the device holds back a partly filled USB packet.
     *
     * @param latency 2 to 255 ms, in whole milliseconds
     * @throws IllegalArgumentException if the latency is out of that range or not whole milliseconds
     * @throws FtdiException            if the driver refuses it
     */
    public void setLatencyTimer(Duration latency) throws FtdiException {
        Objects.requireNonNull(latency, "latency");
        long millis = latency.toMillis();
        if (!latency.equals(Duration.ofMillis(millis)) || millis < MIN_LATENCY_MILLIS || millis > MAX_LATENCY_MILLIS) {
            throw new IllegalArgumentException("The latency timer is " + MIN_LATENCY_MILLIS + " to " + MAX_LATENCY_MILLIS
                    + " whole milliseconds, not " + latency);
        }
        call("Setting the latency timer to " + millis + " ms", h -> D2XX.setLatencyTimer(h, (int) millis));
    }

    /**
     * The latency timer.
     *
     * @return the timer, 2 to 255 ms (16 ms by default)
     * @throws FtdiException if the driver fails
     */
    public Duration latencyTimer() throws FtdiException {
        return Duration.ofMillis(call("Reading the latency timer", D2XX::getLatencyTimer));
    }

    /**
     * Sets the USB IN transfer size: how many bytes the device sends the host in one transfer.
     *
     * @param bytes a multiple of 64 from 64 to 65536 (4096 by default)
     * @throws IllegalArgumentException if the size is not such a multiple
     * @throws FtdiException            if the driver refuses it
     */
    public void setUsbTransferSize(int bytes) throws FtdiException {
        if (bytes < TRANSFER_SIZE_STEP || bytes > MAX_TRANSFER_SIZE || bytes % TRANSFER_SIZE_STEP != 0) {
            throw new IllegalArgumentException("The USB transfer size is a multiple of " + TRANSFER_SIZE_STEP + " from "
                    + TRANSFER_SIZE_STEP + " to " + MAX_TRANSFER_SIZE + ", not " + bytes);
        }
        call("Setting the USB transfer size to " + bytes, h -> D2XX.setUSBParameters(h, bytes));
    }

    /**
     * Sets the event and error characters. A received event character makes the device send
     * what it holds at once; the error character replaces bytes received with a line error.
     *
     * @param eventCharacter the event character, 0 to 255, or empty to switch it off
     * @param errorCharacter the error character, 0 to 255, or empty to switch it off
     * @throws IllegalArgumentException if a character is outside 0 to 255
     * @throws FtdiException            if the driver refuses them
     */
    public void setSpecialCharacters(OptionalInt eventCharacter, OptionalInt errorCharacter) throws FtdiException {
        byte event = checkedCharacter("event", eventCharacter);
        byte error = checkedCharacter("error", errorCharacter);
        call("Setting the event and error characters",
                h -> D2XX.setChars(h, event, eventCharacter.isPresent(), error, errorCharacter.isPresent()));
    }

    private static byte checkedCharacter(String what, OptionalInt character) {
        Objects.requireNonNull(character, what + " character");
        int value = character.orElse(0);
        if (value < 0 || value > 0xFF) {
            throw new IllegalArgumentException("An " + what + " character is 0 to 255, not " + value);
        }
        return (byte) value;
    }

    // ---- Control signals and queues -----------------------------------------------------------

    /**
     * Sets or clears the DTR (Data Terminal Ready) output.
     *
     * @param on true to set it
     * @throws FtdiException if the driver fails
     */
    public void setDtr(boolean on) throws FtdiException {
        call((on ? "Setting" : "Clearing") + " DTR", h -> D2XX.setDTR(h, on));
    }

    /**
     * Sets or clears the RTS (Request To Send) output.
     *
     * @param on true to set it
     * @throws FtdiException if the driver fails
     */
    public void setRts(boolean on) throws FtdiException {
        call((on ? "Setting" : "Clearing") + " RTS", h -> D2XX.setRTS(h, on));
    }

    /**
     * Starts or ends sending a break (holding the transmit line low).
     *
     * @param on true to start the break
     * @throws FtdiException if the driver fails
     */
    public void setBreak(boolean on) throws FtdiException {
        call((on ? "Starting" : "Ending") + " a break", h -> D2XX.setBreak(h, on));
    }

    /**
     * Drops the bytes received and not yet read.
     *
     * @throws FtdiException if the driver fails
     */
    public void purgeReceiveQueue() throws FtdiException {
        call("Purging the receive queue", h -> D2XX.purge(h, D2XXConstants.FT_PURGE_RX));
    }

    /**
     * Drops the bytes written and not yet sent.
     *
     * @throws FtdiException if the driver fails
     */
    public void purgeTransmitQueue() throws FtdiException {
        call("Purging the transmit queue", h -> D2XX.purge(h, D2XXConstants.FT_PURGE_TX));
    }

    /**
     * Resets the device. The driver restores its default line settings; the read and write
     * timeouts set here are applied again.
     *
     * @throws FtdiException if the driver fails
     */
    public void reset() throws FtdiException {
        synchronized (timeoutsLock) {
            call("Resetting", D2XX::reset);
            applyTimeouts(readTimeout, writeTimeout);
        }
    }

    // ---- Status -------------------------------------------------------------------------------

    /**
     * Reads the modem lines and line errors; the driver clears the errors it reports.
     *
     * @return the decoded status
     * @throws FtdiException if the driver fails
     */
    public ModemStatus modemStatus() throws FtdiException {
        return new ModemStatus(call("Reading the modem status", D2XX::getModemStatus));
    }

    /**
     * How many received bytes wait in the driver's receive queue.
     *
     * @return the byte count; that many can be read without waiting
     * @throws FtdiException if the driver fails
     */
    public int bytesAvailable() throws FtdiException {
        return call("Reading the receive queue status", D2XX::getQueueStatus);
    }

    /**
     * The version of the kernel driver serving this device.
     *
     * @return the version
     * @throws FtdiException if the driver fails
     */
    public DriverVersion driverVersion() throws FtdiException {
        return new DriverVersion(call("Reading the driver version", D2XX::getDriverVersion));
    }

    /**
     * The COM port the system assigned to this device.
     *
     * @return the port number, empty when no port is assigned (the driver reports -1)
     * @throws FtdiException if the driver fails
     */
    public OptionalInt comPort() throws FtdiException {
        try (Section section = enter()) {
            int port = D2XX.getComPortNumber(handle);
            // -1 is how the driver says "no port"; other negative values are failures.
            if (port == -1) {
                return OptionalInt.empty();
            }
            return OptionalInt.of(check("Reading the COM port number", port));
        }
    }

    // ---- Details, status and events -----------------------------------------------------------

    /**
     * The device's kind, USB identifiers, serial number and description, as the driver reports
     * them for the open device.
     *
     * @return the details; the driver is asked once, later calls return the same details
     * @throws FtdiException if the driver fails ({@link FtdiStatus#FT_NOT_SUPPORTED} when it lacks
     *                       the function)
     */
    public DeviceDetails details() throws FtdiException {
        DeviceDetails known = details;
        if (known != null) {
            return known;
        }
        int[] typeAndId = new int[2];
        byte[] serial = new byte[16];
        byte[] description = new byte[64];
        call("Reading the device details", h -> D2XXModes.getDeviceInfo(h, typeAndId, serial, description));
        known = new DeviceDetails(DeviceType.of(typeAndId[0]), typeAndId[1] >>> 16, typeAndId[1] & 0xFFFF,
                DeviceDetails.text(serial), DeviceDetails.text(description));
        details = known;
        return known;
    }

    /**
     * The device's queues and the events that occurred since the driver was last asked. Events
     * reported here are also kept for the next {@link #awaitEvent}.
     *
     * @return the status
     * @throws FtdiException if the driver fails
     */
    public DeviceStatus status() throws FtdiException {
        int[] status = new int[3];
        call("Reading the device status", h -> D2XXModes.getStatus(h, status));
        pendingEvents.getAndUpdate(bits -> bits | (status[2] & DeviceEvent.ALL_BITS));
        return new DeviceStatus(status[0], status[1], DeviceEvent.of(status[2]));
    }

    /**
     * Waits until one of the given events occurs, without polling: the driver signals an event
     * object that this device registers on first use for all three events.
     *
     * <p>Events that occurred before the call and that no one took yet are returned at once. An
     * event is taken by one waiter: with several threads waiting for the same event, one of them
     * returns with it. Events a waiter did not ask for are kept for the others.
     *
     * @param events  the events to wait for, at least one
     * @param timeout how long to wait: 0 (only look) to {@link #MAX_TIMEOUT}
     * @return the events of the given set that occurred; empty when the timeout passed first
     * @throws IllegalArgumentException   if the set is empty or the timeout negative or too long
     * @throws AsynchronousCloseException if the device is closed while the call waits
     * @throws FtdiException              if the driver fails
     * @throws IOException                as the two above
     */
    public Set<DeviceEvent> awaitEvent(Set<DeviceEvent> events, Duration timeout) throws IOException {
        Objects.requireNonNull(events, "events");
        if (events.isEmpty()) {
            throw new IllegalArgumentException("Name at least one event to wait for: " + EnumSet.allOf(DeviceEvent.class));
        }
        Objects.requireNonNull(timeout, "timeout");
        if (timeout.isNegative() || timeout.compareTo(MAX_TIMEOUT) > 0) {
            throw new IllegalArgumentException("An event timeout is 0 (only look) to " + MAX_TIMEOUT.toMillis()
                    + " ms, not " + timeout);
        }
        int wanted = DeviceEvent.bits(events);
        long deadline = System.nanoTime() + timeout.toNanos();
        try (Section section = enter(readSection)) {
            long waitOn = eventObject();
            int[] status = new int[3];
            for (;;) {
                int taken = takeEvents(wanted);
                if (taken == 0) {
                    check("Reading the device status", D2XXModes.getStatus(handle, status));
                    pendingEvents.getAndUpdate(bits -> bits | (status[2] & DeviceEvent.ALL_BITS));
                    taken = takeEvents(wanted);
                }
                if (taken != 0) {
                    // Another waiter may want what is left.
                    if (pendingEvents.get() != 0) {
                        D2XXModes.signalEvent(waitOn);
                    }
                    return DeviceEvent.of(taken);
                }
                if (guard.isClosed()) {
                    throw new AsynchronousCloseException();
                }
                long left = deadline - System.nanoTime();
                if (left <= 0) {
                    return EnumSet.noneOf(DeviceEvent.class);
                }
                // Whole milliseconds rounded up, so that the wait does not end just before the deadline.
                long millis = Math.min(Integer.MAX_VALUE, (left + 999_999) / 1_000_000);
                int woken = D2XXModes.waitEvent(waitOn, (int) millis);
                if (woken < 0) {
                    throw failure("Waiting for " + events, woken);
                }
            }
        }
    }

    private int takeEvents(int wanted) {
        int before = pendingEvents.getAndUpdate(bits -> bits & ~wanted);
        return before & wanted;
    }

    /** The event object, created and registered for every event on first use (inside a section). */
    private long eventObject() throws FtdiException {
        long existing = event;
        if (existing != 0) {
            return existing;
        }
        synchronized (eventLock) {
            if (event == 0) {
                long created = D2XXModes.createEvent();
                if (created <= 0) {
                    throw failure("Creating an event object", (int) created);
                }
                int result = D2XXModes.setEventNotification(handle, DeviceEvent.ALL_BITS, created);
                if (result < 0) {
                    D2XXModes.freeEvent(created);
                    throw failure("Registering for events", result);
                }
                event = created;
            }
            return event;
        }
    }

    // ---- EEPROM and pins ----------------------------------------------------------------------

    /**
     * The device's configuration EEPROM and its user area.
     *
     * @return a view on this device; it is valid as long as the device is open
     */
    public Eeprom eeprom() {
        return new Eeprom(port);
    }

    /**
     * Switches the device to asynchronous bit-bang: its eight data pins (ADBUS0..7, or the serial
     * lines of a single-channel chip) become general I/O pins, driven at once on each write.
     *
     * @param directions bit n set makes pin n an output, clear an input
     * @return the port; close it to give the pins back to the serial line
     * @throws IllegalArgumentException if directions is outside 0 to 255
     * @throws IllegalStateException    if another function uses the pins (named in the message), or
     *                                  the device is closed
     * @throws FtdiException            if the driver refuses the mode
     */
    public BitBangPort bitBang(int directions) throws FtdiException {
        return BitBangPort.open(port, directions, false);
    }

    /**
     * Switches the device to synchronous bit-bang: each byte written drives the output pins and
     * samples every pin just before, see {@link BitBangPort#transfer(byte[])}.
     *
     * @param directions bit n set makes pin n an output, clear an input
     * @return the port; close it to give the pins back to the serial line
     * @throws IllegalArgumentException if directions is outside 0 to 255
     * @throws IllegalStateException    if another function uses the pins, or the device is closed
     * @throws FtdiException            if the driver refuses the mode (chips without it)
     */
    public BitBangPort syncBitBang(int directions) throws FtdiException {
        return BitBangPort.open(port, directions, true);
    }

    /**
     * The four CBUS pins as general I/O, on chips that have them (FT232R, FT232H, X series) when
     * the EEPROM configures them for I/O. The serial line keeps working meanwhile.
     *
     * @return the pins, all inputs at first; close them to give the pins back
     * @throws IllegalStateException if another function uses the pins, or the device is closed
     * @throws FtdiException         if the chip has no CBUS bit-bang ({@link FtdiStatus#FT_NOT_SUPPORTED})
     *                               or the driver refuses the mode
     */
    public CbusPins cbusPins() throws FtdiException {
        return CbusPins.open(port);
    }

    /**
     * Makes the device an SPI master through its MPSSE engine (FT2232D channel A, FT2232H,
     * FT4232H channels A and B, FT232H).
     *
     * @param config the mode, clock, bit order and chip select
     * @return the master; close it to give the pins back
     * @throws IllegalStateException if another function uses the pins, or the device is closed
     * @throws FtdiException         if the chip has no MPSSE ({@link FtdiStatus#FT_NOT_SUPPORTED}),
     *                               or the driver fails while entering it
     * @throws IOException           as above, or {@link AsynchronousCloseException} when the device
     *                               is closed meanwhile
     */
    public SpiMaster spiMaster(SpiConfig config) throws IOException {
        Objects.requireNonNull(config, "config");
        return SpiMaster.open(port, config);
    }

    /**
     * Makes the device an I2C master through its MPSSE engine.
     *
     * @param config the bus speed and how acknowledgements are checked
     * @return the master; close it to give the pins back
     * @throws IllegalStateException if another function uses the pins, or the device is closed
     * @throws FtdiException         if the chip has no MPSSE ({@link FtdiStatus#FT_NOT_SUPPORTED}),
     *                               or the driver fails while entering it
     * @throws IOException           as above, or {@link AsynchronousCloseException} when the device
     *                               is closed meanwhile
     */
    public I2cMaster i2cMaster(I2cConfig config) throws IOException {
        Objects.requireNonNull(config, "config");
        return I2cMaster.open(port, config);
    }

    /**
     * Makes the device a JTAG controller through its MPSSE engine (FT2232D channel A, FT2232H,
     * FT4232H channels A and B, FT232H), and moves the TAP to Test-Logic-Reset.
     *
     * @param config the TCK frequency, TRST* pin and adaptive clocking
     * @return the controller; close it to give the pins back
     * @throws IllegalArgumentException if the chip lacks the TRST* pin, adaptive clocking (FT2232D)
     *                                  or the TCK frequency's range
     * @throws IllegalStateException    if another function uses the pins, or the device is closed
     * @throws FtdiException            if the chip has no MPSSE ({@link FtdiStatus#FT_NOT_SUPPORTED}),
     *                                  or the driver fails while entering it
     * @throws IOException              as above, or {@link AsynchronousCloseException} when the
     *                                  device is closed meanwhile
     */
    public JtagController jtag(JtagConfig config) throws IOException {
        Objects.requireNonNull(config, "config");
        return JtagController.open(port, config);
    }

    /** Enters a transfer that close wakes by purging: returns the handle to use until {@link #leaveTransfer}. */
    long enterTransfer() {
        enter(readSection);
        return handle;
    }

    void leaveTransfer() {
        readSection.close();
    }

    /** Whether close has begun, for a transfer that came back short. */
    boolean isClosing() {
        return guard.isClosed();
    }

    String name() {
        return name;
    }

    // ---- Data ---------------------------------------------------------------------------------

    /**
     * Reads bytes as the driver does: waits until {@code length} bytes have arrived or the read
     * timeout has passed, whichever comes first. {@link #getInputStream()} reads the stream way,
     * returning as soon as any byte is there.
     *
     * @param buffer where the bytes go
     * @param offset the position in {@code buffer} of the first byte
     * @param length how many bytes to read
     * @return the number of bytes read, less than {@code length} only when the timeout passed or
     *         the device was closed meanwhile
     * @throws IndexOutOfBoundsException  if the region does not lie within {@code buffer}
     * @throws AsynchronousCloseException if the device is closed while the read waits, before
     *                                    any byte arrived
     * @throws FtdiException              if the driver fails, for example when the device is unplugged
     * @throws IOException                as the two above
     */
    public int read(byte[] buffer, int offset, int length) throws IOException {
        Objects.checkFromIndexSize(offset, length, buffer.length);
        try (Section section = enter(readSection)) {
            int done = 0;
            do {
                done += driverRead(buffer, offset + done, length - done);
            } while (done < length && readTimeout.isZero() && !guard.isClosed());
            if (done == 0 && guard.isClosed()) {
                throw new AsynchronousCloseException();
            }
            return done;
        }
    }

    /**
     * Writes bytes, continuing after the driver's short counts until all are written or the
     * device takes nothing for the whole write timeout.
     *
     * @param buffer the bytes
     * @param offset the position in {@code buffer} of the first byte
     * @param length how many bytes to write
     * @return the number of bytes written, less than {@code length} only when the timeout passed
     * @throws IndexOutOfBoundsException  if the region does not lie within {@code buffer}
     * @throws AsynchronousCloseException if the device is closed while the write waits
     * @throws FtdiException              if the driver fails
     * @throws IOException                as the two above
     */
    public int write(byte[] buffer, int offset, int length) throws IOException {
        Objects.checkFromIndexSize(offset, length, buffer.length);
        try (Section section = enter(writeSection)) {
            return writeLocked(buffer, offset, length);
        }
    }

    /**
     * The input stream of this device. Its {@code read} waits up to the read timeout for the
     * first byte, then returns what has arrived; when no byte arrives in time it throws
     * {@link SocketTimeoutException}. It never reports the end of the stream: a device that is
     * gone throws {@link FtdiException}. Closing the stream closes the device.
     *
     * @return the same stream on every call
     */
    public InputStream getInputStream() {
        return inputStream;
    }

    /**
     * The output stream of this device. Its {@code write} returns when every byte is written;
     * when the device takes no byte for the whole write timeout it throws
     * {@link java.io.InterruptedIOException} whose {@code bytesTransferred} says how many were.
     * Closing the stream closes the device.
     *
     * @return the same stream on every call
     */
    public OutputStream getOutputStream() {
        return outputStream;
    }

    /** One stream read: waits up to the read timeout for a byte, then takes what is there. */
    int readAvailable(byte[] buffer, int offset, int length) throws IOException {
        try (Section section = enterStream(readSection)) {
            // The clock is read only when the read has to wait: that costs as much as a driver call.
            long deadline = 0;
            boolean timing = false;
            for (;;) {
                int queued = checkQueueStatus(D2XX.getQueueStatus(handle));
                if (queued > 0) {
                    // Nothing when another reader took the bytes first, or close purged them.
                    int count = driverRead(buffer, offset, Math.min(queued, length));
                    if (count > 0) {
                        return count;
                    }
                } else {
                    if (!timing) {
                        timing = true;
                        deadline = System.nanoTime() + readTimeout.toNanos();
                    }
                    if (driverRead(buffer, offset, 1) == 1) {
                        int more = length > 1 ? checkQueueStatus(D2XX.getQueueStatus(handle)) : 0;
                        return 1 + (more > 0 ? driverRead(buffer, offset + 1, Math.min(more, length - 1)) : 0);
                    }
                }
                if (guard.isClosed()) {
                    throw new AsynchronousCloseException();
                }
                if (timing && !readTimeout.isZero() && System.nanoTime() - deadline >= 0) {
                    throw new SocketTimeoutException("No byte arrived from device " + name + " within the read timeout of "
                            + readTimeout.toMillis() + " ms");
                }
            }
        }
    }

    /** One stream write: all bytes, or the count when the device took nothing for the timeout. */
    int writeAll(byte[] buffer, int offset, int length) throws IOException {
        try (Section section = enterStream(writeSection)) {
            return writeLocked(buffer, offset, length);
        }
    }

    int bytesAvailableForStream() throws IOException {
        try (Section section = enterStream(callSection)) {
            return checkQueueStatus(D2XX.getQueueStatus(handle));
        }
    }

    /**
     * One driver read; 0 once close has begun, and 0 for a read that close's purge overlapped:
     * bytes read after the purge would follow the dropped ones as if nothing were missing.
     */
    private int driverRead(byte[] buffer, int offset, int length) throws IOException {
        // The read's section counts as a read, so a close that begins after this check purges
        // (and counts the purge) before it can close the handle.
        int purges = closePurges.get();
        if (guard.isClosed()) {
            return 0;
        }
        int count = D2XX.read(handle, buffer, offset, length);
        if (count < 0) {
            throw failure("Reading " + length + " bytes", count);
        }
        return count > 0 && closePurges.get() != purges ? 0 : count;
    }

    private int writeLocked(byte[] buffer, int offset, int length) throws IOException {
        int done = 0;
        while (done < length) {
            if (guard.isClosed()) {
                throw new AsynchronousCloseException();
            }
            int count = D2XX.write(handle, buffer, offset + done, length - done);
            if (count < 0) {
                throw failure("Writing " + (length - done) + " bytes", count);
            }
            // Nothing taken within a whole timeout: give up, unless there is no timeout or close
            // ended the wait (then the loop throws).
            if (count == 0 && !writeTimeout.isZero() && !guard.isClosed()) {
                break;
            }
            done += count;
        }
        return done;
    }

    // ---- Closing ------------------------------------------------------------------------------

    /**
     * Whether the device is still open.
     *
     * @return false once {@link #close()} has begun
     */
    public boolean isOpen() {
        return !guard.isClosed();
    }

    /**
     * Closes the device. Calls in progress on other threads are let out of the driver first
     * (see the class description); later calls throw {@link IllegalStateException}. Closing
     * again does nothing more: it returns once the first close has ended, so that the device
     * can be opened again.
     *
     * @throws FtdiException if the driver reports a failure; the device is closed all the same
     */
    @Override
    public void close() throws FtdiException {
        // Purging ends the reads and writes waiting in the driver. The handle stays valid until
        // the driver close below, which only the first closing thread makes.
        if (!guard.close(waiting -> {
            closePurges.incrementAndGet();
            D2XX.purge(handle, waiting);
            // Event waiters count as reads: a signal ends their wait.
            long waitedOn = event;
            if (waitedOn != 0) {
                D2XXModes.signalEvent(waitedOn);
            }
        }, CLOSE_RETRY_MILLIS)) {
            awaitCloseEnded();
            return;
        }
        try {
            check("Closing", D2XX.close(handle));
        } finally {
            // No waiter remains (close waited for them) and the driver forgot the event with the handle.
            long created = event;
            if (created != 0) {
                event = 0;
                D2XXModes.freeEvent(created);
            }
            closeEnded.countDown();
        }
    }

    /** Waits for the first close to end; an interrupt is kept for the caller. */
    private void awaitCloseEnded() {
        boolean interrupted = false;
        for (;;) {
            try {
                closeEnded.await();
                break;
            } catch (InterruptedException e) {
                interrupted = true;
            }
        }
        if (interrupted) {
            Thread.currentThread().interrupt();
        }
    }

    /**
     * Names the device as it was opened.
     *
     * @return for example "FtdiDevice[serial:FT1ZK4]", with ", closed" once closed
     */
    @Override
    public String toString() {
        return "FtdiDevice[" + name + (guard.isClosed() ? ", closed" : "") + "]";
    }

    // ---- Calls into the driver ----------------------------------------------------------------

    /** A call that holds off close; see {@link #enter}. One per kind serves every call. */
    private final class Section implements AutoCloseable {
        private final CloseGuard.Kind kind;

        Section(CloseGuard.Kind kind) {
            this.kind = kind;
        }

        @Override
        public void close() {
            guard.leave(kind);
        }
    }

    /** Enters a call: from here to the section's end the handle stays open. */
    private Section enter() {
        return enter(callSection);
    }

    /** Enters a call of the section's kind, so that close knows whether to wake it. */
    private Section enter(Section section) {
        if (!guard.enter(section.kind)) {
            throw new IllegalStateException("Device " + name + " is closed");
        }
        return section;
    }

    /** Enters a stream call, which after close throws {@link IOException}, as java.io does. */
    private Section enterStream(Section section) throws IOException {
        try {
            return enter(section);
        } catch (IllegalStateException e) {
            throw new IOException(e.getMessage(), e);
        }
    }

    @FunctionalInterface
    interface DriverCall {
        int call(long handle);
    }

    int call(String operation, DriverCall driverCall) throws FtdiException {
        try (Section section = enter()) {
            return check(operation, driverCall.call(handle));
        }
    }

    // Transfers check their result themselves and build the message only on failure: a message
    // built on every successful transfer costs as much as the call.
    private int check(String operation, int result) throws FtdiException {
        if (result < 0) {
            throw failure(operation, result);
        }
        return result;
    }

    private int checkQueueStatus(int result) throws FtdiException {
        return check("Reading the receive queue status", result);
    }

    FtdiException failure(String operation, int result) {
        return new FtdiException(operation, name, -result);
    }
}
