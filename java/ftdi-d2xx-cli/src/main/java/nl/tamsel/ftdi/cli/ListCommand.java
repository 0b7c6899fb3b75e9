package nl.tamsel.ftdi.cli;

import java.util.List;
import java.util.Set;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.FtdiException;

/** Lists the attached devices as a table. */
final class ListCommand implements Command {

    private static final String ROW = "%-3s %-16s %-32s %-9s %-9s %-10s %s%n";

    @Override
    public String name() {
        return "list";
    }

    @Override
    public String synopsis() {
        return "list";
    }

    @Override
    public String help() {
        return "Lists the devices the driver sees: index, serial number, description, type, USB IDs,\n"
                + "location and flags. The index, serial number, description or location opens one.\n";
    }

    @Override
    public Set<String> options() {
        return Set.of();
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, FtdiException {
        args.requirePositional();
        List<DeviceInfo> devices = FtdiDevice.list();
        if (devices.isEmpty()) {
            output.out().println("No devices found.");
            return;
        }
        output.out().printf(ROW, "#", "Serial", "Description", "Type", "VID:PID", "Location", "Flags");
        for (int i = 0; i < devices.size(); i++) {
            DeviceInfo d = devices.get(i);
            output.out().printf(ROW, i, d.serialNumber(), d.description(), d.typeName(),
                    String.format("%04x:%04x", d.vendorId(), d.productId()), String.format("0x%08x", d.locationId()),
                    flags(d));
        }
    }

    static String flags(DeviceInfo d) {
        String flags = (d.isOpen() ? "opened " : "") + (d.isHighSpeed() ? "hi-speed" : "");
        return flags.isEmpty() ? "-" : flags.trim();
    }
}
