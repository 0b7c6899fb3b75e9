package nl.tamsel.ftdi.usb;

import static nl.tamsel.ftdi.usb.D2XXConstants.FT_BITS_7;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_BITS_8;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLOW_DTR_DSR;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLOW_NONE;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLOW_RTS_CTS;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLOW_XON_XOFF;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PARITY_EVEN;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PARITY_NONE;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PURGE_RX;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PURGE_TX;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_STOP_BITS_1;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_STOP_BITS_2;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;

import java.util.Arrays;
import java.util.function.LongToIntFunction;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** Line settings and control signals: the arguments as the driver receives them, and results. */
class LineSettingsTest extends SimulatedDriverTestBase {

    private int device;
    private long handle;

    @BeforeEach
    void openDevice() {
        device = attach();
        handle = open(device);
    }

    private static Arguments call(String call, LongToIntFunction method, String function, long... expectedArgs) {
        return Arguments.of(Named.of(call, method), function, expectedArgs);
    }

    /** Each call, the driver function it must reach, and that function's arguments after the handle. */
    static Stream<Arguments> settings() {
        return Stream.of(
                call("setBaudrate(115200)", h -> D2XX.setBaudrate(h, 115_200), "FT_SetBaudRate", 115_200),
                call("setBaudrate(-9600)", h -> D2XX.setBaudrate(h, -9600), "FT_SetBaudRate", 0xFFFF_DA80L),
                call("setDataCharacteristics(8, 1, none)",
                        h -> D2XX.setDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE),
                        "FT_SetDataCharacteristics", 8, 0, 0),
                call("setDataCharacteristics(7, 2, even)",
                        h -> D2XX.setDataCharacteristics(h, FT_BITS_7, FT_STOP_BITS_2, FT_PARITY_EVEN),
                        "FT_SetDataCharacteristics", 7, 2, 2),
                call("setDataCharacteristics(0x108, 0x200, 0x1FF)",
                        h -> D2XX.setDataCharacteristics(h, 0x108, 0x200, 0x1FF), "FT_SetDataCharacteristics", 8, 0, 0xFF),
                call("setTimeouts(500, 0)", h -> D2XX.setTimeouts(h, 500, 0), "FT_SetTimeouts", 500, 0),
                call("setTimeouts(-1, MIN)", h -> D2XX.setTimeouts(h, -1, Integer.MIN_VALUE), "FT_SetTimeouts",
                        0xFFFF_FFFFL, 0x8000_0000L),
                call("setFlowControl(none)", h -> D2XX.setFlowControl(h, FT_FLOW_NONE), "FT_SetFlowControl", 0, 0x11, 0x13),
                call("setFlowControl(RTS/CTS)", h -> D2XX.setFlowControl(h, FT_FLOW_RTS_CTS), "FT_SetFlowControl",
                        0x0100, 0x11, 0x13),
                call("setFlowControl(DTR/DSR)", h -> D2XX.setFlowControl(h, FT_FLOW_DTR_DSR), "FT_SetFlowControl",
                        0x0200, 0x11, 0x13),
                call("setFlowControl(XON/XOFF)", h -> D2XX.setFlowControl(h, FT_FLOW_XON_XOFF), "FT_SetFlowControl",
                        0x0400, 0x11, 0x13),
                call("setFlowControl(0x10100)", h -> D2XX.setFlowControl(h, 0x1_0100), "FT_SetFlowControl",
                        0x0100, 0x11, 0x13),
                call("setChars(0x0A on, 0x00 off)", h -> D2XX.setChars(h, (byte) 0x0A, true, (byte) 0x00, false),
                        "FT_SetChars", 0x0A, 1, 0x00, 0),
                call("setChars(0xE9 off, 0xFF on)", h -> D2XX.setChars(h, (byte) 0xE9, false, (byte) 0xFF, true),
                        "FT_SetChars", 0xE9, 0, 0xFF, 1),
                call("purge(RX|TX)", h -> D2XX.purge(h, FT_PURGE_RX | FT_PURGE_TX), "FT_Purge", 3),
                call("purge(-1)", h -> D2XX.purge(h, -1), "FT_Purge", 0xFFFF_FFFFL),
                call("setLatencyTimer(2)", h -> D2XX.setLatencyTimer(h, 2), "FT_SetLatencyTimer", 2),
                call("setLatencyTimer(300)", h -> D2XX.setLatencyTimer(h, 300), "FT_SetLatencyTimer", 44),
                call("setLatencyTimer(255)", h -> D2XX.setLatencyTimer(h, 255), "FT_SetLatencyTimer", 255),
                call("setUSBParameters(4096)", h -> D2XX.setUSBParameters(h, 4096), "FT_SetUSBParameters", 4096, 0),
                call("setUSBParameters(-64)", h -> D2XX.setUSBParameters(h, -64), "FT_SetUSBParameters",
                        0xFFFF_FFC0L, 0),
                call("setDTR(true)", h -> D2XX.setDTR(h, true), "FT_SetDtr"),
                call("setDTR(false)", h -> D2XX.setDTR(h, false), "FT_ClrDtr"),
                call("setRTS(true)", h -> D2XX.setRTS(h, true), "FT_SetRts"),
                call("setRTS(false)", h -> D2XX.setRTS(h, false), "FT_ClrRts"),
                call("setBreak(true)", h -> D2XX.setBreak(h, true), "FT_SetBreakOn"),
                call("setBreak(false)", h -> D2XX.setBreak(h, false), "FT_SetBreakOff"));
    }

    @ParameterizedTest(name = "{0} -> {1}")
    @MethodSource("settings")
    void argumentsReachTheDriverNarrowedAsDeclared(LongToIntFunction method, String function, long[] expectedArgs) {
        int before = callsOfAllDriverFunctions();

        method.applyAsInt(handle);

        assertEquals(1, calls(function), "calls of " + function);
        assertEquals(before + 1, callsOfAllDriverFunctions(), "one driver call in all");
        long[] args = lastArgs(function);
        assertEquals(handle, args[0], "handle");
        assertArrayEquals(expectedArgs, Arrays.copyOfRange(args, 1, args.length), "arguments after the handle");
    }

    @ParameterizedTest(name = "{0} -> {1}")
    @MethodSource("settings")
    void failingStatusComesBackNegated(LongToIntFunction method, String function, long[] expectedArgs) {
        SimulatedDriver.failNext(function, D2XXConstants.FT_IO_ERROR);
        assertEquals(-D2XXConstants.FT_IO_ERROR, method.applyAsInt(handle));
        SimulatedDriver.failNext(function, 0x7FFF_FFFF);
        assertEquals(-0x7FFF_FFFF, method.applyAsInt(handle));
    }

    @ParameterizedTest(name = "{0} -> {1}")
    @MethodSource("settings")
    void closedHandleIsRefused(LongToIntFunction method, String function, long[] expectedArgs) {
        assertEquals(0, D2XX.close(handle));
        assertEquals(-D2XXConstants.FT_INVALID_HANDLE, method.applyAsInt(handle));
    }

    @Test
    void acceptedSettingsReturnZeroAndTakeEffect() {
        assertEquals(0, D2XX.setBaudrate(handle, 115_200));
        assertEquals(0, D2XX.setDataCharacteristics(handle, FT_BITS_7, FT_STOP_BITS_2, FT_PARITY_EVEN));
        assertEquals(0, D2XX.setFlowControl(handle, FT_FLOW_RTS_CTS));
        assertEquals(0, D2XX.setTimeouts(handle, 250, 750));
        assertEquals(0, D2XX.setChars(handle, (byte) 0x0A, true, (byte) 0x3F, false));
        assertEquals(0, D2XX.setLatencyTimer(handle, 300));
        assertEquals(0, D2XX.setUSBParameters(handle, 512));
        assertEquals(0, D2XX.purge(handle, FT_PURGE_RX | FT_PURGE_TX));
        assertEquals(0, D2XX.setDTR(handle, true));
        assertEquals(0, D2XX.setRTS(handle, true));
        assertEquals(0, D2XX.setBreak(handle, true));

        var state = SimulatedDriver.state(device);
        assertEquals(115_200, state.baudRate());
        assertArrayEquals(new long[] {7, 2, 2}, new long[] {state.wordLength(), state.stopBits(), state.parity()});
        assertEquals(FT_FLOW_RTS_CTS, state.flowControl());
        assertArrayEquals(new long[] {250, 750}, new long[] {state.readTimeout(), state.writeTimeout()});
        assertArrayEquals(new long[] {0x0A, 1, 0x3F, 0},
                new long[] {state.eventChar(), state.eventCharEnabled(), state.errorChar(), state.errorCharEnabled()});
        assertEquals(44, state.latencyTimer());
        assertEquals(512, state.inTransferSize());
        assertArrayEquals(new long[] {1, 1}, new long[] {state.purgeRxCount(), state.purgeTxCount()});
        assertArrayEquals(new boolean[] {true, true, true}, new boolean[] {state.dtr(), state.rts(), state.breakOn()});
    }

    @Test
    void signalsFollowTheirSwitches() {
        SimulatedDriver.setLoopback(device, true);
        int lines = D2XXConstants.MODEM_STATUS_CTS | D2XXConstants.MODEM_STATUS_DSR;

        D2XX.setRTS(handle, true);
        D2XX.setDTR(handle, true);
        D2XX.setBreak(handle, true);
        assertEquals(lines, D2XX.getModemStatus(handle) & lines);
        assertEquals(D2XXConstants.LINE_STATUS_BREAK_INTERRUPT,
                D2XX.getModemStatus(handle) & D2XXConstants.LINE_STATUS_BREAK_INTERRUPT);

        D2XX.setRTS(handle, false);
        D2XX.setDTR(handle, false);
        D2XX.setBreak(handle, false);
        var state = SimulatedDriver.state(device);
        assertArrayEquals(new boolean[] {false, false, false}, new boolean[] {state.dtr(), state.rts(), state.breakOn()});
        assertEquals(0, D2XX.getModemStatus(handle) & (lines | D2XXConstants.LINE_STATUS_BREAK_INTERRUPT));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("rejectedValues")
    void valuesTheDriverRejectsReturnItsStatus(String call, LongToIntFunction method, int status) {
        assertEquals(-status, method.applyAsInt(handle));
    }

    static Stream<Arguments> rejectedValues() {
        return Stream.of(
                Arguments.of("setBaudrate(-9600)", (LongToIntFunction) h -> D2XX.setBaudrate(h, -9600),
                        D2XXConstants.FT_INVALID_BAUD_RATE),
                Arguments.of("setBaudrate(12000000) on a full-speed device",
                        (LongToIntFunction) h -> D2XX.setBaudrate(h, 12_000_000), D2XXConstants.FT_INVALID_BAUD_RATE),
                Arguments.of("setLatencyTimer(256), cut to 0", (LongToIntFunction) h -> D2XX.setLatencyTimer(h, 256),
                        D2XXConstants.FT_INVALID_PARAMETER));
    }
}
