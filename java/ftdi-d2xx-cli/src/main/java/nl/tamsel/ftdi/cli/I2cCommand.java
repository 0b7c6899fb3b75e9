package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.time.Duration;
import java.util.Arrays;
import java.util.Set;
import java.util.stream.Collectors;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.I2cAddress;
import nl.tamsel.ftdi.usb.I2cConfig;
import nl.tamsel.ftdi.usb.I2cMaster;
import nl.tamsel.ftdi.usb.I2cNackException;
import nl.tamsel.ftdi.usb.I2cSpeed;

/** Scans, reads and writes an I2C bus through a device's MPSSE engine. */
final class I2cCommand implements Command {

    private static final int MAX_COUNT = 65_536;
    /** How long write waits for the target to acknowledge again (an EEPROM's write cycle is 5 to 10 ms). */
    private static final int DEFAULT_ACK_TIMEOUT_MILLIS = 1000;

    @Override
    public String name() {
        return "i2c";
    }

    @Override
    public String synopsis() {
        return "i2c scan|read|write <device> ... [--frequency HZ]";
    }

    @Override
    public String help() {
        return "Runs an I2C bus on the device's MPSSE pins (AD0 SCL, AD1 and AD2 SDA, with pull-ups).\n"
                + "  i2c scan <device>                              the addresses 0x08 to 0x77 that answer\n"
                + "  i2c read <device> <address> [register] <count> read bytes, from a register when given\n"
                + "  i2c write <device> <address> <hexbytes>        write bytes, such as 00ff (register 0, 0xff)\n"
                + "Addresses and registers are decimal or 0x-prefixed hex (0x48). A target that does not\n"
                + "acknowledge its address or a byte ends the command with exit code 6.\n"
                + "After a write the command waits until the target acknowledges its address again (an\n"
                + "EEPROM ignores it while it stores the bytes), so the next command finds it ready.\n"
                + "  --frequency HZ SCL: 100000 (default), 400000 or 1000000\n"
                + "  --ack-timeout MS   how long write waits for that acknowledgement (default "
                + DEFAULT_ACK_TIMEOUT_MILLIS + ")\n";
    }

    @Override
    public Set<String> options() {
        return Set.of("frequency", "ack-timeout");
    }

    @Override
    public String device(Arguments args) {
        return args.positional.size() > 1 ? args.positional.get(1) : null;
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        String action = args.positional.isEmpty() ? "" : args.positional.get(0);
        switch (action) {
            case "scan" -> args.requirePositional("scan", "<device>");
            case "read" -> {
                if (args.positional.size() != 4 && args.positional.size() != 5) {
                    args.requirePositional("read", "<device>", "<address>", "[register]", "<count>");
                }
            }
            case "write" -> args.requirePositional("write", "<device>", "<address>", "<hexbytes>");
            default -> throw Arguments.usage("i2c takes scan, read or write, not "
                    + (action.isEmpty() ? "nothing" : action));
        }
        I2cConfig config = I2cConfig.of(speed(args.intOption("frequency", 100_000, 1, Integer.MAX_VALUE)));
        Duration ackTimeout = Duration.ofMillis(args.intOption("ack-timeout", DEFAULT_ACK_TIMEOUT_MILLIS, 0, 60_000));
        var selector = LineOptions.selector(args.positional.get(1));
        if (action.equals("scan")) {
            try (FtdiDevice device = FtdiDevice.open(selector); I2cMaster i2c = device.i2cMaster(config)) {
                scan(i2c, output);
            }
            return;
        }
        I2cAddress address = I2cAddress.of(Arguments.number("The address", args.positional.get(2), 0, 0x7F));
        boolean fromRegister = args.positional.size() == 5;
        int register = fromRegister ? Arguments.number("The register", args.positional.get(3), 0, 0xFF) : -1;
        int count = action.equals("read")
                ? Arguments.number("The count", args.positional.get(args.positional.size() - 1), 1, MAX_COUNT) : 0;
        byte[] data = action.equals("write") ? Arguments.hexBytes("<hexbytes>", args.positional.get(3)) : null;
        try (FtdiDevice device = FtdiDevice.open(selector); I2cMaster i2c = device.i2cMaster(config)) {
            if (data != null) {
                i2c.write(address, data);
                try {
                    i2c.awaitAcknowledge(address, ackTimeout);
                } catch (I2cNackException busy) {
                    throw new CommandFailure(ExitCode.NACK, "Wrote " + data.length + " byte" + (data.length == 1 ? "" : "s")
                            + " to " + address + ", but it did not acknowledge again within " + ackTimeout.toMillis()
                            + " ms (still busy, or gone): raise --ack-timeout");
                }
                output.out().printf("Wrote %d byte%s to %s%n", data.length, data.length == 1 ? "" : "s", address);
            } else {
                byte[] bytes = fromRegister ? i2c.readRegisters(address, register, count) : i2c.read(address, count);
                output.out().println(Arguments.hex(bytes));
            }
        } catch (I2cNackException e) {
            throw new CommandFailure(ExitCode.NACK, e.getMessage());
        }
    }

    private static void scan(I2cMaster i2c, Output output) throws IOException {
        int[] found = i2c.scan();
        if (found.length == 0) {
            output.out().printf("No I2C target answered (0x%02x to 0x%02x).%n", I2cMaster.SCAN_FIRST,
                    I2cMaster.SCAN_LAST);
        } else {
            output.out().println("I2C targets that answered: " + Arrays.stream(found)
                    .mapToObj(a -> String.format("0x%02x", a)).collect(Collectors.joining(" ")));
        }
    }

    private static I2cSpeed speed(int hz) throws CommandFailure {
        for (I2cSpeed speed : I2cSpeed.values()) {
            if (speed.hz() == hz) {
                return speed;
            }
        }
        throw Arguments.usage("--frequency takes 100000, 400000 or 1000000 for I2C, not " + hz);
    }
}
