package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.util.HashSet;
import java.util.Locale;
import java.util.Set;
import nl.tamsel.ftdi.usb.DataBits;
import nl.tamsel.ftdi.usb.DeviceSelector;
import nl.tamsel.ftdi.usb.FlowControl;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.Parity;
import nl.tamsel.ftdi.usb.StopBits;

/**
 * The device a command names and how to set up its serial line, read from the command line
 * before anything else is touched, so that a usage error is reported as one.
 */
record LineOptions(DeviceSelector device, int baudRate, FlowControl flowControl) {

    static final String HELP = "  --baud N       baud rate (default 115200); 8 data bits, no parity, 1 stop bit\n"
            + "  --flow F       flow control: none (default), rts-cts, dtr-dsr, xon-xoff\n";

    /** The names of a command's options: these two and the command's own. */
    static Set<String> namesWith(String... commandOptions) {
        Set<String> names = new HashSet<>(Set.of("baud", "flow"));
        names.addAll(Set.of(commandOptions));
        return names;
    }

    static LineOptions of(String device, Arguments args) throws CommandFailure {
        return new LineOptions(selector(device), args.intOption("baud", 115_200, 1, FtdiDevice.MAX_BAUD_RATE),
                flowControl(args.option("flow", "none")));
    }

    static DeviceSelector selector(String text) throws CommandFailure {
        try {
            return DeviceSelector.parse(text);
        } catch (IllegalArgumentException e) {
            throw Arguments.usage(e.getMessage());
        }
    }

    private static FlowControl flowControl(String text) throws CommandFailure {
        try {
            return FlowControl.valueOf(text.toUpperCase(Locale.ROOT).replace('-', '_'));
        } catch (IllegalArgumentException e) {
            throw Arguments.usage("--flow takes none, rts-cts, dtr-dsr or xon-xoff, not " + text);
        }
    }

    /** Opens the device and sets up its line; the caller closes it. */
    FtdiDevice open() throws IOException {
        FtdiDevice opened = FtdiDevice.open(device);
        try {
            opened.setBaudRate(baudRate);
            opened.setDataCharacteristics(DataBits.EIGHT, StopBits.ONE, Parity.NONE);
            opened.setFlowControl(flowControl);
            return opened;
        } catch (IOException | RuntimeException e) {
            opened.close();
            throw e;
        }
    }
}
