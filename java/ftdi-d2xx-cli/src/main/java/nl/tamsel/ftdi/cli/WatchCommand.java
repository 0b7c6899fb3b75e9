package nl.tamsel.ftdi.cli;

import java.io.PrintStream;
import java.time.Duration;
import java.time.Instant;
import java.time.LocalDateTime;
import java.time.ZoneId;
import java.time.format.DateTimeFormatter;
import java.util.Locale;
import java.util.Set;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import nl.tamsel.ftdi.usb.DeviceChange;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.DeviceWatcher;
import nl.tamsel.ftdi.usb.FtdiException;

/** Prints devices as they arrive and leave, with a timestamp, until stopped or for a while. */
final class WatchCommand implements Command {

    private static final DateTimeFormatter TIME = DateTimeFormatter.ofPattern("yyyy-MM-dd HH:mm:ss.SSS");
    private static final Pattern DURATION = Pattern.compile("(\\d{1,9})(ms|s|m|h)?");

    @Override
    public String name() {
        return "watch";
    }

    @Override
    public String synopsis() {
        return "watch [--for DURATION] [--period MS]";
    }

    @Override
    public String help() {
        return "Shows the devices there now, then each device that arrives or is removed, with the time,\n"
                + "until stopped (Ctrl-C). With --simulated, device SIMWATCH comes and goes every "
                + SimulatedDevices.COMING_AND_GOING.toSeconds() + " s.\n"
                + "  --for DURATION  stop after this long: 500ms, 30s, 5m, 1h (a plain number is seconds)\n"
                + "  --period MS     how often to rescan the device list (default "
                + DeviceWatcher.DEFAULT_PERIOD.toMillis() + ", at least " + DeviceWatcher.MIN_PERIOD.toMillis() + ")\n";
    }

    @Override
    public Set<String> options() {
        return Set.of("for", "period");
    }

    @Override
    public String device(Arguments args) {
        return null;
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, FtdiException {
        args.requirePositional();
        Duration limit = args.has("for") ? duration(args.option("for", "")) : null;
        Duration period = Duration.ofMillis(args.intOption("period", (int) DeviceWatcher.DEFAULT_PERIOD.toMillis(),
                (int) DeviceWatcher.MIN_PERIOD.toMillis(), 3_600_000));
        PrintStream out = output.out();
        boolean interrupted;
        try (SimulatedDevices.Script script = SimulatedDevices.installed() ? SimulatedDevices.startComingAndGoing() : null;
             DeviceWatcher watcher = DeviceWatcher.start(period, change -> print(out, change))) {
            out.printf("Watching the FTDI devices every %d ms %s%n", period.toMillis(),
                    limit == null ? "until stopped (Ctrl-C)" : "for " + describe(limit));
            Instant now = Instant.now();
            for (DeviceInfo device : watcher.devices()) {
                out.println(line(now, "present", device));
            }
            interrupted = waitFor(limit);
        }
        if (interrupted) {
            Thread.currentThread().interrupt();
        }
    }

    /**
     * Sleeps for the limit, or until interrupted, which stops the command as Ctrl-C would.
     *
     * @return whether it was interrupted
     */
    private static boolean waitFor(Duration limit) {
        try {
            Thread.sleep(limit == null ? Long.MAX_VALUE : limit.toMillis());
            return false;
        } catch (InterruptedException e) {
            return true;
        }
    }

    private static void print(PrintStream out, DeviceChange change) {
        out.println(line(change.time(), change.kind() == DeviceChange.Kind.ARRIVED ? "arrived" : "removed",
                change.device()));
    }

    static String line(Instant time, String what, DeviceInfo device) {
        String serial = device.serialNumber().isEmpty() ? "(no serial)" : device.serialNumber();
        return String.format(Locale.ROOT, "%s  %-7s  %-16s  loc 0x%08x  %-8s  \"%s\"",
                TIME.format(LocalDateTime.ofInstant(time, ZoneId.systemDefault())), what, serial,
                device.locationId(), device.typeName(), device.description());
    }

    static Duration duration(String text) throws CommandFailure {
        Matcher matcher = DURATION.matcher(text.trim().toLowerCase(Locale.ROOT));
        if (!matcher.matches()) {
            throw Arguments.usage("--for takes a duration such as 500ms, 30s, 5m or 1h, not " + text);
        }
        long amount = Long.parseLong(matcher.group(1));
        String unit = matcher.group(2) == null ? "s" : matcher.group(2);
        return switch (unit) {
            case "ms" -> Duration.ofMillis(amount);
            case "m" -> Duration.ofMinutes(amount);
            case "h" -> Duration.ofHours(amount);
            default -> Duration.ofSeconds(amount);
        };
    }

    private static String describe(Duration limit) {
        return limit.toMillis() % 1000 == 0 ? limit.toSeconds() + " s" : limit.toMillis() + " ms";
    }
}
