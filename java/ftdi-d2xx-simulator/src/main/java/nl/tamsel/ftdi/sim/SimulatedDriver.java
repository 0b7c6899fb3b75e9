package nl.tamsel.ftdi.sim;

import java.io.File;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.Collections;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.Map;
import java.util.Objects;
import java.util.Set;
import java.util.function.Predicate;
import nl.tamsel.ftdi.internal.LibraryExtractor;
import nl.tamsel.ftdi.internal.LibraryVersion;
import nl.tamsel.ftdi.internal.NativeAccess;
import nl.tamsel.ftdi.internal.Platform;
import nl.tamsel.ftdi.usb.FtdiStatus;

/**
 * Scripts the simulated D2XX driver, the stand-in for FTDI's {@code libftd2xx.so} (Linux),
 * {@code libftd2xx.dylib} (macOS) or
 * {@code FTD2XX.dll} (Windows) that lets
 * tests run without the vendor's driver or any hardware.
 *
 * <p>The simulated driver models a set of attached devices: tests add devices, unplug them,
 * feed bytes into their receive queues, read back what was written to them, set their modem
 * lines, make driver functions fail, and inspect which calls the driver received with which
 * arguments. Written bytes are looped back into the receive queue unless loopback is switched
 * off, and RTS and DTR then drive CTS and DSR/DCD.
 *
 * <p>The class loads the simulated driver, once: from the path in the system property
 * {@value #DRIVER_PATH_PROPERTY}, or, when that is unset or {@value #BUNDLED}, the copy this
 * jar carries (extracted as the bridge is, see {@code nl.tamsel.ftdi.usb}). Load it before any
 * library that needs the driver, so that the system's loader finds it already loaded:
 * use this class before the first device call, or set {@value #DRIVER_PATH_PROPERTY} to
 * {@value #BUNDLED}. All methods are static and safe to call
 * from any thread. Devices are named by the id {@link #addDevice} returned, which stays valid
 * until {@link #reset()}. A test normally calls {@link #reset()} before it starts.
 *
 * <p>{@link SimulatedDevice} and {@link DriverFunction} offer the same control as objects; the
 * JUnit 5 extension in {@code nl.tamsel.ftdi.sim.junit} resets the driver around each test.
 *
 * <p>Invalid arguments raise {@link IllegalArgumentException} (an unknown device id or driver
 * function name, an oversize field) or {@link NullPointerException} (a null array or string).
 */
public final class SimulatedDriver {

    /** The system property that holds the path of the simulated driver's library file. */
    public static final String DRIVER_PATH_PROPERTY = "nl.tamsel.ftdi.driver";

    /** The size of the device-list serial-number field, in bytes. */
    public static final int SERIAL_FIELD_SIZE = 16;

    /** The size of the device-list description field, in bytes. */
    public static final int DESCRIPTION_FIELD_SIZE = 64;

    /** The names of the driver functions the simulated driver models, such as "FT_Read". */
    public static final Set<String> DRIVER_FUNCTIONS = driverNames(function -> true);

    /** The driver functions whose reported count {@link #reportNextCount} can override. */
    public static final Set<String> COUNTING_FUNCTIONS = driverNames(DriverFunction::reportsCount);

    /** The value of {@value #DRIVER_PATH_PROPERTY} that selects the copy this jar carries. */
    public static final String BUNDLED = "simulated";

    /** Incremented by every {@link #reset()}; guarded by the class. */
    private static int generation;

    static {
        String platform = Platform.current();
        String path = System.getProperty(DRIVER_PATH_PROPERTY);
        try {
            if (path == null || path.isBlank() || path.equals(BUNDLED)) {
                loadBundled(platform);
            } else if (new File(path).isFile()) {
                System.load(new File(path).getAbsolutePath());
            } else {
                throw new UnsatisfiedLinkError("The simulated D2XX driver was not found at " + path
                        + ": set the system property " + DRIVER_PATH_PROPERTY + " to the path of the simulated"
                        + " driver's " + Platform.driverFile(platform) + ", or to \"" + BUNDLED
                        + "\" for the copy in this jar");
            }
        } catch (IllegalCallerException e) {
            throw NativeAccess.denied(SimulatedDriver.class.getModule(), "the simulated D2XX driver", e);
        }
    }

