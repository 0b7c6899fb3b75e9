package nl.tamsel.ftdi.usb.reliability;

import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PURGE_RX;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;

import java.util.Arrays;
import java.util.List;
import java.util.function.LongFunction;
import java.util.stream.Collectors;
import java.util.stream.IntStream;
import java.util.stream.Stream;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import nl.tamsel.ftdi.usb.D2XX;
import nl.tamsel.ftdi.usb.D2XXModes;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Every driver function the bridge and the modes library call, failing with every published status and with values
 * no driver publishes: the Java caller always sees a failure (a negative number, or a null
 * device list), never a success, and the device works normally afterwards.
 */
class DriverStatusFaultTest {

    private static final String SERIAL = "FAULT1";
    private static final int LOCATION = 0x300;
    private static final byte SENTINEL = 0x5A;

    /** A driver function and a native method that reaches it, given an open handle. */
    record Reach(String function, String method, LongFunction<Object> call) {
        @Override
        public String toString() {
            return method + " -> " + function;
        }
    }

    private static final byte[] READ_BUFFER = new byte[16];

    private static final List<Reach> REACHES = List.of(
            new Reach("FT_Open", "openByIndex", h -> D2XX.openByIndex(0)),
            new Reach("FT_OpenEx", "openBySerialNumber", h -> D2XX.openBySerialNumber(SERIAL)),
            new Reach("FT_OpenEx", "openByDescription", h -> D2XX.openByDescription("Loopback " + SERIAL)),
            new Reach("FT_OpenEx", "openByLocationId", h -> D2XX.openByLocationId(LOCATION)),
            new Reach("FT_Close", "close", D2XX::close),
            new Reach("FT_ResetDevice", "reset", D2XX::reset),
            new Reach("FT_Read", "read", h -> D2XX.read(h, READ_BUFFER, 4, 8)),
            new Reach("FT_Write", "write", h -> D2XX.write(h, new byte[300], 0, 300)),
            new Reach("FT_SetBaudRate", "setBaudrate", h -> D2XX.setBaudrate(h, 115_200)),
            new Reach("FT_SetDataCharacteristics", "setDataCharacteristics", h -> D2XX.setDataCharacteristics(h, 8, 0, 0)),
            new Reach("FT_SetFlowControl", "setFlowControl", h -> D2XX.setFlowControl(h, 0)),
            new Reach("FT_SetDtr", "setDTR(true)", h -> D2XX.setDTR(h, true)),
            new Reach("FT_ClrDtr", "setDTR(false)", h -> D2XX.setDTR(h, false)),
            new Reach("FT_SetRts", "setRTS(true)", h -> D2XX.setRTS(h, true)),
            new Reach("FT_ClrRts", "setRTS(false)", h -> D2XX.setRTS(h, false)),
            new Reach("FT_GetModemStatus", "getModemStatus", D2XX::getModemStatus),
            new Reach("FT_SetChars", "setChars", h -> D2XX.setChars(h, (byte) 0x0A, true, (byte) 0, false)),
            new Reach("FT_Purge", "purge", h -> D2XX.purge(h, 3)),
            new Reach("FT_SetTimeouts", "setTimeouts", h -> D2XX.setTimeouts(h, 100, 100)),
            new Reach("FT_GetQueueStatus", "getQueueStatus", D2XX::getQueueStatus),
            new Reach("FT_SetBreakOn", "setBreak(true)", h -> D2XX.setBreak(h, true)),
            new Reach("FT_SetBreakOff", "setBreak(false)", h -> D2XX.setBreak(h, false)),
            new Reach("FT_SetLatencyTimer", "setLatencyTimer", h -> D2XX.setLatencyTimer(h, 4)),
            new Reach("FT_GetLatencyTimer", "getLatencyTimer", D2XX::getLatencyTimer),
            new Reach("FT_SetUSBParameters", "setUSBParameters", h -> D2XX.setUSBParameters(h, 4096)),
            new Reach("FT_CreateDeviceInfoList", "createDeviceInfoList", h -> D2XX.createDeviceInfoList()),
            new Reach("FT_GetDeviceInfoList", "createDeviceInfoList", h -> D2XX.createDeviceInfoList()),
            new Reach("FT_GetDriverVersion", "getDriverVersion", D2XX::getDriverVersion),
            new Reach("FT_GetLibraryVersion", "getLibraryVersion", h -> D2XX.getLibraryVersion()),
            new Reach("FT_GetComPortNumber", "getComPortNumber", D2XX::getComPortNumber),
            new Reach("FT_SetBitMode", "setBitMode", h -> D2XXModes.setBitMode(h, 0xFF, 1)),
            new Reach("FT_GetBitMode", "getBitMode", D2XXModes::getBitMode),
            new Reach("FT_GetDeviceInfo", "getDeviceInfo", h -> D2XXModes.getDeviceInfo(h, new int[2], new byte[16],
                    new byte[64])),
            new Reach("FT_GetStatus", "getStatus", h -> D2XXModes.getStatus(h, new int[3])),
            new Reach("FT_ReadEE", "readEE", h -> D2XXModes.readEE(h, 0)),
            new Reach("FT_WriteEE", "writeEE", h -> D2XXModes.writeEE(h, 0x3F, 0x1234)),
            new Reach("FT_EraseEE", "eraseEE", D2XXModes::eraseEE),
            new Reach("FT_EE_UASize", "eeUASize", D2XXModes::eeUASize),
            new Reach("FT_EE_UARead", "eeUARead", h -> D2XXModes.eeUARead(h, READ_BUFFER, 4, 8)),
            new Reach("FT_EE_UAWrite", "eeUAWrite", h -> D2XXModes.eeUAWrite(h, new byte[4], 0, 4)),
            new Reach("FT_SetEventNotification", "setEventNotification", h -> D2XXModes.setEventNotification(h, 0, 0)),
            new Reach("FT_ResetPort", "resetPort", D2XXModes::resetPort),
            new Reach("FT_CyclePort", "cyclePort", D2XXModes::cyclePort));

