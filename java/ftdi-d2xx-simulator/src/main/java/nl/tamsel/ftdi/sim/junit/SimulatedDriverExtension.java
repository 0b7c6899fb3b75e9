package nl.tamsel.ftdi.sim.junit;

import java.lang.reflect.Method;
import java.util.HashMap;
import java.util.Map;
import java.util.concurrent.Semaphore;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;
import org.junit.jupiter.api.extension.AfterEachCallback;
import org.junit.jupiter.api.extension.BeforeAllCallback;
import org.junit.jupiter.api.extension.BeforeEachCallback;
import org.junit.jupiter.api.extension.ExtensionContext;
import org.junit.jupiter.api.extension.ParameterContext;
import org.junit.jupiter.api.extension.ParameterResolutionException;
import org.junit.jupiter.api.extension.ParameterResolver;

/**
 * Gives each test a fresh simulated D2XX driver, and simulated devices as parameters.
 * Register it with {@link SimulatedFtdi} (or {@code @ExtendWith(SimulatedDriverExtension.class)}).
 *
 * <p><b>Per test.</b> Before each test's {@code @BeforeEach} methods the extension loads the
 * simulated driver (before the library's bridge, so the bridge uses it) and resets it: no
 * devices, no faults, no call records. After the test's {@code @AfterEach} methods it resets the
 * driver again, which ends any read still waiting and invalidates every handle, and every
 * {@link SimulatedDevice} of the test.
 *
 * <p><b>Parameters.</b> A {@link SimulatedDevice} parameter of a test or {@code @BeforeEach}
 * method is attached as its {@link Device} annotation declares, in parameter order, after the
 * reset. Constructors and {@code @BeforeAll} methods cannot take devices: they run before the
 * reset that would remove them.
 *
 * <p><b>Peripherals.</b> A device parameter carries the chip's pins: attach an I2C target, EEPROM
 * or SPI flash to it and record the waveform, as {@link SimulatedDevice} describes. In a test
 * method:
 *
 * <pre>{@code
 * void readsTheSensor(@Device(type = DeviceType.FT_DEVICE_232H) SimulatedDevice adapter) {
 *     SimulatedI2cTarget sensor = adapter.attachI2cTarget(0x48);
 *     sensor.setRegisters(0, new byte[] {0x19, 0x40});
 *     ... open the adapter in MPSSE mode and read register 0 ...
 * }
 * }</pre>
 *
 * <p><b>JTAG.</b> A {@link SimulatedJtagChain} parameter is an FT232H with a JTAG chain on its
 * MPSSE pins, the demo chain unless its {@link JtagChain} annotation names other devices.
 *
 * <p><b>Parallel execution.</b> The simulated driver's state is one per JVM (per process, in
 * fact). The extension therefore holds a JVM-wide lock from before a test's first
 * {@code @BeforeEach} method until after its last {@code @AfterEach} method: tests that use the
 * extension run one at a time even when JUnit runs tests in parallel, and the others wait,
 * each holding its worker thread. Tests that do not use the extension may run alongside; they
 * must not touch the simulated driver. To have JUnit schedule such tests rather than block its
 * threads, annotate the classes also with {@code @ResourceLock(SimulatedDriverExtension.RESOURCE)}.
 */