    private static void loadBundled(String platform) {
        String file = Platform.driverFile(platform);
        InputStream bundled = SimulatedDriver.class.getResourceAsStream("native/" + platform + "/" + file);
        if (bundled == null) {
            throw new UnsatisfiedLinkError("This jar carries no simulated D2XX driver for " + platform
                    + ": set the system property "
                    + DRIVER_PATH_PROPERTY + " to the path of a simulated " + file + " built for this platform");
        }
        LibraryExtractor.extractAndLoad(bundled, LibraryExtractor.cacheRoot(), platform, "ftd2xx",
                LibraryVersion.current(), file, path -> { }, path -> System.load(path.toString()));
    }

    private SimulatedDriver() {
    }

    /** The driver names of the functions that match, in the order {@link DriverFunction} lists them. */
    private static Set<String> driverNames(Predicate<DriverFunction> which) {
        Set<String> names = new LinkedHashSet<>();
        for (DriverFunction function : DriverFunction.values()) {
            if (which.test(function)) {
                names.add(function.driverName());
            }
        }
        return Collections.unmodifiableSet(names);
    }

    /**
     * Loads the simulated driver now, if this class has not done so yet; any other method loads
     * it as well. Loaded before the bridge, it is the driver the bridge uses: the system's
     * loader finds a library that answers to the driver's name already loaded.
     */
    public static void load() {
        // Loading happens once, in this class's initialisation, which calling this triggers.
    }

    /**
     * Removes every device, invalidates every handle, clears faults, count overrides and call
     * records, and restores every default. A read blocked in the driver returns with
     * {@code FT_IO_ERROR}; later calls with an old handle get {@code FT_INVALID_HANDLE}. Every
     * {@link SimulatedDevice} attached before becomes unusable.
     */
    public static void reset() {
        synchronized (SimulatedDriver.class) {
            generation++;
            simReset();
        }
    }

    /**
     * Attaches a device at the end of the device list.
     *
     * @param flags       device-list flags as the driver reports them; {@code FT_FLAGS_OPENED}
     *                    (1) is added while the device is open
     * @param type        the device type code (for example 5 for a 232R, 8 for a 232H)
     * @param id          {@code (vendorId << 16) | productId}
     * @param locId       the location word
     * @param serial      the serial-number field, at most 16 bytes, stored byte for byte and
     *                    zero-padded; a 16-byte field has no terminator
     * @param description the description field, at most 64 bytes, stored likewise
     * @return the new device's id
     */
    public static int addDevice(int flags, int type, int id, int locId, byte[] serial,
            byte[] description) {
        Objects.requireNonNull(serial, "serial");
        Objects.requireNonNull(description, "description");
        requireFieldSize("serial", serial, SERIAL_FIELD_SIZE);
        requireFieldSize("description", description, DESCRIPTION_FIELD_SIZE);
        int device = simAddDevice(flags, type, id, locId, serial, description);
        if (device < 0) {
            throw new IllegalArgumentException("the simulated driver refused the device fields");
        }
        return device;
    }

    /**
     * Attaches a device whose serial number and description are given as text, stored as
     * their UTF-8 bytes; see {@link #addDevice(int, int, int, int, byte[], byte[])}.
     *
     * @param flags       device-list flags as the driver reports them
     * @param type        the device type code
     * @param id          {@code (vendorId << 16) | productId}
     * @param locId       the location word
     * @param serial      the serial number, at most 16 bytes in UTF-8
     * @param description the description, at most 64 bytes in UTF-8
     * @return the new device's id
     */
    public static int addDevice(int flags, int type, int id, int locId, String serial,
            String description) {
        Objects.requireNonNull(serial, "serial");
        Objects.requireNonNull(description, "description");
        return addDevice(flags, type, id, locId, serial.getBytes(StandardCharsets.UTF_8),
                description.getBytes(StandardCharsets.UTF_8));
    }