    /** The published statuses 1 to 19, and values beyond them up to the largest 32-bit word. */
    private static final int[] STATUSES = IntStream.concat(IntStream.rangeClosed(1, 19),
            IntStream.of(20, 0x7FFF_FFFF, 0x8000_0000, 0x8000_0001, 0xFFFF_FFFE, 0xFFFF_FFFF)).toArray();

    private long handle;

    @BeforeEach
    void openLoopbackDeviceWithBytesWaiting() {
        SimulatedDriver.reset();
        int device = LoopbackDevices.attach(SERIAL, LOCATION);
        handle = LoopbackDevices.open(SERIAL);
        SimulatedDriver.inject(device, new byte[] {1, 2, 3, 4, 5, 6, 7, 8});
        Arrays.fill(READ_BUFFER, SENTINEL);
    }

    @AfterEach
    void closeStillOpenHandle() {
        assertEquals(0, D2XX.close(handle), "the handle survived the failure");
    }

    @Test
    void everyDriverFunctionIsReached() {
        assertEquals(SimulatedDriver.DRIVER_FUNCTIONS, REACHES.stream().map(Reach::function).collect(Collectors.toSet()));
    }

    static Stream<Arguments> everyCallFailingWithEveryStatus() {
        return REACHES.stream().flatMap(reach -> Arrays.stream(STATUSES).mapToObj(s -> Arguments.of(reach, s)));
    }

    @ParameterizedTest(name = "{0} fails with status {1}")
    @MethodSource
    void everyCallFailingWithEveryStatus(Reach reach, int status) {
        int callsBefore = SimulatedDriver.callCount(reach.function());
        SimulatedDriver.failNext(reach.function(), status);

        Object result = reach.call().apply(handle);

        assertEquals(callsBefore + 1, SimulatedDriver.callCount(reach.function()), "the failing call reached the driver");
        if (reach.method().equals("createDeviceInfoList")) {
            assertNull(result);
        } else {
            long value = ((Number) result).longValue();
            assertEquals(expectedResult(status), value, "result for status " + Integer.toUnsignedString(status, 16));
        }
        byte[] untouched = new byte[READ_BUFFER.length];
        Arrays.fill(untouched, SENTINEL);
        assertArrayEquals(untouched, READ_BUFFER, "a failed read copies nothing");
        assertStillEchoes();
    }

    /** Minus the status while that is negative; the most negative int for statuses beyond 2^31. */
    private static long expectedResult(int status) {
        return Integer.compareUnsigned(status, Integer.MIN_VALUE) <= 0 ? -status : Integer.MIN_VALUE;
    }

    private void assertStillEchoes() {
        assertEquals(0, D2XX.purge(handle, FT_PURGE_RX));
        byte[] sent = {9, 8, 7, 6, 5};
        assertEquals(sent.length, D2XX.write(handle, sent, 0, sent.length));
        byte[] received = new byte[sent.length];
        assertEquals(sent.length, D2XX.read(handle, received, 0, received.length));
        assertArrayEquals(sent, received);
    }
}
