package nl.tamsel.ftdi.demo;

import static nl.tamsel.ftdi.usb.D2XXConstants.FT_BITS_8;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_DEVICE_232H;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_DEVICE_232R;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLAGS_HISPEED;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLAGS_OPENED;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLOW_RTS_CTS;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PARITY_NONE;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_STOP_BITS_1;
import static nl.tamsel.ftdi.usb.D2XXConstants.MODEM_STATUS_CTS;
import static nl.tamsel.ftdi.usb.D2XXConstants.MODEM_STATUS_DCD;
import static nl.tamsel.ftdi.usb.D2XXConstants.MODEM_STATUS_DSR;
import static nl.tamsel.ftdi.usb.D2XXConstants.MODEM_STATUS_RI;

import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.StringJoiner;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.DriverVersion;

/**
 * A serial exchange from enumeration to close, against the simulated driver: it attaches two
 * loopback devices, then uses only {@link D2XX}, as an application would, to list them, open one
 * by serial number, configure its line, send a message and read the echo back.
 *
 * <p>Run with {@code -Dnl.tamsel.ftdi.driver=<simulated libftd2xx.so>} and
 * {@code -Dnl.tamsel.ftdi.bridge=<libftdibridge.so>}. Exits with status 1, naming the step, when a
 * step fails.
 */
public final class SerialExchangeDemo {

    private static final String SERIAL_232R = "A10KZP3M";
    private static final String SERIAL_232H = "FT7XQ2B9";
    private static final String MESSAGE = "Hello through the FT232H!";

    private final PrintStream out;

    private SerialExchangeDemo(PrintStream out) {
        this.out = out;
    }

    /**
     * Runs the demo; exits non-zero when a step fails.
     *
     * @param args not used
     */
    public static void main(String[] args) {
        int status = run(System.out);
        if (status != 0) {
            System.exit(status);
        }
    }

    /**
     * Runs the demo, printing to {@code out}.
     *
     * @param out where the report goes
     * @return 0 when every step succeeded, 1 otherwise
     */
    public static int run(PrintStream out) {
        attachSimulatedDevices();
        return exchange(out);
    }

    /** The exchange alone, on the devices attached by {@link #attachSimulatedDevices()}. */
    static int exchange(PrintStream out) {
        try {
            new SerialExchangeDemo(out).listOpenAndExchange();
            return 0;
        } catch (StepFailed e) {
            out.println("FAILED: " + e.getMessage());
            return 1;
        }
    }

    private void listOpenAndExchange() throws StepFailed {
        out.println("D2XX library version " + version(check("get library version", D2XX.getLibraryVersion())));
        DeviceInfo[] devices = D2XX.createDeviceInfoList();
        if (devices == null) {
            throw new StepFailed("list devices (the driver failed)");
        }
        printDevices(devices);

        long handle = D2XX.openBySerialNumber(SERIAL_232H);
        if (handle < 0) {
            throw new StepFailed("open " + SERIAL_232H + " (status " + -handle + ")");
        }
        out.printf("Opened %s, handle 0x%x%n", SERIAL_232H, handle);
        try {
            out.println("Driver version " + version(check("get driver version", D2XX.getDriverVersion(handle))));
            configure(handle);
            echo(handle);
            showModemStatus(handle);
        } finally {
            int closed = D2XX.close(handle);
            out.println("Closed: " + (closed == 0 ? "ok" : "status " + -closed));
        }
    }

    static void attachSimulatedDevices() {
        SimulatedDriver.reset();
        SimulatedDriver.addDevice(0, FT_DEVICE_232R, 0x04036001, 0x0111, SERIAL_232R, "FT232R USB UART");
        SimulatedDriver.addDevice(FT_FLAGS_HISPEED, FT_DEVICE_232H, 0x04036014, 0x0213, SERIAL_232H,
                "UM232H Single RS232-HS");
    }

