package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import nl.tamsel.ftdi.usb.ChainScan;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.JtagBatch;
import nl.tamsel.ftdi.usb.JtagConfig;
import nl.tamsel.ftdi.usb.JtagController;
import nl.tamsel.ftdi.usb.TapState;

/** Finds the devices of a JTAG chain, or shifts bits through its registers. */
final class JtagCommand implements Command {

    /** The most bits one shift takes on the command line. */
    static final int MAX_SHIFT_BITS = 1 << 20;

    @Override
    public String name() {
        return "jtag";
    }

    @Override
    public String synopsis() {
        return "jtag scan|shift|svf <device> [ir|dr <bits> <hex> ... | FILE] [--frequency HZ]";
    }

    @Override
    public String help() {
        return "JTAG on the MPSSE pins: AD0 TCK, AD1 TDI, AD2 TDO, AD3 TMS.\n"
                + "  jtag scan <device>                   resets the chain and lists its devices from TDI to TDO with\n"
                + "                                       their IDCODE (or \"bypass only\") and the total IR length\n"
                + "  jtag shift <device> ir|dr <bits> <hex> [ir|dr <bits> <hex> ...]\n"
                + "                                       from Test-Logic-Reset, shifts each value through the\n"
                + "                                       instruction or data registers, ending in Run-Test/Idle,\n"
                + "                                       and prints the bits captured from TDO, one line each\n"
                + "  <hex> is a number as in SVF: its rightmost bit is shifted first (3FFFF: 18 ones).\n"
                + "  --frequency HZ                       the highest TCK wanted (default 1000000)\n"
                + SvfCommand.HELP;
    }

    @Override
    public Set<String> options() {
        return Set.of("frequency");
    }

    @Override
    public String device(Arguments args) {
        return args.positional.size() > 1 ? args.positional.get(1) : null;
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        String action = args.positional.isEmpty() ? "" : args.positional.get(0);
        if (action.equals("svf")) {
            SvfCommand.run(args, output);
            return;
        }
        if (!action.equals("scan") && !action.equals("shift")) {
            throw Arguments.usage("jtag takes scan or shift, not " + (action.isEmpty() ? "nothing" : action));
        }
        List<Shift> shifts = new ArrayList<>();
        if (action.equals("scan")) {
            args.requirePositional("scan", "<device>");
        } else {
            shifts = shifts(args.positional);
        }
        var selector = LineOptions.selector(args.positional.get(1));
        JtagConfig config = JtagConfig.builder()
                .clockHz(args.intOption("frequency", (int) JtagConfig.DEFAULT_CLOCK_HZ, 1, Integer.MAX_VALUE))
                .build();
        try (FtdiDevice device = FtdiDevice.open(selector); JtagController jtag = device.jtag(config)) {
            if (shifts.isEmpty()) {
                ChainScan chain = jtag.scanChain();
                output.out().print(chain.describe());
                output.out().println("TCK: " + jtag.clockHz() + " Hz");
                return;
            }
            List<byte[]> captured;
            try (JtagBatch batch = jtag.batch()) {
                for (Shift shift : shifts) {
                    if (shift.ir) {
                        batch.scanIr(shift.bits, shift.tdi, TapState.RUN_TEST_IDLE);
                    } else {
                        batch.scanDr(shift.bits, shift.tdi, TapState.RUN_TEST_IDLE);
                    }
                }
                captured = batch.execute();
            }
            for (int i = 0; i < shifts.size(); i++) {
                output.out().println((shifts.get(i).ir ? "ir " : "dr ") + shifts.get(i).bits + " "
                        + hex(captured.get(i), shifts.get(i).bits));
            }
        }
    }

    /** One register shift from the command line. */
    private record Shift(boolean ir, int bits, byte[] tdi) {
    }

    private static List<Shift> shifts(List<String> positional) throws CommandFailure {
        if (positional.size() < 5 || (positional.size() - 2) % 3 != 0) {
            throw Arguments.usage("jtag shift takes <device> and then ir|dr <bits> <hex>, once or more, got "
                    + String.join(" ", positional.subList(1, positional.size())));
        }
        List<Shift> shifts = new ArrayList<>();
        for (int at = 2; at < positional.size(); at += 3) {
            String register = positional.get(at);
            if (!register.equals("ir") && !register.equals("dr")) {
                throw Arguments.usage("jtag shift shifts through ir or dr, not " + register);
            }
            int bits = Arguments.number("<bits>", positional.get(at + 1), 1, MAX_SHIFT_BITS);
            shifts.add(new Shift(register.equals("ir"), bits, bits(positional.get(at + 2), bits)));
        }
        return shifts;
    }

    /** A hex number as SVF writes it, into the bit order of the scans: its low byte first. */
    static byte[] bits(String text, int bits) throws CommandFailure {
        String digits = text.replace("_", "");
        if (digits.startsWith("0x") || digits.startsWith("0X")) {
            digits = digits.substring(2);
        }
        if (digits.isEmpty() || !digits.matches("[0-9a-fA-F]+")) {
            throw Arguments.usage("<hex> is a number in hex digits (such as 3FFFF), not " + text);
        }
        byte[] bytes = new byte[(bits + 7) / 8];
        for (int digit = 0; digit < digits.length(); digit++) {
            int value = Character.digit(digits.charAt(digits.length() - 1 - digit), 16);
            for (int bit = 0; bit < 4; bit++) {
                if ((value >> bit & 1) == 0) {
                    continue;
                }
                int index = digit * 4 + bit;
                if (index >= bits) {
                    throw Arguments.usage(text + " has more than " + bits + " bits");
                }
                bytes[index / 8] |= (byte) (1 << index % 8);
            }
        }
        return bytes;
    }

    /** Captured bits as an SVF-style hex number of ceil(bits / 4) digits, most significant first. */
    static String hex(byte[] bytes, int bits) {
        StringBuilder text = new StringBuilder();
        for (int digit = (bits + 3) / 4 - 1; digit >= 0; digit--) {
            int value = 0;
            for (int bit = 3; bit >= 0; bit--) {
                int index = digit * 4 + bit;
                value = value << 1 | (index < bits ? bytes[index / 8] >> (index % 8) & 1 : 0);
            }
            text.append(Character.toUpperCase(Character.forDigit(value, 16)));
        }
        return text.toString();
    }
}
