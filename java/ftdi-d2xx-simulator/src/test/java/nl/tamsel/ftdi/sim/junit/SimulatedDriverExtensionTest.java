package nl.tamsel.ftdi.sim.junit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import nl.tamsel.ftdi.sim.DriverFunction;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.DeviceType;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.FtdiException;
import nl.tamsel.ftdi.usb.FtdiStatus;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import org.junit.jupiter.api.extension.ExtendWith;

/**
 * What test classes that use the extension see: whole runs of the nested classes below, each
 * started with a launcher of its own. This class does not use the extension itself, which would
 * hold the driver that the runs need.
 */
class SimulatedDriverExtensionTest {

    @Test
    void eachTestStartsWithNoDevicesNoFaultsAndNoCallRecords() {
        JUnitRun run = JUnitRun.of(LeavesStateBehind.class);

        assertEquals(List.of(), run.failures);
        assertEquals(2, run.passed.size());
    }

    @Test
    void annotatedParametersAreAttachedAsDeclaredAndShareOneDevicePerSerialNumber() {
        JUnitRun run = JUnitRun.of(DeclaresDevices.class);

        assertEquals(List.of(), run.failures);
        assertEquals(3, run.passed.size());
    }

    @Test
    void aSerialNumberDeclaredTwiceDifferentlyFailsTheTestNamingBoth() {
        JUnitRun run = JUnitRun.of(DeclaresOneSerialTwice.class);

        assertEquals(1, run.failures.size(), run.failures::toString);
        String failure = run.failures.get(0);
        assertTrue(failure.contains("\"S1\" is declared twice") && failure.contains("first")
                && failure.contains("second"), failure);
    }

    @Test
    void devicesCannotBeConstructorOrBeforeAllParameters() {
        JUnitRun run = JUnitRun.of(TakesADeviceInItsConstructor.class, TakesADeviceBeforeAll.class);

        assertEquals(2, run.failures.size(), run.failures::toString);
        for (String failure : run.failures) {
            assertTrue(failure.contains("only be a parameter of a test or @BeforeEach method"), failure);
        }
    }

    @Test
    void inParallelModeTestsUsingTheExtensionRunOneAtATime() {
        // Waiting longer for an overlap that must not come would only make the run slower.
        Overlap.reset(1);
        JUnitRun run = JUnitRun.of(JUnitRun.PARALLEL, UsesTheExtensionA.class, UsesTheExtensionB.class);

        assertEquals(List.of(), run.failures);
        assertEquals(4, run.passed.size());
        assertEquals(1, Overlap.MOST.get(), "most tests inside the simulated driver at once");
    }

    @Test
    void inParallelModeTestsWithoutTheExtensionDoRunTogether() {
        // Shows that the parallel configuration above can reveal overlapping tests at all. The
        // second test may start late on a loaded machine; the first waits for it, not for a time.
        Overlap.reset(120);
        JUnitRun run = JUnitRun.of(JUnitRun.PARALLEL, WithoutTheExtension.class);

        assertEquals(List.of(), run.failures);
        assertTrue(Overlap.MOST.get() > 1, "most tests at once: " + Overlap.MOST.get());
    }

    /** Counts how many tests are between their start and end at once. */
    static final class Overlap {
        static final AtomicInteger INSIDE = new AtomicInteger();
        static final AtomicInteger MOST = new AtomicInteger();
        static volatile CountDownLatch together = new CountDownLatch(2);
        static volatile long patienceSeconds;

        static void reset(long patience) {
            INSIDE.set(0);
            MOST.set(0);
            together = new CountDownLatch(2);
            patienceSeconds = patience;
        }

        /** Stays inside until a second test is inside too, or the patience has run out. */
        static void stayInside() throws InterruptedException {
            MOST.accumulateAndGet(INSIDE.incrementAndGet(), Math::max);
            together.countDown();
            together.await(patienceSeconds, TimeUnit.SECONDS);
            INSIDE.decrementAndGet();
        }
    }

