package nl.tamsel.ftdi.usb;

import java.util.List;

/**
 * What a {@link JtagController#scanChain() chain scan} found: the devices from TDI to TDO, the
 * chain's total instruction register length, and whether TDO answered at all.
 *
 * @param status   {@link Status#OK}, or what was wrong with TDO (then there are no devices)
 * @param devices  the devices from TDI to TDO
 * @param irLength the sum of the devices' instruction register lengths in bits; 0 unless OK
 */
public record ChainScan(Status status, List<ChainDevice> devices, int irLength) {

    /** What TDO showed. */
    public enum Status {
        /** The chain answered: devices and IR length are known. */
        OK,
        /** TDO read all ones: unconnected, an open line, or no powered device on it. */
        TDO_OPEN,
        /** TDO read all zeros: shorted to ground, or a device holding it low. */
        TDO_SHORTED,
        /** TDO answered, but what came out is no chain of IDCODE and BYPASS registers of a plausible length. */
        UNRECOGNISED
    }

    /**
     * Copies the device list.
     *
     * @param status   not null
     * @param devices  not null
     * @param irLength 0 or more
     */
    public ChainScan {
        java.util.Objects.requireNonNull(status, "status");
        devices = List.copyOf(devices);
        if (irLength < 0) {
            throw new IllegalArgumentException("An IR length is 0 or more, not " + irLength);
        }
    }

    /**
     * A report for people: one line per device, then the IR length, or what was wrong.
     *
     * @return lines ending in a newline
     */
    public String describe() {
        return switch (status) {
            case TDO_OPEN -> "No chain: TDO reads all ones (open, unconnected or unpowered target)\n";
            case TDO_SHORTED -> "No chain: TDO reads all zeros (shorted to ground or held low)\n";
            case UNRECOGNISED -> "No chain recognised: TDO answers, but not with IDCODE and BYPASS registers"
                    + " (check the wiring, TCK frequency and target power)\n";
            case OK -> {
                StringBuilder text = new StringBuilder(devices.size() + " device" + (devices.size() == 1 ? "" : "s")
                        + ", TDI to TDO:\n");
                for (ChainDevice device : devices) {
                    text.append("  ").append(device).append('\n');
                }
                yield text.append("IR length: ").append(irLength).append(" bits in total\n").toString();
            }
        };
    }
}
