package nl.tamsel.ftdi.cli;

import java.io.IOException;
import java.util.Set;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.SpiConfig;
import nl.tamsel.ftdi.usb.SpiMaster;

/** Sends bytes to an SPI device through a device's MPSSE engine and shows what came back. */
final class SpiCommand implements Command {

    @Override
    public String name() {
        return "spi";
    }

    @Override
    public String synopsis() {
        return "spi transfer <device> <hexbytes> [--mode 0-3] [--frequency HZ] [--cs PIN]";
    }

    @Override
    public String help() {
        return "Selects the SPI device, clocks the bytes out on the MPSSE pins (AD0 SCK, AD1 MOSI, AD2 MISO)\n"
                + "and prints the bytes that came in meanwhile, one per byte sent. 9F000000 reads a flash's\n"
                + "JEDEC ID into the last three bytes.\n"
                + "  --mode 0-3     SPI mode (default 0); modes 1 and 3 are clocked pin by pin, slower\n"
                + "  --frequency HZ the highest clock wanted (default 1000000)\n"
                + "  --cs PIN       chip select, active low: 3 (AD3, the default), 4 to 7 (AD4..7), 8 to 15 (AC0..7)\n";
    }

    @Override
    public Set<String> options() {
        return Set.of("mode", "frequency", "cs");
    }

    @Override
    public String device(Arguments args) {
        return args.positional.size() > 1 ? args.positional.get(1) : null;
    }

    @Override
    public void run(Arguments args, Output output) throws CommandFailure, IOException {
        if (!args.positional.isEmpty() && !args.positional.get(0).equals("transfer")) {
            throw Arguments.usage("spi takes transfer, not " + args.positional.get(0));
        }
        args.requirePositional("transfer", "<device>", "<hexbytes>");
        var selector = LineOptions.selector(args.positional.get(1));
        byte[] data = Arguments.hexBytes("<hexbytes>", args.positional.get(2));
        SpiConfig config = SpiConfig.builder()
                .mode(args.intOption("mode", 0, 0, 3))
                .clockHz(args.intOption("frequency", 1_000_000, 1, Integer.MAX_VALUE))
                .chipSelect(args.intOption("cs", 3, 3, 15), false)
                .build();
        try (FtdiDevice device = FtdiDevice.open(selector); SpiMaster spi = device.spiMaster(config)) {
            output.out().println(Arguments.hex(spi.transfer(data)));
        }
    }
}
