package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.io.PrintStream;
import java.util.Arrays;
import java.util.Set;
import nl.tamsel.ftdi.usb.DeviceType;
import nl.tamsel.ftdi.usb.Eeprom;
import nl.tamsel.ftdi.usb.FtdiDevice;

/** Reads, writes and erases a device's configuration EEPROM and its user area. */
final class EepromCommand implements Command {

    private static final int WORDS_PER_LINE = 8;
    private static final int BYTES_PER_LINE = 16;

    @Override
    public String name() {
        return "eeprom";
    }

    @Override
    public String synopsis() {
        return "eeprom <device> read|write|erase|user-area ...";
    }

    @Override
    public String help() {
        return "The device's configuration EEPROM, in 16-bit words, and its user area.\n"
                + "  eeprom <device> read [--words N]        show the words (default: the chip's usual size)\n"
                + "  eeprom <device> write <offset> <value>  write one word\n"
                + "  eeprom <device> erase                   erase everything, user area included\n"
                + "  eeprom <device> user-area [<hexbytes>]  show the user area, or write bytes at its start\n"
                + "Writing changes the device's IDs, strings and pin functions from its next plug-in on.\n"
                + "Offsets and values are decimal or 0x-prefixed hex.\n";
    }

    @Override
    public Set<String> options() {
        return Set.of("words");
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        String action = args.positional.size() > 1 ? args.positional.get(1) : "";
        switch (action) {
            case "read", "erase" -> args.requirePositional("<device>", action);
            case "write" -> args.requirePositional("<device>", "write", "<offset>", "<value>");
            case "user-area" -> {
                if (args.positional.size() != 3) {
                    args.requirePositional("<device>", "user-area");
                }
            }
            default -> {
                args.requirePositional("<device>", "read|write|erase|user-area");
                throw Arguments.usage("eeprom takes read, write, erase or user-area, not " + action);
            }
        }
        var selector = LineOptions.selector(args.positional.get(0));
        int words = args.numberOption("words", 0, 1, Eeprom.MAX_WORD_OFFSET + 1);
        int offset = action.equals("write") ? Arguments.number("The offset", args.positional.get(2), 0,
                Eeprom.MAX_WORD_OFFSET) : 0;
        int value = action.equals("write") ? Arguments.number("The value", args.positional.get(3), 0, 0xFFFF) : 0;
        byte[] userBytes = args.positional.size() == 3 && action.equals("user-area")
                ? Arguments.hexBytes("<hexbytes>", args.positional.get(2)) : null;
        PrintStream out = output.out();
        try (FtdiDevice device = FtdiDevice.open(selector)) {
            Eeprom eeprom = device.eeprom();
            switch (action) {
                case "read" -> dump(eeprom, words > 0 ? words : usualWords(device.details().type()), out);
                case "write" -> {
                    eeprom.writeWord(offset, value);
                    out.printf("Wrote 0x%04x to word %d%n", value, offset);
                }
                case "erase" -> {
                    eeprom.erase();
                    out.println("Erased the EEPROM");
                }
                default -> {
                    if (userBytes == null) {
                        byte[] area = eeprom.readUserArea();
                        out.printf("User area: %d bytes%n", area.length);
                        for (int line = 0; line < area.length; line += BYTES_PER_LINE) {
                            out.printf("%04x: %s%n", line, Arguments.hex(Arrays.copyOfRange(area, line,
                                    Math.min(area.length, line + BYTES_PER_LINE))));
                        }
                    } else {
                        eeprom.writeUserArea(userBytes);
                        out.printf("Wrote %d bytes to the user area%n", userBytes.length);
                    }
                }
            }
        }
    }

    private static void dump(Eeprom eeprom, int words, PrintStream out) throws IOException {
        for (int line = 0; line < words; line += WORDS_PER_LINE) {
            StringBuilder text = new StringBuilder(String.format("%04x:", line));
            for (int word = line; word < Math.min(words, line + WORDS_PER_LINE); word++) {
                text.append(String.format(" %04x", eeprom.readWord(word)));
            }
            out.println(text);
        }
    }

    /**
     * The EEPROM size such a chip usually has, in words: FT232R's internal 64, the X series' 2 KiB,
     * the 93C56 of H chips; others usually carry a 93C46. --words reads other sizes.
     */
    static int usualWords(DeviceType type) {
        return switch (type) {
            case FT_DEVICE_X_SERIES -> 1024;
            case FT_DEVICE_2232H, FT_DEVICE_4232H, FT_DEVICE_232H -> 128;
            default -> 64;
        };
    }
}
