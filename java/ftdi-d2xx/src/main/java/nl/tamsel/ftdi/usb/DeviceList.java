package nl.tamsel.ftdi.usb;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.locks.ReentrantLock;

/**
 * The driver's device list, built and read one caller at a time. Building the list
 * ({@code FT_CreateDeviceInfoList}) and reading it back are two driver calls that share the
 * driver's snapshot, and opening finds its device in the driver's enumeration: a second thread
 * rebuilding the list between them could hand a reader a count and records from different
 * moments. Every list, every open and every rescan of this library (the watcher's, and the
 * one that tells an unplugged device from a failing one) takes this lock.
 */
final class DeviceList {

    private static final ReentrantLock LOCK = new ReentrantLock();

    private DeviceList() {
    }

    /** The devices the driver sees now, in its order. */
    static List<DeviceInfo> read() throws FtdiException {
        DeviceInfo[] entries;
        LOCK.lock();
        try {
            entries = D2XX.createDeviceInfoList();
        } finally {
            LOCK.unlock();
        }
        if (entries == null) {
            throw new FtdiException("Listing the devices", null, 0);
        }
        List<DeviceInfo> list = new ArrayList<>(entries.length);
        for (DeviceInfo entry : entries) {
            // A device unplugged while the driver built its list leaves an empty entry.
            if (entry != null) {
                list.add(entry);
            }
        }
        return Collections.unmodifiableList(list);
    }

    /** Opens the selected device: its handle, or the negated driver status. */
    static long open(DeviceSelector selector) {
        LOCK.lock();
        try {
            return selector.open();
        } finally {
            LOCK.unlock();
        }
    }

    /**
     * Whether the device open under this handle is still attached: the driver lists every
     * device this process has open with its handle, and an unplugged one no longer.
     *
     * @return true when an entry carries the handle; also true when the list cannot be read,
     *         as nothing then says that the device is gone
     */
    static boolean lists(long handle) {
        List<DeviceInfo> entries;
        try {
            entries = read();
        } catch (FtdiException e) {
            return true;
        }
        for (DeviceInfo entry : entries) {
            if (entry.handle() == handle) {
                return true;
            }
        }
        return false;
    }
}
