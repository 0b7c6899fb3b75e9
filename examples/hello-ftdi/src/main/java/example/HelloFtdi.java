package example;

import java.nio.charset.StandardCharsets;
import java.time.Duration;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.usb.DataBits;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.Parity;
import nl.tamsel.ftdi.usb.StopBits;

/** Lists the devices, then sends "hello" through a simulated device that echoes it. */
public class HelloFtdi {
    public static void main(String[] args) throws Exception {
        // No hardware here: attach a simulated device that echoes what it is sent.
        SimulatedDevice.builder().serialNumber("DEMO0001").description("Demo").attach();

        for (DeviceInfo info : FtdiDevice.list()) {
            System.out.println(info);
        }
        try (FtdiDevice device = FtdiDevice.openBySerialNumber("DEMO0001")) {
            device.setBaudRate(115_200);
            device.setDataCharacteristics(DataBits.EIGHT, StopBits.ONE, Parity.NONE);
            device.setReadTimeout(Duration.ofSeconds(1));
            device.getOutputStream().write("hello".getBytes(StandardCharsets.US_ASCII));
            byte[] echo = device.getInputStream().readNBytes(5);
            System.out.println("echo: " + new String(echo, StandardCharsets.US_ASCII));
        }
    }
}
