package example.instrument;

import java.io.Closeable;
import java.time.Duration;
import java.util.Optional;
import nl.tamsel.ftdi.usb.DeviceGoneException;
import nl.tamsel.ftdi.usb.DeviceInfo;
import nl.tamsel.ftdi.usb.DeviceSelector;
import nl.tamsel.ftdi.usb.DeviceWatcher;
import nl.tamsel.ftdi.usb.FtdiException;

/**
 * An instrument that keeps answering across an unplug: when its converter is gone, a query
 * waits for the same serial number to come back, opens it again and asks once more. For a
 * logger that must run all day on a bench where cables get pulled.
 *
 * <pre>{@code
 * try (ReconnectingInstrument meter = ReconnectingInstrument.open("DMM1", Duration.ofSeconds(1),
 *         Duration.ofMinutes(10))) {
 *     for (;;) {
 *         System.out.println(meter.measureVoltage());   // survives the meter being replugged
 *     }
 * }
 * }</pre>
 */
public final class ReconnectingInstrument implements Closeable {

    private final String serialNumber;
    private final Duration replyTimeout;
    private final Duration reconnectTimeout;
    private final DeviceWatcher watcher;
    private InstrumentReader reader;
    private int reconnects;

    private ReconnectingInstrument(String serialNumber, Duration replyTimeout, Duration reconnectTimeout,
            DeviceWatcher watcher, InstrumentReader reader) {
        this.serialNumber = serialNumber;
        this.replyTimeout = replyTimeout;
        this.reconnectTimeout = reconnectTimeout;
        this.watcher = watcher;
        this.reader = reader;
    }

    /**
     * Opens the instrument's converter by serial number, as {@link InstrumentReader#open} does.
     *
     * @param serialNumber     the converter's serial number
     * @param replyTimeout     how long the instrument may stay silent during a reply
     * @param reconnectTimeout how long a query waits for the converter to come back
     * @return the instrument
     * @throws InstrumentException if the converter cannot be opened or set up
     */
    public static ReconnectingInstrument open(String serialNumber, Duration replyTimeout, Duration reconnectTimeout)
            throws InstrumentException {
        DeviceWatcher watcher;
        try {
            watcher = DeviceWatcher.start();
        } catch (FtdiException e) {
            throw new InstrumentException("cannot watch for the instrument " + serialNumber + ": " + e.getMessage(), e);
        }
        try {
            return new ReconnectingInstrument(serialNumber, replyTimeout, reconnectTimeout, watcher,
                    InstrumentReader.open(serialNumber, replyTimeout));
        } catch (InstrumentException e) {
            watcher.close();
            throw e;
        }
    }

    /**
     * Measures the DC voltage, waiting for the instrument to come back if it is unplugged.
     *
     * @return the voltage in volts
     * @throws InstrumentException if the instrument answers wrongly, or stays away too long
     */
    public double measureVoltage() throws InstrumentException {
        for (;;) {
            try {
                return reader().measureVoltage();
            } catch (InstrumentException e) {
                reconnectIfGone(e);
            }
        }
    }

    /**
     * Sends a query line and returns the reply line, waiting for the instrument to come back if
     * it is unplugged; the query is then sent again.
     *
     * @param command the query, without line end
     * @return the reply, without line end
     * @throws InstrumentException if the instrument answers wrongly, or stays away too long
     */
    public String query(String command) throws InstrumentException {
        for (;;) {
            try {
                return reader().query(command);
            } catch (InstrumentException e) {
                reconnectIfGone(e);
            }
        }
    }

    /**
     * How often the instrument was opened again after an unplug.
     *
     * @return the count
     */
    public int reconnects() {
        return reconnects;
    }

    private InstrumentReader reader() throws InstrumentException {
        if (reader == null) {
            reader = InstrumentReader.open(serialNumber, replyTimeout);
            reconnects++;
        }
        return reader;
    }

    /** Rethrows a failure that is not an unplug; otherwise drops the old device and waits for the new. */
    private void reconnectIfGone(InstrumentException failure) throws InstrumentException {
        if (!(failure.getCause() instanceof DeviceGoneException)) {
            throw failure;
        }
        dropReader(failure);
        Optional<DeviceInfo> back;
        try {
            back = watcher.awaitDevice(DeviceSelector.bySerialNumber(serialNumber), reconnectTimeout);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new InstrumentException("interrupted while waiting for the instrument " + serialNumber
                    + " to come back", e);
        }
        if (back.isEmpty()) {
            throw new InstrumentException("the instrument " + serialNumber + " was unplugged and did not come back"
                    + " within " + reconnectTimeout.toSeconds() + " s", failure);
        }
    }

    private void dropReader(Exception failure) {
        try {
            reader.close();
        } catch (InstrumentException e) {
            failure.addSuppressed(e);
        }
        reader = null;
    }

    /**
     * Closes the device and stops watching.
     *
     * @throws InstrumentException if the driver fails to close the device
     */
    @Override
    public void close() throws InstrumentException {
        try {
            if (reader != null) {
                reader.close();
            }
        } finally {
            watcher.close();
        }
    }
}