    @SimulatedFtdi
    @TestMethodOrder(MethodOrderer.OrderAnnotation.class)
    static class LeavesStateBehind {
        @Test
        @Order(1)
        void leavesADeviceAFaultAndCalls(@Device(serial = "OLD") SimulatedDevice device) throws FtdiException {
            FtdiDevice.list();
            SimulatedDriver.failAlways(DriverFunction.FT_CREATE_DEVICE_INFO_LIST, FtdiStatus.FT_IO_ERROR);
        }

        @Test
        @Order(2)
        void findsNoneOfThem() throws FtdiException {
            assertEquals(0, SimulatedDriver.callCount(DriverFunction.FT_CREATE_DEVICE_INFO_LIST));
            assertEquals(List.of(), FtdiDevice.list());
        }
    }

    @SimulatedFtdi
    static class DeclaresDevices {
        SimulatedDevice fromSetUp;

        @BeforeEach
        void setUp(@Device(serial = "S1", description = "Meter", loopback = false) SimulatedDevice device) {
            fromSetUp = device;
        }

        @Test
        void theSameSerialNumberIsTheSameDevice(
                @Device(serial = "S1", description = "Meter", loopback = false) SimulatedDevice device) {
            assertSame(fromSetUp, device);
        }

        @Test
        void everyPropertyIsAsDeclared(
                @Device(serial = "S2", description = "Scope", type = DeviceType.FT_DEVICE_232H, location = 0x31)
                SimulatedDevice device) throws FtdiException {
            DeviceInfo info = FtdiDevice.list().get(device.id());
            assertEquals(List.of("S2", "Scope", DeviceType.FT_DEVICE_232H, 0x31),
                    List.of(info.serialNumber(), info.description(), info.deviceType(), info.locationId()));
            assertFalse(device.isOpen());
        }

        @Test
        void loopbackIsAsDeclared(@Device(serial = "S3") SimulatedDevice looped) throws Exception {
            try (FtdiDevice meter = FtdiDevice.openBySerialNumber("S1");
                    FtdiDevice other = FtdiDevice.openBySerialNumber("S3")) {
                meter.write(new byte[] {1}, 0, 1);
                other.write(new byte[] {2}, 0, 1);
                assertEquals(List.of(0, 1), List.of(meter.bytesAvailable(), other.bytesAvailable()));
            }
        }
    }

    @SimulatedFtdi
    static class DeclaresOneSerialTwice {
        @Test
        void test(@Device(serial = "S1", description = "first") SimulatedDevice a,
                @Device(serial = "S1", description = "second") SimulatedDevice b) {
        }
    }

    @SimulatedFtdi
    static class TakesADeviceInItsConstructor {
        TakesADeviceInItsConstructor(SimulatedDevice device) {
        }

        @Test
        void test() {
        }
    }

    @SimulatedFtdi
    static class TakesADeviceBeforeAll {
        @BeforeAll
        static void setUpAll(SimulatedDevice device) {
        }

        @Test
        void test() {
        }
    }

    /** Registered without {@link SimulatedFtdi}, as a user may. */
    @ExtendWith(SimulatedDriverExtension.class)
    static class UsesTheExtensionA {
        @Test
        void one(SimulatedDevice device) throws InterruptedException {
            Overlap.stayInside();
        }

        @Test
        void two(SimulatedDevice device) throws InterruptedException {
            Overlap.stayInside();
        }
    }

    @SimulatedFtdi
    static class UsesTheExtensionB {
        @Test
        void three() throws InterruptedException {
            Overlap.stayInside();
        }

        @Test
        void four() throws InterruptedException {
            Overlap.stayInside();
        }
    }

    static class WithoutTheExtension {
        @Test
        void one() throws InterruptedException {
            Overlap.stayInside();
        }

        @Test
        void two() throws InterruptedException {
            Overlap.stayInside();
        }
    }
}
