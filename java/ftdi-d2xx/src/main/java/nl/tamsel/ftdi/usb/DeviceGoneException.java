package nl.tamsel.ftdi.usb;

import java.util.EnumSet;
import java.util.Set;

/**
 * The device of an open {@link FtdiDevice} is gone: it was unplugged (or lost its power or its
 * USB connection) while open. Every operation on the device throws it from then on, whatever
 * it is: transfers and the streams, settings and status, the pins, SPI and I2C functions, the
 * EEPROM, and a thread waiting in {@link FtdiDevice#awaitEvent} wakes with it.
 *
 * <p>The open device cannot recover: close it and open the device again once it is back,
 * for example by waiting for it with a {@link DeviceWatcher}. Settings, modes and masters made
 * on the old device are not carried over; the device comes back as the chip powers up.
 *
 * <pre>{@code
 * try {
 *     line = reader.readLine();
 * } catch (DeviceGoneException e) {
 *     device.close();
 *     watcher.awaitDevice(DeviceSelector.bySerialNumber("FT1ZK4"), Duration.ofMinutes(5));
 *     device = FtdiDevice.openBySerialNumber("FT1ZK4");
 * }
 * }</pre>
 *
 * <p>{@link #status()} is the status the driver reported ({@link FtdiStatus#FT_IO_ERROR} as a
 * rule). A failure with one of the statuses a removed device produces is reported as this
 * exception only when the driver's device list confirms it: the list shows every device this
 * process has open together with its handle, and the gone device is no longer among them.
 */
public class DeviceGoneException extends FtdiException {

    private static final long serialVersionUID = 1L;

    /**
     * The statuses the driver answers with on a handle whose device was removed. Which one a
     * driver gives is not documented: transfers report FT_IO_ERROR, and drivers have been seen
     * to answer other calls with an invalid handle, a device not found or not opened, a failed
     * write or an unspecified error. Each is confirmed by the device list before it counts.
     */
    private static final Set<FtdiStatus> REMOVAL_STATUSES = EnumSet.of(FtdiStatus.FT_INVALID_HANDLE,
            FtdiStatus.FT_DEVICE_NOT_FOUND, FtdiStatus.FT_DEVICE_NOT_OPENED, FtdiStatus.FT_IO_ERROR,
            FtdiStatus.FT_FAILED_TO_WRITE_DEVICE, FtdiStatus.FT_OTHER_ERROR);

    /**
     * Creates the exception for an operation that failed because its device is gone.
     *
     * @param operation  what was being done, as a phrase that starts a sentence
     * @param device     the device, as {@link DeviceSelector#toString()} names it
     * @param statusCode the status the driver reported, a positive number
     */
    public DeviceGoneException(String operation, String device, int statusCode) {
        super(operation, device, statusCode, "the device is gone (unplugged?); close it and open it"
                + " again once it is back");
    }

    /**
     * The exception for a driver failure on an open device: this one when the device is gone,
     * otherwise a plain {@link FtdiException}.
     */
    static FtdiException of(String operation, String device, long handle, int statusCode) {
        if (REMOVAL_STATUSES.contains(FtdiStatus.of(statusCode)) && !DeviceList.lists(handle)) {
            return new DeviceGoneException(operation, device, statusCode);
        }
        return new FtdiException(operation, device, statusCode);
    }
}
