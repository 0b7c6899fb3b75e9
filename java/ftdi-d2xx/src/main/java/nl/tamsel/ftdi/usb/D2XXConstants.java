package nl.tamsel.ftdi.usb;

/**
 * The D2XX driver's published numeric values, for use with the methods of {@link D2XX}.
 */
public final class D2XXConstants {

    private D2XXConstants() {
    }

    // Status codes. D2XX returns a failing status s as -s.

    /** Status: success. */
    public static final int FT_OK = 0;
    /** Status: the handle is not one the driver issued, or it was closed. */
    public static final int FT_INVALID_HANDLE = 1;
    /** Status: no device matches. */
    public static final int FT_DEVICE_NOT_FOUND = 2;
    /** Status: the device could not be opened (often: open elsewhere). */
    public static final int FT_DEVICE_NOT_OPENED = 3;
    /** Status: a USB transfer failed. */
    public static final int FT_IO_ERROR = 4;
    /** Status: the driver ran out of resources. */
    public static final int FT_INSUFFICIENT_RESOURCES = 5;
    /** Status: a parameter was rejected. */
    public static final int FT_INVALID_PARAMETER = 6;
    /** Status: the baud rate cannot be approximated closely enough. */
    public static final int FT_INVALID_BAUD_RATE = 7;
    /** Status: the device was not opened for erasing. */
    public static final int FT_DEVICE_NOT_OPENED_FOR_ERASE = 8;
    /** Status: the device was not opened for writing. */
    public static final int FT_DEVICE_NOT_OPENED_FOR_WRITE = 9;
    /** Status: writing to the device failed. */
    public static final int FT_FAILED_TO_WRITE_DEVICE = 10;
    /** Status: reading the EEPROM failed. */
    public static final int FT_EEPROM_READ_FAILED = 11;
    /** Status: writing the EEPROM failed. */
    public static final int FT_EEPROM_WRITE_FAILED = 12;
    /** Status: erasing the EEPROM failed. */
    public static final int FT_EEPROM_ERASE_FAILED = 13;
    /** Status: the device has no EEPROM. */
    public static final int FT_EEPROM_NOT_PRESENT = 14;
    /** Status: the EEPROM is blank. */
    public static final int FT_EEPROM_NOT_PROGRAMMED = 15;
    /** Status: the arguments are invalid. */
    public static final int FT_INVALID_ARGS = 16;
    /** Status: the operation is not supported. */
    public static final int FT_NOT_SUPPORTED = 17;
    /** Status: another error. */
    public static final int FT_OTHER_ERROR = 18;
    /** Status: the device list is not ready. */
    public static final int FT_DEVICE_LIST_NOT_READY = 19;

    // Word length, for setDataCharacteristics.

    /** Word length: 8 data bits. */
    public static final int FT_BITS_8 = 8;
    /** Word length: 7 data bits. */
    public static final int FT_BITS_7 = 7;

    // Stop bits, for setDataCharacteristics.

    /** Stop bits: one. */
    public static final int FT_STOP_BITS_1 = 0;
    /** Stop bits: two. */
    public static final int FT_STOP_BITS_2 = 2;

    // Parity, for setDataCharacteristics.

    /** Parity: none. */
    public static final int FT_PARITY_NONE = 0;
    /** Parity: odd. */
    public static final int FT_PARITY_ODD = 1;
    /** Parity: even. */
    public static final int FT_PARITY_EVEN = 2;
    /** Parity: mark (always 1). */
    public static final int FT_PARITY_MARK = 3;
    /** Parity: space (always 0). */
    public static final int FT_PARITY_SPACE = 4;

    // Flow control modes, for setFlowControl.

    /** Flow control: none. */
    public static final int FT_FLOW_NONE = 0x0000;
    /** Flow control: hardware, RTS/CTS. */
    public static final int FT_FLOW_RTS_CTS = 0x0100;
    /** Flow control: hardware, DTR/DSR. */
    public static final int FT_FLOW_DTR_DSR = 0x0200;
    /** Flow control: software, XON/XOFF. */
    public static final int FT_FLOW_XON_XOFF = 0x0400;

