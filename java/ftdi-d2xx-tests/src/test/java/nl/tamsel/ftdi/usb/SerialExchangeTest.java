package nl.tamsel.ftdi.usb;

import static nl.tamsel.ftdi.usb.D2XXConstants.FT_BITS_8;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLAGS_OPENED;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_FLOW_RTS_CTS;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PARITY_NONE;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PURGE_RX;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_PURGE_TX;
import static nl.tamsel.ftdi.usb.D2XXConstants.FT_STOP_BITS_1;
import static nl.tamsel.ftdi.usb.D2XXConstants.MODEM_STATUS_CTS;
import static nl.tamsel.ftdi.usb.D2XXConstants.MODEM_STATUS_DSR;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import nl.tamsel.ftdi.sim.SimulatedDriver;
import org.junit.jupiter.api.Test;

/** A complete exchange on a loopback device, from enumeration to close, as an application does it. */
class SerialExchangeTest extends SimulatedDriverTestBase {

    @Test
    void messageSentToALoopbackDeviceComesBack() {
        SimulatedDriver.addDevice(0, D2XXConstants.FT_DEVICE_232R, FT232R_ID, 0x0111, "A10KZP3M", "FT232R USB UART");
        SimulatedDriver.addDevice(D2XXConstants.FT_FLAGS_HISPEED, D2XXConstants.FT_DEVICE_232H, FT232H_ID, 0x0213,
                "FT7XQ2B9", "UM232H Single RS232-HS");

        DeviceInfo[] devices = D2XX.createDeviceInfoList();
        assertNotNull(devices);
        DeviceInfo target = Arrays.stream(devices).filter(d -> d.productId() == 0x6014).findFirst().orElseThrow();
        assertEquals(0x0403, target.vendorId());

        long handle = D2XX.openBySerialNumber(target.serialNumber());
        assertTrue(handle > 0, "open failed with status " + -handle);
        try {
            assertEquals(0, D2XX.setBaudrate(handle, 3_000_000));
            assertEquals(0, D2XX.setDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE));
            assertEquals(0, D2XX.setFlowControl(handle, FT_FLOW_RTS_CTS));
            assertEquals(0, D2XX.setTimeouts(handle, 1000, 1000));
            assertEquals(0, D2XX.setLatencyTimer(handle, 2));
            assertEquals(0, D2XX.purge(handle, FT_PURGE_RX | FT_PURGE_TX));
            assertEquals(0, D2XX.setDTR(handle, true));
            assertEquals(0, D2XX.setRTS(handle, true));

            DeviceInfo opened = D2XX.createDeviceInfoList()[1];
            assertEquals(handle, opened.handle());
            assertEquals(FT_FLAGS_OPENED, opened.flags() & FT_FLAGS_OPENED);

            byte[] request = "AT+VERSION?\r\n".getBytes(StandardCharsets.US_ASCII);
            assertEquals(request.length, D2XX.write(handle, request, 0, request.length));
            assertEquals(request.length, D2XX.getQueueStatus(handle));

            byte[] response = new byte[64];
            int received = 0;
            while (received < request.length) {
                int n = D2XX.read(handle, response, received, request.length - received);
                assertTrue(n > 0, "read returned " + n);
                received += n;
            }
            assertEquals("AT+VERSION?\r\n", new String(response, 0, received, StandardCharsets.US_ASCII));
            assertEquals(0, D2XX.getQueueStatus(handle));

            int modem = D2XX.getModemStatus(handle);
            assertEquals(MODEM_STATUS_CTS | MODEM_STATUS_DSR, modem & (MODEM_STATUS_CTS | MODEM_STATUS_DSR));
        } finally {
            assertEquals(0, D2XX.close(handle));
        }
        assertEquals(0, D2XX.createDeviceInfoList()[1].handle());
    }
}