    private void printDevices(DeviceInfo[] devices) {
        out.println(devices.length + " device(s):");
        out.printf("  %-2s %-10s %-24s %-9s %-6s %-10s %s%n", "#", "serial", "description", "VID:PID", "type",
                "location", "flags");
        for (int i = 0; i < devices.length; i++) {
            DeviceInfo d = devices[i];
            if (d == null) {
                out.printf("  %-2d (no entry)%n", i);
                continue;
            }
            out.printf("  %-2d %-10s %-24s %04x:%04x %-6s 0x%08x %s%n", i, d.serialNumber(), d.description(),
                    d.vendorId(), d.productId(), d.typeName(), d.locationId(), flagNames(d.flags()));
        }
    }

    private void configure(long handle) throws StepFailed {
        setting("baud rate 115200", D2XX.setBaudrate(handle, 115_200));
        setting("8 data bits, no parity, 1 stop bit",
                D2XX.setDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE));
        setting("flow control RTS/CTS", D2XX.setFlowControl(handle, FT_FLOW_RTS_CTS));
        setting("timeouts read 500 ms, write 500 ms", D2XX.setTimeouts(handle, 500, 500));
        setting("latency timer 2 ms", D2XX.setLatencyTimer(handle, 2));
    }

    private void echo(long handle) throws StepFailed {
        byte[] message = MESSAGE.getBytes(StandardCharsets.US_ASCII);
        int written = check("write", D2XX.write(handle, message, 0, message.length));
        out.printf("Wrote %d bytes: \"%s\"%n", written, MESSAGE);
        byte[] received = new byte[message.length];
        int read = check("read", D2XX.read(handle, received, 0, received.length));
        byte[] echoed = Arrays.copyOf(received, read);
        out.printf("Read %d bytes: %s%n", read, hex(echoed));
        out.printf("  as text: \"%s\"%n", new String(echoed, StandardCharsets.US_ASCII));
        if (!Arrays.equals(echoed, message)) {
            throw new StepFailed("read back the message (the echo differs from what was written)");
        }
    }

    private void showModemStatus(long handle) throws StepFailed {
        setting("raise DTR", D2XX.setDTR(handle, true));
        setting("raise RTS", D2XX.setRTS(handle, true));
        int status = check("get modem status", D2XX.getModemStatus(handle));
        out.printf("Modem status 0x%04x: %s%n", status, modemLines(status));
    }

    private void setting(String what, int result) throws StepFailed {
        out.printf("  %-36s %s%n", what, result == 0 ? "ok" : "failed, status " + -result);
        check(what, result);
    }

    private static int check(String step, int result) throws StepFailed {
        if (result < 0) {
            throw new StepFailed(step + " (status " + -result + ")");
        }
        return result;
    }

    private static String version(int v) {
        return new DriverVersion(v).toString();
    }

    private static String flagNames(int flags) {
        StringJoiner names = new StringJoiner(",");
        if ((flags & FT_FLAGS_OPENED) != 0) {
            names.add("opened");
        }
        if ((flags & FT_FLAGS_HISPEED) != 0) {
            names.add("hi-speed");
        }
        return names.length() == 0 ? "-" : names.toString();
    }

    private static String modemLines(int status) {
        StringJoiner lines = new StringJoiner(" ");
        lines.setEmptyValue("no lines active");
        int[] bits = {MODEM_STATUS_CTS, MODEM_STATUS_DSR, MODEM_STATUS_RI, MODEM_STATUS_DCD};
        String[] names = {"CTS", "DSR", "RI", "DCD"};
        for (int i = 0; i < bits.length; i++) {
            if ((status & bits[i]) != 0) {
                lines.add(names[i]);
            }
        }
        return lines.toString();
    }

    private static String hex(byte[] bytes) {
        StringJoiner hex = new StringJoiner(" ");
        for (byte b : bytes) {
            hex.add(String.format("%02x", b & 0xFF));
        }
        return hex.toString();
    }

    /** A step that failed; its message names the step. */
    private static final class StepFailed extends Exception {
        private static final long serialVersionUID = 1L;

        StepFailed(String step) {
            super(step);
        }
    }
}
