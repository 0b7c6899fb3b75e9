package example.instrument;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.time.Duration;
import nl.tamsel.ftdi.sim.DriverFunction;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.sim.junit.Device;
import nl.tamsel.ftdi.sim.junit.SimulatedFtdi;
import nl.tamsel.ftdi.usb.FtdiException;
import nl.tamsel.ftdi.usb.FtdiStatus;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

@SimulatedFtdi
class InstrumentReaderTest {

    private static final Duration REPLY_TIMEOUT = Duration.ofMillis(200);

    @Test
    void identifiesTheInstrument(@Device(serial = "DMM1", loopback = false) SimulatedDevice meter)
            throws Exception {
        meter.receive("ACME,DMM-1,42,1.0\r\n");

        try (InstrumentReader reader = InstrumentReader.open("DMM1", REPLY_TIMEOUT)) {
            assertEquals("ACME,DMM-1,42,1.0", reader.identify());
        }
        assertEquals("*IDN?\n", meter.takeWrittenText());
        assertEquals(9600, meter.state().baudRate());
    }

    @ParameterizedTest(name = "\"{0}\" is {1} V")
    @CsvSource({"+1.250E+00, 1.25", "-0.5, -0.5", "12, 12.0"})
    void measuresTheVoltage(String reply, double volts,
            @Device(serial = "DMM1", loopback = false) SimulatedDevice meter) throws Exception {
        meter.receive(reply + "\n");

        try (InstrumentReader reader = InstrumentReader.open("DMM1", REPLY_TIMEOUT)) {
            assertEquals(volts, reader.measureVoltage());
        }
        assertEquals("MEAS:VOLT?\n", meter.takeWrittenText());
    }

    @Test
    void answersTwoQueriesThatArrivedAtOnce(@Device(serial = "DMM1", loopback = false) SimulatedDevice meter)
            throws Exception {
        meter.receive("1.0\n2.0\n");

        try (InstrumentReader reader = InstrumentReader.open("DMM1", REPLY_TIMEOUT)) {
            assertEquals(1.0, reader.measureVoltage());
            assertEquals(2.0, reader.measureVoltage());
        }
    }

    @ParameterizedTest(name = "reply \"{0}\"")
    @CsvSource({"OVERLOAD, not a number", "'ERR -113,Undefined header', refused"})
    void reportsARefusalOrAReplyThatIsNoNumber(String reply, String expected,
            @Device(serial = "DMM1", loopback = false) SimulatedDevice meter) throws Exception {
        meter.receive(reply + "\n");

        try (InstrumentReader reader = InstrumentReader.open("DMM1", REPLY_TIMEOUT)) {
            InstrumentException failure = assertThrows(InstrumentException.class, reader::measureVoltage);
            assertTrue(failure.getMessage().contains(expected), failure.getMessage());
        }
    }

    @Test
    void timesOutWhenTheReplyStopsHalfway(@Device(serial = "DMM1", loopback = false) SimulatedDevice meter)
            throws Exception {
        meter.receive("1.2");

        try (InstrumentReader reader = InstrumentReader.open("DMM1", REPLY_TIMEOUT)) {
            assertThrows(InstrumentTimeoutException.class, reader::measureVoltage);
        }
    }

    @Test
    void reportsTheDriverFailureOfAWrite(@Device(serial = "DMM1", loopback = false) SimulatedDevice meter)
            throws Exception {
        try (InstrumentReader reader = InstrumentReader.open("DMM1", REPLY_TIMEOUT)) {
            SimulatedDriver.failNext(DriverFunction.FT_WRITE, FtdiStatus.FT_IO_ERROR);

            InstrumentException failure = assertThrows(InstrumentException.class, reader::identify);
            assertEquals(FtdiStatus.FT_IO_ERROR, assertInstanceOf(FtdiException.class, failure.getCause()).status());
        }
    }

    @Test
    void reportsAnUnpluggedInstrument(@Device(serial = "DMM1", loopback = false) SimulatedDevice meter)
            throws Exception {
        try (InstrumentReader reader = InstrumentReader.open("DMM1", REPLY_TIMEOUT)) {
            meter.unplug();

            InstrumentException failure = assertThrows(InstrumentException.class, reader::identify);
            assertInstanceOf(FtdiException.class, failure.getCause());
        }
    }

    @Test
    void reportsAMissingInstrumentByItsSerialNumber(@Device(serial = "OTHER") SimulatedDevice somethingElse) {
        InstrumentException failure = assertThrows(InstrumentException.class,
                () -> InstrumentReader.open("DMM1", REPLY_TIMEOUT));
        assertTrue(failure.getMessage().contains("DMM1"), failure.getMessage());
        assertEquals(FtdiStatus.FT_DEVICE_NOT_FOUND, ((FtdiException) failure.getCause()).status());
    }
}
