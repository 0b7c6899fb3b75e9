package nl.tamsel.ftdi.usb.reliability;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.SplittableRandom;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;
import nl.tamsel.ftdi.usb.D2XXConstants;
import nl.tamsel.ftdi.usb.DeviceInfo;

/**
 * A long run through the bridge against the simulated driver, showing that it keeps nothing per
 * call: a million mixed calls (transfers on both buffer paths, settings, queries, opening and
 * closing, calls that raise) and thousands of fetches of a long device list. The process's
 * resident memory is sampled after a warm-up; run under {@code -Xcheck:jni}, the JVM also warns
 * as soon as one native call holds more local references than it may, which a reference kept per
 * list entry would cause. Started by {@code scripts/soak}, not by the test suite.
 *
 * <p>Arguments: the number of calls (default 1,000,000). Exits with status 1 when a call gives a
 * wrong result or resident memory grows by more than the bound after warm-up.
 */
public final class Soak {

    private static final int LISTED_DEVICES = 200;
    /** In steps of the loop; a step makes one call, or two for a transfer or an open and close. */
    private static final int LIST_EVERY = 200;
    private static final int RAISE_EVERY = 1000;
    private static final int DRAIN_EVERY = 500;
    private static final int MAX_TRANSFER = 4096;
    private static final int SAMPLES = 20;
    /** Generous: a heap buffer or node buffer kept per call would pass it many times over. */
    private static final long GROWTH_BOUND_KIB = 16 * 1024;

    private final SplittableRandom random = new SplittableRandom(1);
    private final byte[] out = new byte[MAX_TRANSFER];
    private final byte[] in = new byte[MAX_TRANSFER];
    private long handle;
    private long steps;
    private long calls;
    private long lists;

    private Soak() {
    }

    public static void main(String[] args) throws IOException {
        long total = args.length > 0 ? Long.parseLong(args[0]) : 1_000_000;
        System.exit(new Soak().run(total) ? 0 : 1);
    }

    private boolean run(long total) throws IOException {
        SimulatedDriver.reset();
        for (int d = 0; d < LISTED_DEVICES; d++) {
            SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, 0x04036001, 0x100 + d, "SOAK" + d,
                    "Soak device " + d);
        }
        int trafficDevice = 0;
        handle = D2XX.openBySerialNumber("SOAK0");
        require(handle > 0 && D2XX.setTimeouts(handle, 50, 50) == 0, "open the traffic device");

        long started = System.nanoTime();
        long warmUp = total / 10;
        long sampleEvery = Math.max(1, (total - warmUp) / SAMPLES);
        long nextSample = warmUp;
        long firstKib = -1;
        long lastKib = -1;
        long maxKib = -1;
        while (calls < total) {
            mixedCall();
            if (++steps % DRAIN_EVERY == 0) {
                // The simulated driver logs written bytes until taken; keep its log from growing.
                SimulatedDriver.takeWritten(trafficDevice);
            }
            if (calls >= nextSample) {
                long kib = residentKib();
                firstKib = firstKib < 0 ? kib : firstKib;
                lastKib = kib;
                maxKib = Math.max(maxKib, kib);
                nextSample += sampleEvery;
            }
        }
        require(D2XX.close(handle) == 0, "close the traffic device");
        double seconds = (System.nanoTime() - started) / 1e9;

        long growth = lastKib - firstKib;
        System.out.printf("soak: %,d calls, %,d device-list fetches of %d devices, in %.1f s%n", calls, lists,
                LISTED_DEVICES, seconds);
        System.out.printf("resident memory after warm-up (%,d calls): first %,d KiB, last %,d KiB, max %,d KiB, "
                + "growth %,d KiB (bound %,d KiB)%n", warmUp, firstKib, lastKib, maxKib, growth, GROWTH_BOUND_KIB);
        if (growth > GROWTH_BOUND_KIB) {
            System.out.println("FAILED: resident memory grew beyond the bound");
            return false;
        }
        return true;
    }

    private void mixedCall() {
        if (steps % LIST_EVERY == 0) {
            DeviceInfo[] list = D2XX.createDeviceInfoList();
            require(list != null && list.length == LISTED_DEVICES && list[LISTED_DEVICES - 1] != null,
                    "device list");
            lists++;
            calls++;
            return;
        }
        if (steps % RAISE_EVERY == 1) {
            raiseAndCatch();
            return;
        }
        switch (random.nextInt(16)) {
            case 0, 1, 2, 3, 4, 5 -> echo();
            case 6 -> require(D2XX.getQueueStatus(handle) == 0, "queue status");
            case 7 -> require(D2XX.getModemStatus(handle) >= 0, "modem status");
            case 8 -> require(D2XX.setLatencyTimer(handle, 2 + random.nextInt(254)) == 0, "set latency timer");
            case 9 -> require(D2XX.getLatencyTimer(handle) >= 2, "latency timer");
            case 10 -> require(D2XX.setBaudrate(handle, 115_200) == 0, "baud rate");
            case 11 -> require(D2XX.setDataCharacteristics(handle, 8, 0, 0) == 0, "data characteristics");
            case 12 -> require(D2XX.setChars(handle, (byte) 0x0A, true, (byte) 0, false) == 0, "chars");
            case 13 -> require(D2XX.setDTR(handle, random.nextBoolean()) == 0, "DTR");
            case 14 -> require(D2XX.getDriverVersion(handle) > 0, "driver version");
            default -> openAndClose();
        }
        calls++;
    }

    /** A write and the read of its echo: one call each, from 1 byte to 4 KiB. */
    private void echo() {
        int length = 1 + random.nextInt(MAX_TRANSFER);
        random.nextBytes(out);
        require(D2XX.write(handle, out, 0, length) == length, "write");
        require(D2XX.read(handle, in, 0, length) == length, "read");
        require(Arrays.equals(out, 0, length, in, 0, length), "echo");
        calls++;
    }

    /** Opening by text converts a string on every call; one more call for the close. */
    private void openAndClose() {
        String serial = "SOAK" + (1 + random.nextInt(LISTED_DEVICES - 1));
        long other = random.nextBoolean() ? D2XX.openBySerialNumber(serial)
                : D2XX.openByDescription("Soak device " + serial.substring(4));
        require(other > 0 && D2XX.close(other) == 0, "open and close " + serial);
        calls++;
    }

    /** The bridge's own exceptions find their class and raise on every call. */
    private void raiseAndCatch() {
        try {
            D2XX.read(handle, in, MAX_TRANSFER, 1);
            require(false, "read beyond the array must throw");
        } catch (ArrayIndexOutOfBoundsException expected) {
            calls++;
        }
        try {
            D2XX.openBySerialNumber(null);
            require(false, "a null serial number must throw");
        } catch (NullPointerException expected) {
            calls++;
        }
    }

    private static long residentKib() throws IOException {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IOException("no VmRSS in /proc/self/status");
    }

    private static void require(boolean condition, String what) {
        if (!condition) {
            throw new IllegalStateException("wrong result: " + what);
        }
    }
}