    /**
     * Unplugs a device: it leaves the device list, every later call on its open handle fails
     * with {@code FT_IO_ERROR} except {@code FT_Close}, and a blocked read returns
     * {@code FT_IO_ERROR}.
     *
     * @param device the device's id
     */
    public static void unplug(int device) {
        checked(device, simUnplug(requireDevice(device)));
    }

    /**
     * Plugs an unplugged device back in at a location: it shows at the end of the device list
     * with its serial number, description, EEPROM and peripherals, the chip powered up afresh
     * (default settings and signals, the UART mode, an empty receive queue). A handle opened
     * before the unplug keeps failing with {@code FT_IO_ERROR} until closed; the device opens
     * again under a new handle. A new device arrives through {@link #addDevice}, also at the
     * end of the list.
     *
     * @param device the device's id
     * @param locId  the location word it shows at now, its old one or another
     * @throws IllegalStateException if the device is plugged in
     */
    public static void replug(int device, int locId) {
        if (PlugNatives.simReplug(requireDevice(device), locId) != 0) {
            throw new IllegalStateException("simulated device " + device
                    + " is plugged in; unplug it before plugging it back in");
        }
    }

    /**
     * Marks a device as opened (or no longer opened) by another process: the device list shows
     * it with flag 1, empty serial number and description and no handle, and opening it fails
     * with {@code FT_DEVICE_NOT_OPENED}.
     *
     * @param device the device's id
     * @param opened whether another process holds the device
     */
    public static void setOpenedElsewhere(int device, boolean opened) {
        checked(device, simSetOpenedElsewhere(requireDevice(device), opened));
    }

    /**
     * Switches the loopback wiring (on for a new device): written bytes come back in the
     * receive queue, RTS drives CTS, DTR drives DSR and DCD, and a break shows in the line
     * status. Off, written bytes only reach the written log and the modem lines are those of
     * {@link #setModemInputs}.
     *
     * @param device the device's id
     * @param on     whether the device is looped back
     */
    public static void setLoopback(int device, boolean on) {
        checked(device, simSetLoopback(requireDevice(device), on));
    }

    /**
     * Sets what {@code FT_GetDriverVersion} reports for the device (0x00021216 by default).
     *
     * @param device  the device's id
     * @param version the version word, such as 0x00030216 for 3.2.16
     */
    public static void setDriverVersion(int device, int version) {
        checked(device, simSetDriverVersion(requireDevice(device), version));
    }

    /**
     * Sets what {@code FT_GetComPortNumber} reports for the device (-1 by default: none).
     *
     * @param device the device's id
     * @param port   the COM port number, or -1 for none
     */
    public static void setComPort(int device, int port) {
        checked(device, simSetComPort(requireDevice(device), port));
    }

    /**
     * Sets the modem lines the device sees when not looped back, as modem-status bits: CTS
     * 0x10, DSR 0x20, RI 0x40, DCD 0x80. RI shows whether looped back or not.
     *
     * @param device the device's id
     * @param lines  the bits of the lines that are on
     */
    public static void setModemInputs(int device, int lines) {
        checked(device, simSetModemInputs(requireDevice(device), lines));
    }

    /**
     * Raises line errors as line-status bits (overrun 0x02, parity 0x04, framing 0x08, break
     * 0x10); the next {@code FT_GetModemStatus} reports them in bits 8 to 15 and clears them.
     *
     * @param device the device's id
     * @param errors the bits of the errors to raise
     */
    public static void raiseLineErrors(int device, int errors) {
        checked(device, simRaiseLineErrors(requireDevice(device), errors));
    }

    /**
     * Appends bytes to the device's receive queue, as if they arrived on the line. The queue
     * holds 1 MiB; bytes beyond that are dropped and raise the overrun line error.
     *
     * @param device the device's id
     * @param bytes  the bytes that arrive
     */
    public static void inject(int device, byte[] bytes) {
        Objects.requireNonNull(bytes, "bytes");
        checked(device, simInject(requireDevice(device), bytes));
    }

