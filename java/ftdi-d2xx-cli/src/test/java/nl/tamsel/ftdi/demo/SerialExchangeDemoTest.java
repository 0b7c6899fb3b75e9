package nl.tamsel.ftdi.demo;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class SerialExchangeDemoTest {

    private final ByteArrayOutputStream output = new ByteArrayOutputStream();
    private final PrintStream out = new PrintStream(output, true, StandardCharsets.UTF_8);

    @BeforeEach
    void resetSimulatedDriver() {
        SimulatedDriver.reset();
    }

    @Test
    void runsToTheEndAndShowsTheEcho() {
        int status = SerialExchangeDemo.run(out);

        String printed = output.toString(StandardCharsets.UTF_8);
        assertEquals(0, status, printed);
        assertTrue(printed.contains("2 device(s):"), printed);
        assertTrue(printed.contains("0403:6014"), printed);
        assertTrue(printed.contains("as text: \"Hello through the FT232H!\""), printed);
        assertTrue(printed.contains("Modem status 0x00b0: CTS DSR DCD"), printed);
        assertTrue(printed.contains("Closed: ok"), printed);
    }

    @ParameterizedTest
    @CsvSource({
        "FT_OpenEx,       2, 'FAILED: open FT7XQ2B9 (status 2)'",
        "FT_SetBaudRate,  7, 'FAILED: baud rate 115200 (status 7)'",
        "FT_Write,        4, 'FAILED: write (status 4)'",
        "FT_Read,         4, 'FAILED: read (status 4)'",
        "FT_GetModemStatus, 1, 'FAILED: get modem status (status 1)'"})
    void namesTheStepThatFailedAndStillCloses(String function, int status, String report) {
        SerialExchangeDemo.attachSimulatedDevices();
        SimulatedDriver.failAlways(function, status);

        int exitStatus = SerialExchangeDemo.exchange(out);

        String printed = output.toString(StandardCharsets.UTF_8);
        assertEquals(1, exitStatus, printed);
        assertTrue(printed.contains(report), printed);
        assertEquals(function.equals("FT_OpenEx") ? 0 : 1, SimulatedDriver.callCount("FT_Close"), printed);
    }
}
