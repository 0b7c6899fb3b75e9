package nl.tamsel.ftdi.usb;

/**
 * The failure statuses the D2XX driver reports, by their published names and codes.
 *
 * <p>A code this library does not know (a newer driver may add some) maps to {@link #UNKNOWN};
 * {@link FtdiException#statusCode()} keeps the number.
 */
public enum FtdiStatus {
    /** The handle is not one the driver issued, or it was closed. */
    FT_INVALID_HANDLE(1, "the device handle is not valid"),
    /** No device matches. */
    FT_DEVICE_NOT_FOUND(2, "no attached device matches; FtdiDevice.list() shows those the driver sees"),
    /** The device could not be opened. */
    FT_DEVICE_NOT_OPENED(3, "the device could not be opened: another program may have it open, or on Linux"
            + " the kernel's ftdi_sio driver may hold it (sudo rmmod ftdi_sio usbserial)"),
    /** Talking to the device failed, for example because it was unplugged. */
    FT_IO_ERROR(4, "communication with the device failed; was it unplugged?"),
    /** The driver ran out of memory or another resource. */
    FT_INSUFFICIENT_RESOURCES(5, "the driver ran out of resources"),
    /** A parameter was refused. */
    FT_INVALID_PARAMETER(6, "the driver refused a parameter"),
    /** The baud rate cannot be produced by the device. */
    FT_INVALID_BAUD_RATE(7, "the device cannot produce this baud rate"),
    /** The device was not opened for erasing. */
    FT_DEVICE_NOT_OPENED_FOR_ERASE(8, "the device is not opened for erasing"),
    /** The device was not opened for writing. */
    FT_DEVICE_NOT_OPENED_FOR_WRITE(9, "the device is not opened for writing"),
    /** Writing to the device failed. */
    FT_FAILED_TO_WRITE_DEVICE(10, "writing to the device failed"),
    /** Reading the EEPROM failed. */
    FT_EEPROM_READ_FAILED(11, "reading the EEPROM failed"),
    /** Writing the EEPROM failed. */
    FT_EEPROM_WRITE_FAILED(12, "writing the EEPROM failed"),
    /** Erasing the EEPROM failed. */
    FT_EEPROM_ERASE_FAILED(13, "erasing the EEPROM failed"),
    /** The device has no EEPROM. */
    FT_EEPROM_NOT_PRESENT(14, "the device has no EEPROM"),
    /** The EEPROM is blank. */
    FT_EEPROM_NOT_PROGRAMMED(15, "the EEPROM is not programmed"),
    /** The arguments were refused. */
    FT_INVALID_ARGS(16, "the driver refused the arguments"),
    /** The operation is not supported. */
    FT_NOT_SUPPORTED(17, "the driver does not support this operation"),
    /** Another error. */
    FT_OTHER_ERROR(18, "the driver reported an unspecified error"),
    /** The device list is not ready. */
    FT_DEVICE_LIST_NOT_READY(19, "the driver's device list is not ready"),
    /** A status this library does not know; {@link FtdiException#statusCode()} has its number. */
    UNKNOWN(-1, "the driver reported a status this library does not know");

    private static final FtdiStatus[] BY_CODE = values();

    private final int code;
    private final String meaning;

    FtdiStatus(int code, String meaning) {
        this.code = code;
        this.meaning = meaning;
    }

    /**
     * The driver's number for this status.
     *
     * @return the published code, or -1 for {@link #UNKNOWN}
     */
    public int code() {
        return code;
    }

    /**
     * What the status means for the caller, in a few words.
     *
     * @return a lower-case phrase, such as "the device cannot produce this baud rate"
     */
    public String meaning() {
        return meaning;
    }

    /**
     * The status with a driver code.
     *
     * @param code a status code the driver reported
     * @return its status, or {@link #UNKNOWN} when the code is not a published failure code
     */
    public static FtdiStatus of(int code) {
        return code >= 1 && code <= FT_DEVICE_LIST_NOT_READY.code ? BY_CODE[code - 1] : UNKNOWN;
    }
}
