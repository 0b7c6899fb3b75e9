package nl.tamsel.ftdi.sim.junit;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import java.util.List;
import java.util.function.Supplier;
import nl.tamsel.ftdi.sim.JtagDeviceModel;
import nl.tamsel.ftdi.sim.Pin;
import nl.tamsel.ftdi.sim.SimulatedJtagChain;

/**
 * Declares the JTAG chain a {@link SimulatedJtagChain} parameter of a test or {@code @BeforeEach}
 * method receives: {@link SimulatedDriverExtension} attaches a single-channel FT232H (not looped
 * back) with the chain on its MPSSE pins, after the driver's reset. A parameter without this
 * annotation gets the demo chain ({@link SimulatedJtagChain#demoChain()}).
 *
 * <pre>{@code
 * @Test
 * void programsTheMemory(@JtagChain(serial = "FT232HJT") SimulatedJtagChain chain) {
 *     ... open chain.adapter() and drive the chain through MPSSE ...
 *     assertEquals(0x1234, chain.device(2).memoryWords()[5]);
 * }
 * }</pre>
 *
 * <p>Each such parameter attaches a device of its own; {@code chain.adapter()} is that device.
 */
@Documented
@Retention(RetentionPolicy.RUNTIME)
@Target(ElementType.PARAMETER)
public @interface JtagChain {

    /**
     * The FT232H's serial number, at most 16 bytes in UTF-8.
     *
     * @return the serial number; empty for "SIM" and the device's id in five digits
     */
    String serial() default "";

    /**
     * The devices of the chain, from TDI to TDO, as a class with a public no-argument
     * constructor that supplies them.
     *
     * @return the supplier's class; {@link Demo} by default
     */
    Class<? extends Supplier<List<JtagDeviceModel>>> models() default Demo.class;

    /**
     * The TRST* pin, at most one, AD4 or above.
     *
     * @return the pin, or none (the default) for a chain without TRST*
     */
    Pin[] trst() default {};

    /** Supplies {@link SimulatedJtagChain#demoChain()}, the tool's three-device demo chain. */
    final class Demo implements Supplier<List<JtagDeviceModel>> {

        /** Creates the supplier; the extension calls this. */
        public Demo() {
        }

        /**
         * Returns the demo chain's models.
         *
         * @return {@link SimulatedJtagChain#demoChain()}
         */
        @Override
        public List<JtagDeviceModel> get() {
            return SimulatedJtagChain.demoChain();
        }
    }
}
