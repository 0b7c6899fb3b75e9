package nl.tamsel.ftdi.usb;

import java.util.Optional;

/**
 * One device of a JTAG chain as a {@link JtagController#scanChain() chain scan} found it.
 *
 * @param position its place from TDI: 0 is the device whose TDI is the adapter's TDI
 * @param idcode   its IDCODE, or empty when it selects BYPASS after reset (bypass only)
 */
public record ChainDevice(int position, Optional<IdCode> idcode) {

    /**
     * Checks the values.
     *
     * @param position 0 or more
     * @param idcode   not null
     * @throws IllegalArgumentException if position is negative
     */
    public ChainDevice {
        if (position < 0) {
            throw new IllegalArgumentException("A chain position is 0 or more, not " + position);
        }
        java.util.Objects.requireNonNull(idcode, "idcode");
    }

    /**
     * Whether the device has no IDCODE: after reset it shifts one BYPASS bit.
     *
     * @return true for a bypass-only device
     */
    public boolean bypassOnly() {
        return idcode.isEmpty();
    }

    /** Such as {@code 0: 0x1234A0F3 (...)} or {@code 1: bypass only}. */
    @Override
    public String toString() {
        return position + ": " + idcode.map(IdCode::toString).orElse("bypass only (no IDCODE)");
    }
}
