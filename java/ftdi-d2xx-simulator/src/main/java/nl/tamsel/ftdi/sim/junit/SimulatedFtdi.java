package nl.tamsel.ftdi.sim.junit;

import java.lang.annotation.Documented;
import java.lang.annotation.ElementType;
import java.lang.annotation.Inherited;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import org.junit.jupiter.api.extension.ExtendWith;

/**
 * Runs a test class (or method) against the simulated D2XX driver through
 * {@link SimulatedDriverExtension}: each test starts with no devices and no faults, runs while
 * no other such test runs, and can declare its devices as parameters with {@link Device}.
 */
@Documented
@Inherited
@Retention(RetentionPolicy.RUNTIME)
@Target({ElementType.TYPE, ElementType.METHOD})
@ExtendWith(SimulatedDriverExtension.class)
public @interface SimulatedFtdi {
}