    /**
     * Takes everything written to the device since the last call, looped back or not.
     *
     * @param device the device's id
     * @return the written bytes in order, empty when nothing was written
     */
    public static byte[] takeWritten(int device) {
        byte[] written = simTakeWritten(requireDevice(device));
        if (written == null) {
            throw unknownDevice(device);
        }
        return written;
    }

    /**
     * Counts every byte written to the device since it was attached. Unlike the log that
     * {@link #takeWritten} drains, which keeps at most 16 MiB, this count goes on past that bound,
     * so a check of how much was written holds however much traffic a test makes.
     *
     * @param device the device's id
     * @return the bytes written, looped back or not, taken or not
     */
    public static long writtenTotal(int device) {
        long total = simWrittenTotal(requireDevice(device));
        if (total < 0) {
            throw unknownDevice(device);
        }
        return total;
    }

    /**
     * Returns the device's current settings, signals and queue fill.
     *
     * @param device the device's id
     * @return a snapshot of the device
     */
    public static DeviceState state(int device) {
        int[] fields = new int[DeviceState.FIELD_COUNT];
        checked(device, simGetDeviceState(requireDevice(device), fields));
        return DeviceState.fromFields(fields);
    }

    /**
     * Makes reads and writes on the device complete at once, for benchmarks: a read delivers
     * the requested count from a fixed pattern (byte {@code i} is {@code i % 251}, repeating
     * every 65536 bytes), a write is copied into a sink and dropped.
     *
     * @param device the device's id
     * @param on     whether transfers complete at once
     */
    public static void setInstantTransfers(int device, boolean on) {
        checked(device, simSetInstantTransfers(requireDevice(device), on));
    }

    /**
     * Stalls the device's writes, as flow control does when the other end holds the line (off
     * for a new device): a write waits up to the write timeout, for ever when it is 0, and
     * reports 0 bytes written; a transmit purge ends it at once with 0, closing the handle with
     * {@code FT_INVALID_HANDLE}, unplugging or {@link #reset()} with {@code FT_IO_ERROR}.
     * Switched off, a waiting write sends its bytes.
     *
     * @param device the device's id
     * @param on     whether its writes stall
     */
    public static void setWritesStalled(int device, boolean on) {
        checked(device, simSetWritesStalled(requireDevice(device), on));
    }

    /**
     * Sets what {@code FT_GetLibraryVersion} reports (0x00030215 by default).
     *
     * @param version the version word, such as 0x00030216 for 3.2.16
     */
    public static void setLibraryVersion(int version) {
        simSetLibraryVersion(version);
    }

    /**
     * Sets the bits that handles issued from now on carry: the n-th handle since
     * {@link #reset()} is {@code base + 0x10 * n}. The base is 0x00007F5A00000000 by default.
     *
     * @param base the bits of the first handle
     */
    public static void setHandleBase(long base) {
        simSetHandleBase(base);
    }

    /**
     * Switches handle reuse on or off (off after {@link #reset()}): when on, each open is given
     * the value of the handle closed most recently and not given out since, as a memory
     * allocator reuses freed blocks, so that a call made with a stale handle reaches whichever
     * device now has its value.
     *
     * @param on whether closed handle values are given out again
     */
    public static void setHandleReuse(boolean on) {
        simSetHandleReuse(on);
    }

    /**
     * Returns how many calls arrived with a handle value while it was closed (issued, closed and
     * not issued again), since {@link #reset()}, including calls that an injected failure
     * answered and {@code FT_Close} itself. A value never issued counts nothing.
     *
     * @param handle the handle value
     * @return how many calls arrived with it while it was closed
     */
    public static int closedHandleCalls(long handle) {
        return simClosedHandleCalls(handle);
    }

