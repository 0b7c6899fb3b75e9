package nl.tamsel.ftdi.usb;

import java.io.IOException;

/**
 * The I2C bus is stuck: with both lines released before a start, SDA still reads low, so a
 * device on the bus holds it (often one interrupted in the middle of a byte). Every
 * acknowledgement would read as given and every byte as 0, so the master refuses the transaction
 * instead. Power-cycle or reset the device that holds SDA. Not a driver failure, so an
 * {@link IOException} beside {@link FtdiException}.
 */
public class I2cBusStuckException extends IOException {

    private static final long serialVersionUID = 1L;

    /**
     * Creates the exception.
     *
     * @param what the transaction that found the bus stuck, such as "a transaction with 0x50"
     */
    public I2cBusStuckException(String what) {
        super("The I2C bus is stuck: SDA stays low with the bus released, before the start of " + what
                + "; a device holds it (power-cycle or reset that device)");
    }
}