public final class SimulatedDriverExtension
        implements BeforeAllCallback, BeforeEachCallback, AfterEachCallback, ParameterResolver {

    /** A name for the simulated driver as a shared resource in JUnit's {@code @ResourceLock}. */
    public static final String RESOURCE = "nl.tamsel.ftdi.simulator";

    /** Fair, so that waiting tests run in the order they arrived. */
    private static final Semaphore DRIVER = new Semaphore(1, true);

    private static final ExtensionContext.Namespace NAMESPACE =
            ExtensionContext.Namespace.create(SimulatedDriverExtension.class);
    private static final String HOLDS_DRIVER = "holds the simulated driver";
    private static final String DEVICES_BY_SERIAL = "devices by serial number";

    /** Creates the extension; JUnit calls this. */
    public SimulatedDriverExtension() {
    }

    /**
     * Loads the simulated driver, so that code in {@code @BeforeAll} methods that loads the
     * library already finds it.
     *
     * @param context the test class's context
     */
    @Override
    public void beforeAll(ExtensionContext context) {
        SimulatedDriver.load();
    }

    /**
     * Waits until no other test holds the simulated driver, takes it and resets it.
     *
     * @param context the test's context
     * @throws InterruptedException when the thread is interrupted while it waits
     */
    @Override
    public void beforeEach(ExtensionContext context) throws InterruptedException {
        SimulatedDriver.load();
        ExtensionContext.Store store = context.getStore(NAMESPACE);
        if (store.get(HOLDS_DRIVER) != null) {
            return; // registered twice for this test: the first registration holds the driver
        }
        DRIVER.acquire();
        store.put(HOLDS_DRIVER, Boolean.TRUE);
        SimulatedDriver.reset();
    }

    /**
     * Resets the simulated driver and lets the next test have it.
     *
     * @param context the test's context
     */
    @Override
    public void afterEach(ExtensionContext context) {
        ExtensionContext.Store store = context.getStore(NAMESPACE);
        if (store.remove(HOLDS_DRIVER) == null) {
            return;
        }
        try {
            SimulatedDriver.reset();
        } finally {
            DRIVER.release();
        }
    }

    /**
     * Tells JUnit that this extension supplies {@link SimulatedDevice} parameters.
     *
     * @param parameterContext the parameter
     * @param extensionContext the context it is resolved in
     * @return whether the parameter is a {@link SimulatedDevice} or a {@link SimulatedJtagChain}
     */
    @Override
    public boolean supportsParameter(ParameterContext parameterContext,
            ExtensionContext extensionContext) {
        Class<?> type = parameterContext.getParameter().getType();
        return type == SimulatedDevice.class || type == SimulatedJtagChain.class;
    }

    /**
     * Attaches the device the parameter declares, or returns the one attached for the same
     * serial number earlier in this test; for a {@link SimulatedJtagChain} parameter, attaches
     * an FT232H with the chain its {@link JtagChain} annotation declares.
     *
     * @param parameterContext the parameter
     * @param extensionContext the context it is resolved in
     * @return the attached device or chain
     * @throws ParameterResolutionException when the parameter belongs to a constructor or a
     *         {@code @BeforeAll} method, or declares a serial number already attached otherwise
     */
    @Override
    public Object resolveParameter(ParameterContext parameterContext,
            ExtensionContext extensionContext) {
        ExtensionContext.Store store = extensionContext.getStore(NAMESPACE);
        if (!(parameterContext.getDeclaringExecutable() instanceof Method)
                || extensionContext.getTestMethod().isEmpty()
                || store.get(HOLDS_DRIVER) == null) {
            throw new ParameterResolutionException("A simulated device can only be a parameter of a test"
                    + " or @BeforeEach method: " + parameterContext.getDeclaringExecutable()
                    + " runs before the simulated driver's reset, which would remove it");
        }
        if (parameterContext.getParameter().getType() == SimulatedJtagChain.class) {
            return JtagChains.attach(parameterContext.findAnnotation(JtagChain.class).orElse(null));
        }
        Device declared = parameterContext.findAnnotation(Device.class).orElse(null);
        if (declared == null || declared.serial().isEmpty()) {
            return attach(declared);
        }
        @SuppressWarnings("unchecked")
        Map<String, Declared> bySerial = store.getOrComputeIfAbsent(DEVICES_BY_SERIAL,
                key -> new HashMap<String, Declared>(), Map.class);
        Declared earlier = bySerial.get(declared.serial());
        if (earlier == null) {
            Declared attached = new Declared(declared, attach(declared));
            bySerial.put(declared.serial(), attached);
            return attached.device();
        }
        if (!earlier.annotation().equals(declared)) {
            throw new ParameterResolutionException("The simulated device with serial number \""
                    + declared.serial() + "\" is declared twice, differently: " + earlier.annotation()
                    + " and " + declared);
        }
        return earlier.device();
    }

    private static SimulatedDevice attach(Device declared) {
        SimulatedDevice.Builder builder = SimulatedDevice.builder();
        if (declared != null) {
            builder.type(declared.type()).loopback(declared.loopback());
            if (!declared.serial().isEmpty()) {
                builder.serialNumber(declared.serial());
            }
            if (!declared.description().isEmpty()) {
                builder.description(declared.description());
            }
            if (declared.location() != -1) {
                builder.locationId(declared.location());
            }
        }
        try {
            return builder.attach();
        } catch (IllegalArgumentException e) {
            throw new ParameterResolutionException("The simulated driver refused " + declared + ": "
                    + e.getMessage(), e);
        }
    }

    /** A device and the annotation it was attached for. */
    private record Declared(Device annotation, SimulatedDevice device) {
    }
}
