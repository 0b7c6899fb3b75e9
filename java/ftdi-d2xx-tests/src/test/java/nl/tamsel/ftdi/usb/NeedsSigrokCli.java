package nl.tamsel.ftdi.usb;

import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.extension.ExtendWith;

/**
 * Marks tests that let sigrok-cli decode a recorded waveform. Where it is missing they fail,
 * since a decoder test that quietly skips proves nothing; on Windows, where sigrok-cli is not
 * installed with the build, each is skipped (disabled, so the run's summary counts it so).
 */
@Target({ElementType.TYPE, ElementType.METHOD})
@Retention(RetentionPolicy.RUNTIME)
@Tag("decoder")
@ExtendWith(SigrokCliCondition.class)
@interface NeedsSigrokCli {
}
