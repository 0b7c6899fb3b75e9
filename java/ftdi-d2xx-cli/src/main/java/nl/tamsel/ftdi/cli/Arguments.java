package nl.tamsel.ftdi.cli;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;

/** A command's arguments: positional ones, {@code --name value} options and {@code --help}. */
final class Arguments {

    final List<String> positional = new ArrayList<>();
    final boolean help;
    private final Map<String, String> options = new HashMap<>();

    private Arguments(List<String> args, Set<String> optionNames) throws CommandFailure {
        boolean helpSeen = false;
        for (int i = 0; i < args.size(); i++) {
            String arg = args.get(i);
            if (arg.equals("--help") || arg.equals("-h")) {
                helpSeen = true;
            } else if (arg.startsWith("--")) {
                String name = arg.substring(2);
                if (!optionNames.contains(name)) {
                    throw usage("unknown option " + arg);
                }
                if (i + 1 == args.size()) {
                    throw usage("option " + arg + " needs a value");
                }
                options.put(name, args.get(++i));
            } else {
                positional.add(arg);
            }
        }
        help = helpSeen;
    }

    static Arguments parse(List<String> args, Set<String> optionNames) throws CommandFailure {
        return new Arguments(args, optionNames);
    }

    static CommandFailure usage(String message) {
        return new CommandFailure(ExitCode.USAGE, message);
    }

    /** Requires exactly the positional arguments a command takes. */
    void requirePositional(String... names) throws CommandFailure {
        if (positional.size() != names.length) {
            throw usage("expected " + (names.length == 0 ? "no arguments" : String.join(" ", names)) + ", got "
                    + (positional.isEmpty() ? "none" : String.join(" ", positional)));
        }
    }

    boolean has(String name) {
        return options.containsKey(name);
    }

    String option(String name, String otherwise) {
        return options.getOrDefault(name, otherwise);
    }

    int intOption(String name, int otherwise, int min, int max) throws CommandFailure {
        String text = options.get(name);
        if (text == null) {
            return otherwise;
        }
        try {
            int value = Integer.parseInt(text);
            if (value >= min && value <= max) {
                return value;
            }
        } catch (NumberFormatException e) {
            // Reported below with the allowed range.
        }
        throw usage("--" + name + " takes a whole number from " + min + " to " + max + ", not " + text);
    }

    /** An option that is a number, decimal or with 0x in hex, such as a pin mask. */
    int numberOption(String name, int otherwise, int min, int max) throws CommandFailure {
        String text = options.get(name);
        return text == null ? otherwise : number("--" + name, text, min, max);
    }

    /** A number, decimal or with 0x in hex (0x48, 72), from min to max. */
    static int number(String what, String text, int min, int max) throws CommandFailure {
        try {
            int value = Integer.decode(text);
            if (value >= min && value <= max) {
                return value;
            }
        } catch (NumberFormatException e) {
            // Reported below with the allowed range.
        }
        throw usage(String.format("%s is a number from %d to %d (0x%x), decimal or with 0x in hex, not %s", what,
                min, max, max, text));
    }

    /** Bytes written as hex digits, two per byte, optionally separated by spaces, ':' or ',' (9F000000). */
    static byte[] hexBytes(String what, String text) throws CommandFailure {
        String digits = text.replaceAll("[\\s:,]", "");
        if (digits.startsWith("0x") || digits.startsWith("0X")) {
            digits = digits.substring(2);
        }
        if (digits.isEmpty() || digits.length() % 2 != 0 || !digits.matches("[0-9a-fA-F]+")) {
            throw usage(what + " is bytes in hex, two digits each (such as 9F000000), not " + text);
        }
        byte[] bytes = new byte[digits.length() / 2];
        for (int i = 0; i < bytes.length; i++) {
            bytes[i] = (byte) Integer.parseInt(digits, 2 * i, 2 * i + 2, 16);
        }
        return bytes;
    }

    /** Bytes as people read them: hex pairs separated by spaces. */
    static String hex(byte[] bytes) {
        StringBuilder text = new StringBuilder();
        for (byte b : bytes) {
            text.append(text.length() == 0 ? "" : " ").append(String.format("%02x", b & 0xFF));
        }
        return text.toString();
    }
}
