package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.util.Optional;

/**
 * A D2XX driver call that failed: which operation, on which device, with which status.
 *
 * <p>The message reads, for example, "Setting the baud rate to 7 failed on device
 * serial:FT1ZK4 with FT_INVALID_BAUD_RATE (7): the device cannot produce this baud rate".
 */
public class FtdiException extends IOException {

    private static final long serialVersionUID = 1L;

    /** The driver's status, as it reported it. */
    private final int statusCode;
    /** The operation that failed, such as "setBaudRate". */
    private final String operation;
    /** The device it failed on, as the caller named it. */
    private final String device;

    /**
     * Creates the exception for a failed driver call.
     *
     * @param operation  what was being done, as a phrase that starts a sentence, such as
     *                   "Setting the baud rate to 7"
     * @param device     the device, as {@link DeviceSelector#toString()} names it, or null when
     *                   the call concerns no single device
     * @param statusCode the status the driver reported, a positive number; 0 when the driver
     *                   failed but its status is not known, as for listing devices
     */
    public FtdiException(String operation, String device, int statusCode) {
        super(message(operation, device, statusCode));
        this.statusCode = statusCode;
        this.operation = operation;
        this.device = device;
    }

    /**
     * Creates the exception for a failed driver call whose message explains the failure in its
     * own words instead of the status's general meaning.
     *
     * @param operation   what was being done, as a phrase that starts a sentence
     * @param device      the device, or null when the call concerns no single device
     * @param statusCode  the status the driver reported, a positive number
     * @param explanation what the failure means and what to do, ending the message
     */
    protected FtdiException(String operation, String device, int statusCode, String explanation) {
        super(message(operation, device, statusCode, explanation));
        this.statusCode = statusCode;
        this.operation = operation;
        this.device = device;
    }

    /**
     * Creates the exception for an operation the driver reported as done but which fell short,
     * such as a write whose timeout passed before the device took every byte: the reason
     * replaces a status's meaning, and the status code is 0.
     */
    FtdiException(String operation, String device, String reason) {
        super(operation + " failed" + (device == null ? "" : " on device " + device) + ": " + reason);
        this.statusCode = 0;
        this.operation = operation;
        this.device = device;
    }

    private static String message(String operation, String device, int statusCode) {
        return message(operation, device, statusCode, FtdiStatus.of(statusCode).meaning());
    }

    private static String message(String operation, String device, int statusCode, String meaning) {
        String where = operation + " failed" + (device == null ? "" : " on device " + device);
        if (statusCode == 0) {
            return where + "; the driver's status does not reach Java for this operation";
        }
        FtdiStatus status = FtdiStatus.of(statusCode);
        String name = status == FtdiStatus.UNKNOWN ? "status" : status.name();
        return where + " with " + name + " ("
                + statusCode + "): " + meaning;
    }

    /**
     * The driver's status as one of its published values.
     *
     * @return the status, {@link FtdiStatus#UNKNOWN} for a code that is not published
     */
    public FtdiStatus status() {
        return FtdiStatus.of(statusCode);
    }

    /**
     * The driver's status code as it was reported, also when {@link #status()} does not know it.
     *
     * @return the status code, or 0 when it is not known
     */
    public int statusCode() {
        return statusCode;
    }

    /**
     * What was being done.
     *
     * @return the operation, such as "Setting the baud rate to 7"
     */
    public String operation() {
        return operation;
    }

    /**
     * The device the operation concerned.
     *
     * @return how the device was named when it was opened, such as "serial:FT1ZK4"; empty for
     *         operations on no single device, such as listing devices
     */
    public Optional<String> device() {
        return Optional.ofNullable(device);
    }
}
