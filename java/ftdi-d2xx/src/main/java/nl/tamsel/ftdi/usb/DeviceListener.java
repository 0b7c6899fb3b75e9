package nl.tamsel.ftdi.usb;

/**
 * Told by a {@link DeviceWatcher} of every device that arrives or is removed.
 *
 * <p>Listeners run one at a time on the watcher's thread, which all watchers share (or on the
 * thread that calls {@link DeviceWatcher#rescan()}): a listener that takes long delays every
 * watcher's rescans. It may call any method of this library,
 * including opening the device that arrived and closing its own watcher. An exception it throws
 * is logged (on the {@link System.Logger} named after {@link DeviceWatcher}) and the others are
 * told all the same.
 */
@FunctionalInterface
public interface DeviceListener {

    /**
     * Called for each device that arrived or was removed, in the order the watcher saw them.
     *
     * @param change what happened to which device
     */
    void deviceChanged(DeviceChange change);
}
