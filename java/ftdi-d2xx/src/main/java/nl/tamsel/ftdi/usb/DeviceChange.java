package nl.tamsel.ftdi.usb;

import java.time.Instant;
import java.util.Objects;

/**
 * A device that arrived or was removed, as a {@link DeviceWatcher} saw it in the driver's list.
 *
 * @param kind   whether it arrived or was removed
 * @param device the device's list entry: as it is now for an arrival, as it was last seen for a
 *               removal
 * @param time   when the rescan that saw the change began
 */
public record DeviceChange(Kind kind, DeviceInfo device, Instant time) {

    /** What happened to the device. */
    public enum Kind {
        /** It appeared in the list: plugged in, or back at a new location. */
        ARRIVED,
        /** It left the list: unplugged, or gone from its old location. */
        REMOVED
    }

    /**
     * Checks that every part is given.
     *
     * @param kind   whether it arrived or was removed
     * @param device the device's list entry
     * @param time   when the rescan began
     */
    public DeviceChange {
        Objects.requireNonNull(kind, "kind");
        Objects.requireNonNull(device, "device");
        Objects.requireNonNull(time, "time");
    }

    /**
     * The change in one line.
     *
     * @return for example {@code 2026-01-05T10:15:30.250Z arrived DeviceInfo[serial=FT1ZK4, ...]}
     */
    @Override
    public String toString() {
        return time + " " + (kind == Kind.ARRIVED ? "arrived " : "removed ") + device;
    }
}
