package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.List;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.BeforeEach;

/**
 * Base of the tests that run through the bridge against the simulated driver: every test starts
 * with a driver that has no devices, no faults and no call records.
 */
abstract class SimulatedDriverTestBase {

    /** The driver functions the bridge calls, by the names the simulated driver records. */
    static final List<String> DRIVER_FUNCTIONS = List.of("FT_Open", "FT_Close", "FT_Read", "FT_Write",
            "FT_ResetDevice", "FT_SetBaudRate", "FT_SetDataCharacteristics", "FT_SetFlowControl", "FT_SetDtr",
            "FT_ClrDtr", "FT_SetRts", "FT_ClrRts", "FT_GetModemStatus", "FT_SetChars", "FT_Purge",
            "FT_SetTimeouts", "FT_GetQueueStatus", "FT_SetBreakOn", "FT_SetBreakOff", "FT_OpenEx",
            "FT_SetLatencyTimer", "FT_GetLatencyTimer", "FT_SetUSBParameters", "FT_CreateDeviceInfoList",
            "FT_GetDeviceInfoList", "FT_GetDriverVersion", "FT_GetLibraryVersion", "FT_GetComPortNumber");

    static final int FT232R_ID = 0x04036001;
    static final int FT232H_ID = 0x04036014;

    @BeforeEach
    final void resetSimulatedDriver() {
        SimulatedDriver.reset();
    }

    /** Attaches an FT232R-like device and returns its id in the simulated driver. */
    static int attach(String serialNumber, String description) {
        int device = SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, FT232R_ID, 0x1000 + serialNumber.length(),
                serialNumber.getBytes(StandardCharsets.UTF_8), description.getBytes(StandardCharsets.UTF_8));
        assertTrue(device >= 0, "the simulated driver refused the device");
        return device;
    }

    static int attach() {
        return attach("FT000001", "FT232R USB UART");
    }

    /** Opens the device by its list position and checks that the driver issued that handle. */
    static long open(int device) {
        long handle = D2XX.openByIndex(device);
        assertEquals(SimulatedDriver.handleOf(device), handle, "openByIndex(" + device + ")");
        return handle;
    }

    /** The arguments of the last call of a driver function, as the driver received them. */
    static long[] lastArgs(String function) {
        long[] args = SimulatedDriver.lastArgs(function);
        assertNotNull(args, function + " was never called");
        return args;
    }

    static int calls(String function) {
        return SimulatedDriver.callCount(function);
    }

    static int callsOfAllDriverFunctions() {
        return DRIVER_FUNCTIONS.stream().mapToInt(SimulatedDriver::callCount).sum();
    }

    static byte[] pattern(int length, int seed) {
        byte[] bytes = new byte[length];
        for (int i = 0; i < length; i++) {
            bytes[i] = (byte) (seed + i * 7);
        }
        return bytes;
    }

    static byte[] filled(int length, int value) {
        byte[] bytes = new byte[length];
        java.util.Arrays.fill(bytes, (byte) value);
        return bytes;
    }
}
