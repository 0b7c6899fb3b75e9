package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.function.Function;
import java.util.stream.Collectors;
import nl.tamsel.ftdi.sim.SimulatedDevice;
import nl.tamsel.ftdi.usb.FtdiException;

/**
 * The command-line tool: {@code java -jar ftdi-d2xx.jar [--simulated] <command> ...}.
 *
 * <table>
 *   <caption>Commands</caption>
 *   <tr><td>{@code list}</td><td>a table of the attached devices</td></tr>
 *   <tr><td>{@code info <device>}</td><td>everything the driver reports about one device</td></tr>
 *   <tr><td>{@code loopback <device>}</td><td>a byte-exact self-test through a device whose TX is
 *       wired to its RX, with the throughput</td></tr>
 *   <tr><td>{@code send <device> <file>}</td><td>sends a file</td></tr>
 *   <tr><td>{@code receive <device> <file>}</td><td>receives into a file</td></tr>
 *   <tr><td>{@code i2c scan|read|write <device> ...}</td><td>an I2C bus on the MPSSE pins</td></tr>
 *   <tr><td>{@code spi transfer <device> <hexbytes>}</td><td>one SPI frame on the MPSSE pins</td></tr>
 *   <tr><td>{@code jtag scan|shift <device> ...}</td><td>a JTAG chain's devices, or shifts through its
 *       registers, on the MPSSE pins</td></tr>
 *   <tr><td>{@code gpio <device> [read|write ...]}</td><td>the data pins in bit-bang mode</td></tr>
 *   <tr><td>{@code eeprom <device> read|write|erase|user-area}</td><td>the configuration EEPROM</td></tr>
 *   <tr><td>{@code events <device>}</td><td>waits for a device event</td></tr>
 *   <tr><td>{@code watch [--for DURATION]}</td><td>shows devices arriving and leaving until stopped</td></tr>
 * </table>
 *
 * <p>{@code <device>} is a list index, {@code serial:XYZ}, {@code desc:...}, {@code loc:0x...} or
 * a plain serial number (see {@link nl.tamsel.ftdi.usb.DeviceSelector}). {@code --help} works
 * on every command. {@code --simulated} runs against the simulated driver this jar carries, with
 * three loopback devices and an FT2232H whose channel A has an I2C sensor at 0x48 and an I2C
 * EEPROM at 0x50 and whose channel B has an SPI flash, and an FT232H (serial FT232HJT) wired to a JTAG
 * chain of three devices; {@code --trace FILE.vcd} then writes the
 * waveform of the pins of the device the command uses. On a terminal, send, receive and loopback
 * show a progress bar.
 *
 * <table>
 *   <caption>Exit codes</caption>
 *   <tr><td>0</td><td>success</td></tr>
 *   <tr><td>1</td><td>the driver or a device failed, or the native code could not be loaded</td></tr>
 *   <tr><td>2</td><td>the command line is wrong</td></tr>
 *   <tr><td>3</td><td>loopback: the bytes that came back differ from those sent, or did not all come back</td></tr>
 *   <tr><td>4</td><td>a local file could not be read or written</td></tr>
 *   <tr><td>5</td><td>send or receive: the device stopped taking or sending bytes before the end</td></tr>
 *   <tr><td>6</td><td>i2c: a target did not acknowledge its address or a byte</td></tr>
 *   <tr><td>7</td><td>jtag svf: bits captured from TDO differ from the SVF file's (2: the file is malformed)</td></tr>
 * </table>
 */
public final class Main {

    private static final List<Command> COMMANDS = List.of(new ListCommand(), new InfoCommand(),
            new LoopbackCommand(), new SendCommand(), new ReceiveCommand(), new I2cCommand(), new SpiCommand(),
            new JtagCommand(), new GpioCommand(), new EepromCommand(), new EventsCommand(),
            new WatchCommand());
    private static final Map<String, Command> BY_NAME = COMMANDS.stream()
            .collect(Collectors.toMap(Command::name, Function.identity()));

    private Main() {
    }

    /**
     * Runs the tool and exits with its exit code.
     *
     * @param args the command line
     */
    public static void main(String[] args) {
        System.exit(run(args, System.out, System.err, System.console() != null));
    }

