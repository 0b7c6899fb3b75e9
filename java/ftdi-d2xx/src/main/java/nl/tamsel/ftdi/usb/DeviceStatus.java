package nl.tamsel.ftdi.usb;

import java.util.Set;

/**
 * A device's queues and events, from {@link FtdiDevice#status()}.
 *
 * @param receiveQueue  bytes received and not yet read
 * @param transmitQueue bytes written and not yet sent
 * @param events        the events that occurred since the driver was last asked
 */
public record DeviceStatus(int receiveQueue, int transmitQueue, Set<DeviceEvent> events) {

    /**
     * Copies the event set, so that the record cannot change.
     *
     * @param receiveQueue  bytes received and not yet read
     * @param transmitQueue bytes written and not yet sent
     * @param events        the events that occurred
     */
    public DeviceStatus {
        events = Set.copyOf(events);
    }
}
