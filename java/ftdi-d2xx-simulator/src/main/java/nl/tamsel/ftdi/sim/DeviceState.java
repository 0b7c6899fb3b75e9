package nl.tamsel.ftdi.sim;

/**
 * What one simulated device looks like to its user at one moment: its line settings, its
 * control signals and its queues. Values the driver stores as unsigned bytes or words are given
 * as their non-negative {@code int} values.
 *
 * @param open             whether a handle of this process is open on the device
 * @param baudRate         the baud rate last accepted (9600 by default)
 * @param wordLength       7 or 8 data bits
 * @param stopBits         0 for one stop bit, 2 for two
 * @param parity           0 none, 1 odd, 2 even, 3 mark, 4 space
 * @param flowControl      0x0000 none, 0x0100 RTS/CTS, 0x0200 DTR/DSR, 0x0400 XON/XOFF
 * @param xon              the XON character as set with the flow control (0x11 by default)
 * @param xoff             the XOFF character as set with the flow control (0x13 by default)
 * @param readTimeout      milliseconds; 0 means a read waits for all requested bytes
 * @param writeTimeout     milliseconds
 * @param latencyTimer     milliseconds, 2 to 255 (16 by default)
 * @param inTransferSize   USB IN transfer size in bytes (4096 by default)
 * @param outTransferSize  USB OUT transfer size in bytes, as given (4096 by default)
 * @param eventChar        the event character
 * @param eventCharEnabled the event character's enable value, as given
 * @param errorChar        the error character
 * @param errorCharEnabled the error character's enable value, as given
 * @param dtr              whether DTR is set
 * @param rts              whether RTS is set
 * @param breakOn          whether a break is being sent
 * @param rxQueued         bytes waiting in the receive queue
 * @param writtenQueued    bytes written and not yet taken by {@link SimulatedDriver#takeWritten}
 * @param resetCount       how often the device was reset through the driver
 * @param purgeRxCount     how often its receive queue was purged
 * @param purgeTxCount     how often its transmit queue was purged
 */
public record DeviceState(
        boolean open,
        int baudRate,
        int wordLength,
        int stopBits,
        int parity,
        int flowControl,
        int xon,
        int xoff,
        int readTimeout,
        int writeTimeout,
        int latencyTimer,
        int inTransferSize,
        int outTransferSize,
        int eventChar,
        int eventCharEnabled,
        int errorChar,
        int errorCharEnabled,
        boolean dtr,
        boolean rts,
        boolean breakOn,
        int rxQueued,
        int writtenQueued,
        int resetCount,
        int purgeRxCount,
        int purgeTxCount) {

    /** The number of values the native side passes, in the order of the components. */
    static final int FIELD_COUNT = 25;

    static DeviceState fromFields(int[] f) {
        return new DeviceState(f[0] != 0, f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9],
                f[10], f[11], f[12], f[13], f[14], f[15], f[16], f[17] != 0, f[18] != 0,
                f[19] != 0, f[20], f[21], f[22], f[23], f[24]);
    }
}