    /**
     * Runs the tool without exiting.
     *
     * @param args     the command line
     * @param out      where reports go
     * @param err      where errors, and on a terminal the progress bar, go
     * @param terminal whether a person is watching, which brings the progress bar
     * @return the exit code
     */
    static int run(String[] args, PrintStream out, PrintStream err, boolean terminal) {
        List<String> rest = new ArrayList<>(Arrays.asList(args));
        boolean simulated = rest.remove("--simulated");
        int traceAt = rest.indexOf("--trace");
        Path trace = null;
        if (traceAt >= 0) {
            if (traceAt + 1 == rest.size() || !simulated) {
                err.println(traceAt + 1 == rest.size() ? "--trace needs a file name, such as bus.vcd"
                        : "--trace records the simulated bus's waveform, so it needs --simulated");
                return ExitCode.USAGE.code;
            }
            trace = Path.of(rest.remove(traceAt + 1));
            rest.remove(traceAt);
        }
        if (rest.isEmpty() || rest.get(0).equals("--help") || rest.get(0).equals("-h")) {
            (rest.isEmpty() ? err : out).print(usage());
            return (rest.isEmpty() ? ExitCode.USAGE : ExitCode.OK).code;
        }
        Command command = BY_NAME.get(rest.get(0));
        if (command == null) {
            err.println("Unknown command: " + rest.get(0));
            err.print(usage());
            return ExitCode.USAGE.code;
        }
        try {
            Arguments arguments = Arguments.parse(rest.subList(1, rest.size()), command.options());
            if (arguments.help) {
                out.print(help(command));
                return ExitCode.OK.code;
            }
            if (simulated) {
                SimulatedDevices.install();
            }
            SimulatedDevice traced = trace == null ? null : SimulatedDevices.startTrace(command.device(arguments));
            try {
                command.run(arguments, new Command.Output(out, terminal ? err : null));
            } finally {
                // Also after a failure: the waveform shows what went wrong on the bus.
                if (traced != null) {
                    SimulatedDevices.writeTrace(traced, trace);
                }
            }
            return ExitCode.OK.code;
        } catch (CommandFailure e) {
            err.println(e.getMessage());
            if (e.exitCode == ExitCode.USAGE) {
                err.println("Usage: " + command.synopsis() + "   (--help for more)");
            }
            return e.exitCode.code;
        } catch (IOException e) {
            err.println(e instanceof FtdiException ? e.getMessage() : "Device error: " + e);
            return ExitCode.DEVICE_ERROR.code;
        } catch (IllegalArgumentException e) {
            err.println(e.getMessage());
            return ExitCode.USAGE.code;
        } catch (UnsatisfiedLinkError e) {
            err.println("Cannot load the native code: " + e.getMessage());
            return ExitCode.DEVICE_ERROR.code;
        }
    }

    private static String help(Command command) {
        return "Usage: java -jar ftdi-d2xx.jar [--simulated] " + command.synopsis() + "\n\n" + command.help()
                + "\n<device> is an index, serial:XYZ, desc:..., loc:0x... or a plain serial number.\n";
    }

    static String usage() {
        StringBuilder text = new StringBuilder("Usage: java -jar ftdi-d2xx.jar [--simulated [--trace FILE.vcd]]"
                + " <command> [arguments]\n\nCommands:\n");
        for (Command command : COMMANDS) {
            text.append("  ").append(command.synopsis()).append('\n');
        }
        text.append("\n<device> is an index, serial:XYZ, desc:..., loc:0x... or a plain serial number.\n"
                + "--simulated runs against the simulated driver in this jar, with three loopback devices and an\n"
                + "  FT2232H: an I2C sensor at 0x48 and an EEPROM at 0x50 on channel A, an SPI flash on channel B;\n"
                + "  and an FT232H, serial FT232HJT, wired to a JTAG chain of three devices.\n"
                + "--trace FILE.vcd (with --simulated) writes the waveform of the device's pins during the command.\n"
                + "<command> --help explains a command.\n\nExit codes:\n");
        for (ExitCode code : ExitCode.values()) {
            text.append("  ").append(code.code).append("  ").append(code.meaning).append('\n');
        }
        return text.toString();
    }
}