    /**
     * Returns every handle value that calls arrived with while it was closed, with their
     * counts, as {@link #closedHandleCalls(long)} counts them.
     *
     * @return the counts by handle value, empty when there were none
     */
    public static Map<Long, Integer> closedHandleCalls() {
        long[] pairs = simClosedHandleCallList();
        Map<Long, Integer> calls = new HashMap<>();
        for (int i = 0; i + 1 < pairs.length; i += 2) {
            calls.put(pairs[i], (int) pairs[i + 1]);
        }
        return Collections.unmodifiableMap(calls);
    }

    /**
     * Returns the bits of the device's open handle.
     *
     * @param device the device's id
     * @return the handle, or 0 when the device is not open here
     */
    public static long handleOf(int device) {
        return simHandleOf(requireDevice(device));
    }

    /**
     * Makes the next call of a driver function return {@code status} without any other effect.
     *
     * @param function a name from {@link #DRIVER_FUNCTIONS}, such as "FT_Read"
     * @param status   the status code the call returns
     */
    public static void failNext(String function, int status) {
        checkedName(function, simFailNext(functionName(function), status));
    }

    /**
     * Makes the next call of a driver function, on any device, fail with a status and have no
     * other effect.
     *
     * @param function the function
     * @param status   the status the call returns; not {@link FtdiStatus#UNKNOWN}
     */
    public static void failNext(DriverFunction function, FtdiStatus status) {
        failNext(Objects.requireNonNull(function, "function").driverName(), statusCode(status));
    }

    /**
     * Makes every call of a driver function return {@code status} until {@link #clearFaults}.
     *
     * @param function a name from {@link #DRIVER_FUNCTIONS}, such as "FT_Read"
     * @param status   the status code every call returns
     */
    public static void failAlways(String function, int status) {
        checkedName(function, simFailAlways(functionName(function), status));
    }

    /**
     * Makes every call of a driver function, on any device, fail with a status until
     * {@link #clearFaults} or {@link #reset}.
     *
     * @param function the function
     * @param status   the status every call returns; not {@link FtdiStatus#UNKNOWN}
     */
    public static void failAlways(DriverFunction function, FtdiStatus status) {
        failAlways(Objects.requireNonNull(function, "function").driverName(), statusCode(status));
    }

    /**
     * Makes the next successful call of a counting function report {@code count}. The driver
     * never writes more bytes or records than the caller's buffer holds: a read moves at most
     * the requested and the queued bytes and does not wait, a write sends at most its length.
     *
     * @param function a name from {@link #COUNTING_FUNCTIONS}
     * @param count    the count to report, taken as unsigned
     */
    public static void reportNextCount(String function, int count) {
        Objects.requireNonNull(function, "function");
        if (!COUNTING_FUNCTIONS.contains(function)) {
            throw new IllegalArgumentException(
                    "not a driver function that reports a count: " + function);
        }
        checkedName(function, simReportNextCount(functionName(function), count));
    }

    /**
     * Makes the next successful call of a counting function report {@code count}; see
     * {@link #reportNextCount(String, int)}.
     *
     * @param function a function whose {@link DriverFunction#reportsCount()} is true
     * @param count    the count to report, taken as unsigned
     */
    public static void reportNextCount(DriverFunction function, int count) {
        reportNextCount(Objects.requireNonNull(function, "function").driverName(), count);
    }

    /** Removes every injected failure and pending count override. */
    public static void clearFaults() {
        simClearFaults();
    }

    /**
     * Returns how often a driver function was called since {@link #reset()}.
     *
     * @param function a name from {@link #DRIVER_FUNCTIONS}, such as "FT_Read"
     * @return the number of calls, failed ones included
     */
    public static int callCount(String function) {
        return simCallCount(functionName(function));
    }

    /**
     * Returns how often a driver function was called since {@link #reset()}, on any device.
     *
     * @param function the function
     * @return the number of calls, failed ones included
     */
    public static int callCount(DriverFunction function) {
        return callCount(Objects.requireNonNull(function, "function").driverName());
    }

