package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.util.Set;
import nl.tamsel.ftdi.usb.BitBangPort;
import nl.tamsel.ftdi.usb.FtdiDevice;

/** Reads or drives a device's eight data pins in bit-bang mode. */
final class GpioCommand implements Command {

    @Override
    public String name() {
        return "gpio";
    }

    @Override
    public String synopsis() {
        return "gpio <device> [read | write <value> --directions <mask>]";
    }

    @Override
    public String help() {
        return "The device's eight data pins (D0..D7, or AD0..AD7) as general I/O, in asynchronous bit-bang.\n"
                + "  read           make every pin an input and show the levels (the default)\n"
                + "  write <value>  drive the output pins: bit n of <value> is pin n's level; the pins keep\n"
                + "                 their levels when the command ends\n"
                + "  --directions M with write: bit n set makes pin n an output (default 0xff)\n"
                + "Values and masks are decimal or 0x-prefixed hex.\n";
    }

    @Override
    public Set<String> options() {
        return Set.of("directions");
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        if (args.positional.isEmpty()) {
            args.requirePositional("<device>");
        }
        String action = args.positional.size() > 1 ? args.positional.get(1) : "read";
        if (action.equals("read")) {
            if (args.positional.size() > 2 || args.has("directions")) {
                throw Arguments.usage("gpio <device> read takes no value and no --directions");
            }
        } else if (action.equals("write")) {
            args.requirePositional("<device>", "write", "<value>");
        } else {
            throw Arguments.usage("gpio takes read or write, not " + action);
        }
        var selector = LineOptions.selector(args.positional.get(0));
        int directions = args.numberOption("directions", 0xFF, 0, 0xFF);
        int value = action.equals("write") ? Arguments.number("The value", args.positional.get(2), 0, 0xFF) : 0;
        try (FtdiDevice device = FtdiDevice.open(selector)) {
            if (action.equals("read")) {
                try (BitBangPort port = device.bitBang(0)) {
                    output.out().println("Pins " + pins(port.read()));
                }
            } else {
                // Not closed: closing would hand the pins back to the serial line and drop the levels.
                BitBangPort port = device.bitBang(directions);
                port.write(value);
                output.out().printf("Drove %s, directions 0x%02x%n", pins(value & directions), directions);
            }
        }
    }

    /** Levels as hex and as bits, pin 7 first. */
    static String pins(int levels) {
        String bits = String.format("%8s", Integer.toBinaryString(levels & 0xFF)).replace(' ', '0');
        return String.format("0x%02x (D7..D0 %s)", levels & 0xFF, bits);
    }
}
