package example.instrument;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.time.Duration;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.junit.Device;
import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.usb.DeviceGoneException;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** The instrument unplugged and plugged back in between and during its queries. */
@SimulatedFtdi
class ReconnectingInstrumentTest {

    /** Hang guards only: the replies are there (or come) long before these pass. */
    private static final Duration REPLY_TIMEOUT = Duration.ofSeconds(30);
    private static final Duration RECONNECT_TIMEOUT = Duration.ofSeconds(60);

    @ParameterizedTest(name = "plugged back in at location {0}")
    @ValueSource(ints = {0x1001, 0x2002})
    void keepsMeasuringAcrossAReplugBeforeTheNextQuery(int location,
            @Device(serial = "DMM1", loopback = false, location = 0x1001) SimulatedDevice meter) throws Exception {
        meter.receive("1.5\n");
        try (ReconnectingInstrument instrument = ReconnectingInstrument.open("DMM1", REPLY_TIMEOUT, RECONNECT_TIMEOUT)) {
            assertEquals(1.5, instrument.measureVoltage());
            meter.unplug();
            meter.replug(location);
            meter.receive("2.5\n");

            assertEquals(2.5, instrument.measureVoltage());
            assertEquals(1, instrument.reconnects());
        }
        assertEquals("MEAS:VOLT?\nMEAS:VOLT?\n", meter.takeWrittenText(), "one query before, one after");
        assertEquals(9600, meter.state().baudRate(), "set up again after the replug");
    }

    @Test
    void aQueryWaitsWhileTheInstrumentIsAway(@Device(serial = "DMM1", loopback = false) SimulatedDevice meter)
            throws Exception {
        meter.receive("*\n");
        try (ReconnectingInstrument instrument = ReconnectingInstrument.open("DMM1", REPLY_TIMEOUT, RECONNECT_TIMEOUT)) {
            assertEquals("*", instrument.query("PING"));
            meter.unplug();
            CompletableFuture<String> reply = CompletableFuture.supplyAsync(() -> {
                try {
                    return instrument.query("*IDN?");
                } catch (InstrumentException e) {
                    throw new IllegalStateException(e);
                }
            });
            meter.replug();
            meter.receive("ACME,DMM-1,42,1.0\n");

            assertEquals("ACME,DMM-1,42,1.0", reply.get(RECONNECT_TIMEOUT.toSeconds(), TimeUnit.SECONDS));
        }
    }

    @Test
    void anInstrumentThatStaysAwayEndsTheQueryWithTheReason(
            @Device(serial = "DMM1", loopback = false) SimulatedDevice meter) throws Exception {
        try (ReconnectingInstrument instrument = ReconnectingInstrument.open("DMM1", REPLY_TIMEOUT, Duration.ZERO)) {
            meter.unplug();
            InstrumentException e = assertThrows(InstrumentException.class, instrument::measureVoltage);
            assertTrue(e.getMessage().contains("was unplugged and did not come back"), e.getMessage());
            assertInstanceOf(DeviceGoneException.class, e.getCause().getCause());
        }
    }

    @Test
    void otherFailuresAreNotRetried(@Device(serial = "DMM1", loopback = false) SimulatedDevice meter)
            throws Exception {
        meter.receive("ERR -113\n");
        try (ReconnectingInstrument instrument = ReconnectingInstrument.open("DMM1", REPLY_TIMEOUT, RECONNECT_TIMEOUT)) {
            InstrumentException e = assertThrows(InstrumentException.class, () -> instrument.query("BOGUS"));
            assertEquals("the instrument refused BOGUS: ERR -113", e.getMessage());
            assertEquals(0, instrument.reconnects());
        }
    }
}