    // Purge masks, for purge; combine with |.

    /** Purge: discard the receive queue. */
    public static final int FT_PURGE_RX = 1;
    /** Purge: discard the transmit queue. */
    public static final int FT_PURGE_TX = 2;

    // Modem lines, low byte of getModemStatus.

    /** Modem status: Clear To Send is active. */
    public static final int MODEM_STATUS_CTS = 0x10;
    /** Modem status: Data Set Ready is active. */
    public static final int MODEM_STATUS_DSR = 0x20;
    /** Modem status: Ring Indicator is active. */
    public static final int MODEM_STATUS_RI = 0x40;
    /** Modem status: Data Carrier Detect is active. */
    public static final int MODEM_STATUS_DCD = 0x80;

    // Line status, second byte of getModemStatus (values as they stand in that word).

    /** Line status: a received byte was lost (overrun). */
    public static final int LINE_STATUS_OVERRUN_ERROR = 0x0200;
    /** Line status: a parity error was received. */
    public static final int LINE_STATUS_PARITY_ERROR = 0x0400;
    /** Line status: a framing error was received. */
    public static final int LINE_STATUS_FRAMING_ERROR = 0x0800;
    /** Line status: a break condition was received. */
    public static final int LINE_STATUS_BREAK_INTERRUPT = 0x1000;

    // Device flags, DeviceInfo.flags().

    /** Device flag: the device is open (here or in another process). */
    public static final int FT_FLAGS_OPENED = 1;
    /** Device flag: the device is hi-speed. */
    public static final int FT_FLAGS_HISPEED = 2;

    // Device types, DeviceInfo.type(). Newer drivers report higher codes too.

    /** Device type: BM. */
    public static final int FT_DEVICE_BM = 0;
    /** Device type: AM. */
    public static final int FT_DEVICE_AM = 1;
    /** Device type: 100AX. */
    public static final int FT_DEVICE_100AX = 2;
    /** Device type: unknown. */
    public static final int FT_DEVICE_UNKNOWN = 3;
    /** Device type: 2232C. */
    public static final int FT_DEVICE_2232C = 4;
    /** Device type: 232R. */
    public static final int FT_DEVICE_232R = 5;
    /** Device type: 2232H. */
    public static final int FT_DEVICE_2232H = 6;
    /** Device type: 4232H. */
    public static final int FT_DEVICE_4232H = 7;
    /** Device type: 232H. */
    public static final int FT_DEVICE_232H = 8;
    /** Device type: X series. */
    public static final int FT_DEVICE_X_SERIES = 9;
    /** Device type: 4222H in mode 0. */
    public static final int FT_DEVICE_4222H_0 = 10;
    /** Device type: 4222H in mode 1 or 2. */
    public static final int FT_DEVICE_4222H_1_2 = 11;
    /** Device type: 4222H in mode 3. */
    public static final int FT_DEVICE_4222H_3 = 12;
    /** Device type: 4222 programming interface. */
    public static final int FT_DEVICE_4222_PROG = 13;
    /** Device type: 900. */
    public static final int FT_DEVICE_900 = 14;
    /** Device type: 930. */
    public static final int FT_DEVICE_930 = 15;
    /** Device type: UMFTPD3A. */
    public static final int FT_DEVICE_UMFTPD3A = 16;

    // Open modes of the driver's open-ex call, used by openBySerialNumber, openByDescription
    // and openByLocationId.

    /** Open mode: by serial number. */
    public static final int FT_OPEN_BY_SERIAL_NUMBER = 1;
    /** Open mode: by description. */
    public static final int FT_OPEN_BY_DESCRIPTION = 2;
    /** Open mode: by USB location. */
    public static final int FT_OPEN_BY_LOCATION = 4;
}
