package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.io.PrintStream;
import java.util.Set;

/** One command of the tool. */
interface Command {

    /** Where a command writes: its report, and a terminal for progress (null when there is none). */
    record Output(PrintStream out, PrintStream progress) {
    }

    String name();

    /** The command line, such as "info &lt;device&gt;". */
    String synopsis();

    /** What the command does and what its options mean, one or more lines. */
    String help();

    /** The names of the options that take a value, without their dashes. */
    Set<String> options();

    /** The argument that names the device the command uses, or null when it names none. */
    default String device(Arguments args) {
        return args.positional.isEmpty() ? null : args.positional.get(0);
    }

    void run(Arguments args, Output output) throws CommandFailure, IOException;
}
