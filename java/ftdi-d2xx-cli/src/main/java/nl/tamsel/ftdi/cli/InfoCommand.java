package nl.tamsel.ftdi.cli;

import java.io.PrintStream;
import java.util.List;
import java.util.Set;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.DeviceSelector;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.FtdiException;

/** Shows everything the driver reports about one device. */
final class InfoCommand implements Command {

    @Override
    public String name() {
        return "info";
    }

    @Override
    public String synopsis() {
        return "info <device>";
    }

    @Override
    public String help() {
        return "Shows what the driver reports about one device: its list entry, driver and library\n"
                + "versions, COM port, latency timer, modem lines and receive queue.\n";
    }

    @Override
    public Set<String> options() {
        return Set.of();
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, FtdiException {
        args.requirePositional("<device>");
        DeviceSelector selector = LineOptions.selector(args.positional.get(0));
        // The list entry is taken before opening, which would mark the device opened.
        List<DeviceInfo> devices = FtdiDevice.list();
        PrintStream out = output.out();
        try (FtdiDevice device = FtdiDevice.open(selector)) {
            line(out, "Device", selector.toString());
            for (int i = 0; i < devices.size(); i++) {
                DeviceInfo d = devices.get(i);
                if (selector.matches(d, i)) {
                    line(out, "Index", Integer.toString(i));
                    line(out, "Serial number", d.serialNumber());
                    line(out, "Description", d.description());
                    line(out, "Type", d.typeName());
                    line(out, "VID:PID", String.format("%04x:%04x", d.vendorId(), d.productId()));
                    line(out, "Location", String.format("0x%08x", d.locationId()));
                    line(out, "Flags", ListCommand.flags(d));
                    break;
                }
            }
            line(out, "Driver version", device.driverVersion().toString());
            line(out, "Library version", FtdiDevice.libraryVersion().toString());
            line(out, "COM port", device.comPort().isPresent() ? "COM" + device.comPort().getAsInt() : "none");
            line(out, "Latency timer", device.latencyTimer().toMillis() + " ms");
            line(out, "Modem status", device.modemStatus().toString());
            line(out, "Receive queue", device.bytesAvailable() + " bytes");
        }
    }

    private static void line(PrintStream out, String label, String value) {
        out.printf("%-16s %s%n", label, value);
    }
}