    /**
     * Returns the arguments of the last call of a driver function, each as passed: handles and
     * pointers as their bits, narrower values zero-extended, an in/out count as it was on entry.
     *
     * @param function a name from {@link #DRIVER_FUNCTIONS}, such as "FT_Read"
     * @return the arguments, or {@code null} when the function was not called since
     *         {@link #reset()}
     */
    public static long[] lastArgs(String function) {
        return simLastArgs(functionName(function));
    }

    /**
     * Returns the arguments of the last call of a driver function; see
     * {@link #lastArgs(String)}.
     *
     * @param function the function
     * @return the arguments, or {@code null} when the function was not called since
     *         {@link #reset()}
     */
    public static long[] lastArgs(DriverFunction function) {
        return lastArgs(Objects.requireNonNull(function, "function").driverName());
    }

    /**
     * Returns the text handed to the last {@code FT_OpenEx} by serial number or description,
     * through its terminating zero.
     *
     * @return the bytes, or {@code null} when there was no such call
     */
    public static byte[] lastOpenText() {
        return simLastOpenText();
    }

    /** Counts the resets, so that a {@link SimulatedDevice} notices it no longer exists. */
    static synchronized int generation() {
        return generation;
    }

    /** How many devices were attached since the last reset, unplugged ones included. */
    static int deviceCount() {
        return simDeviceCount();
    }

    private static int statusCode(FtdiStatus status) {
        Objects.requireNonNull(status, "status");
        if (status == FtdiStatus.UNKNOWN) {
            throw new IllegalArgumentException("UNKNOWN has no status code: pass the number instead");
        }
        return status.code();
    }


    private static void requireFieldSize(String field, byte[] bytes, int limit) {
        if (bytes.length > limit) {
            throw new IllegalArgumentException(
                    field + " has " + bytes.length + " bytes, more than its field's " + limit);
        }
    }

    private static int requireDevice(int device) {
        if (device < 0 || device >= simDeviceCount()) {
            throw unknownDevice(device);
        }
        return device;
    }

    private static void checked(int device, int result) {
        if (result != 0) {
            throw unknownDevice(device);
        }
    }

    private static IllegalArgumentException unknownDevice(int device) {
        return new IllegalArgumentException("no simulated device has id " + device);
    }

    private static byte[] functionName(String function) {
        Objects.requireNonNull(function, "function");
        if (!DRIVER_FUNCTIONS.contains(function)) {
            throw new IllegalArgumentException("not a driver function: " + function);
        }
        return function.getBytes(StandardCharsets.US_ASCII);
    }

    private static void checkedName(String function, int result) {
        if (result != 0) {
            throw new IllegalArgumentException("the simulated driver refused " + function);
        }
    }

    private static native void simReset();

    private static native int simAddDevice(int flags, int type, int id, int locId, byte[] serial,
            byte[] description);

    private static native int simDeviceCount();

    private static native int simUnplug(int device);

    private static native int simSetOpenedElsewhere(int device, boolean opened);

    private static native int simSetLoopback(int device, boolean on);

    private static native int simSetDriverVersion(int device, int version);

    private static native int simSetComPort(int device, int port);

    private static native int simSetModemInputs(int device, int lines);

    private static native int simRaiseLineErrors(int device, int errors);

    private static native int simInject(int device, byte[] bytes);

    private static native byte[] simTakeWritten(int device);

    private static native int simGetDeviceState(int device, int[] fields);

    private static native long simWrittenTotal(int device);

    private static native int simSetInstantTransfers(int device, boolean on);

    private static native void simSetLibraryVersion(int version);

    private static native void simSetHandleBase(long base);

    private static native long simHandleOf(int device);

    private static native int simSetWritesStalled(int device, boolean on);

    private static native void simSetHandleReuse(boolean on);

    private static native int simClosedHandleCalls(long handle);

    private static native long[] simClosedHandleCallList();

    private static native int simFailNext(byte[] function, int status);

    private static native int simFailAlways(byte[] function, int status);

    private static native int simReportNextCount(byte[] function, int count);

    private static native void simClearFaults();

    private static native int simCallCount(byte[] function);

    private static native long[] simLastArgs(byte[] function);

    private static native byte[] simLastOpenText();
}
