package nl.tamsel.ftdi.usb;

import java.util.EnumSet;
import java.util.Set;

/** What {@link FtdiDevice#awaitEvent} waits for, with the driver's event bit of each. */
public enum DeviceEvent {
    /** Bytes arrived in the receive queue (FT_EVENT_RXCHAR). */
    RECEIVED_BYTES(1),
    /** A modem input line (CTS, DSR, RI, DCD) changed (FT_EVENT_MODEM_STATUS). */
    MODEM_STATUS(2),
    /** A line error or break was received (FT_EVENT_LINE_STATUS). */
    LINE_STATUS(4);

    /** Every event's bit. */
    static final int ALL_BITS = 7;

    private final int bit;

    DeviceEvent(int bit) {
        this.bit = bit;
    }

    /**
     * The driver's bit for this event.
     *
     * @return 1, 2 or 4
     */
    public int bit() {
        return bit;
    }

    static int bits(Set<DeviceEvent> events) {
        int bits = 0;
        for (DeviceEvent event : events) {
            bits |= event.bit;
        }
        return bits;
    }

    static Set<DeviceEvent> of(int bits) {
        EnumSet<DeviceEvent> events = EnumSet.noneOf(DeviceEvent.class);
        for (DeviceEvent event : values()) {
            if ((bits & event.bit) != 0) {
                events.add(event);
            }
        }
        return events;
    }
}
