package nl.tamsel.ftdi.sim.junit;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import nl.tamsel.ftdi.usb.DeviceType;

/**
 * Declares the simulated device a {@link nl.tamsel.ftdi.sim.SimulatedDevice} parameter of a
 * test or {@code @BeforeEach} method receives; {@link SimulatedDriverExtension} attaches it
 * after the driver's reset. A parameter without this annotation gets a device with every
 * default.
 *
 * <p>Parameters that name the same serial number within one test, in the test method and its
 * {@code @BeforeEach} methods, receive the same device; they must then declare it alike.
 */
@Documented
@Retention(RetentionPolicy.RUNTIME)
@Target(ElementType.PARAMETER)
public @interface Device {

    /**
     * The serial number, at most 16 bytes in UTF-8.
     *
     * @return the serial number; empty for "SIM" and the device's id in five digits
     */
    String serial() default "";

    /**
     * The description, at most 64 bytes in UTF-8.
     *
     * @return the description; empty for "Simulated " and the type's short name
     */
    String description() default "";

    /**
     * The kind of device.
     *
     * @return the type, an FT232R by default
     */
    DeviceType type() default DeviceType.FT_DEVICE_232R;

    /**
     * The location id.
     *
     * @return the location word; -1 (the default) for 0x1001 plus the device's id
     */
    int location() default -1;

    /**
     * Whether written bytes come back as received bytes, and RTS and DTR drive CTS, DSR and DCD.
     *
     * @return true by default; false for a device that only records what is written
     */
    boolean loopback() default true;
}
