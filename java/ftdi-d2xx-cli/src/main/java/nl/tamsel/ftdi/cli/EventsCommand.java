package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.time.Duration;
import java.util.EnumSet;
import java.util.Set;
import nl.tamsel.ftdi.usb.DeviceEvent;
import nl.tamsel.ftdi.usb.FtdiDevice;

/** Waits for a device event: bytes received, a modem line change or a line error. */
final class EventsCommand implements Command {

    @Override
    public String name() {
        return "events";
    }

    @Override
    public String synopsis() {
        return "events <device> [--timeout MS]";
    }

    @Override
    public String help() {
        return "Waits, without polling, until the device reports an event: bytes received, a modem\n"
                + "line (CTS, DSR, RI, DCD) changed, or a line error; then shows it and the receive queue.\n"
                + "  --timeout MS   how long to wait (default 10000)\n";
    }

    @Override
    public Set<String> options() {
        return Set.of("timeout");
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        args.requirePositional("<device>");
        var selector = LineOptions.selector(args.positional.get(0));
        Duration timeout = Duration.ofMillis(args.intOption("timeout", 10_000, 0,
                Integer.MAX_VALUE));
        try (FtdiDevice device = FtdiDevice.open(selector)) {
            Set<DeviceEvent> events = device.awaitEvent(EnumSet.allOf(DeviceEvent.class), timeout);
            if (events.isEmpty()) {
                output.out().printf("No event within %d ms%n", timeout.toMillis());
            } else {
                output.out().printf("Events: %s; receive queue %d bytes%n", events, device.bytesAvailable());
            }
        }
    }
}
