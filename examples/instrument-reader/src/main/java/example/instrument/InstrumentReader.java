package example.instrument;

import java.io.BufferedInputStream;
import java.io.ByteArrayOutputStream;
import java.io.Closeable;
import java.io.IOException;
import java.io.InputStream;
import java.net.SocketTimeoutException;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import nl.tamsel.ftdi.usb.DataBits;
import nl.tamsel.ftdi.usb.FtdiDevice;
import nl.tamsel.ftdi.usb.FtdiException;
import nl.tamsel.ftdi.usb.Parity;
import nl.tamsel.ftdi.usb.StopBits;

/**
 * Talks to a line-based instrument (a multimeter, say) behind an FTDI serial converter: each
 * query is a line of ASCII ending in '\n', each reply one line ending in '\n' (a '\r' before it
 * is dropped); a reply that starts with "ERR" is the instrument's refusal.
 */
public final class InstrumentReader implements Closeable {

    /** The longest reply line taken, so that a babbling instrument cannot exhaust memory. */
    static final int MAX_REPLY_BYTES = 256;

    private final FtdiDevice device;
    private final InputStream in;

    private InstrumentReader(FtdiDevice device) {
        this.device = device;
        // Buffered: the device hands over whatever has arrived, often more than one line's worth.
        this.in = new BufferedInputStream(device.getInputStream());
    }

    /**
     * Opens the instrument's converter by serial number, at 9600 baud, 8N1.
     *
     * @param serialNumber the converter's serial number
     * @param replyTimeout how long the instrument may stay silent during a reply
     * @return the reader, which owns the device
     * @throws InstrumentException if the converter cannot be opened or set up
     */
    public static InstrumentReader open(String serialNumber, Duration replyTimeout) throws InstrumentException {
        FtdiDevice device;
        try {
            device = FtdiDevice.openBySerialNumber(serialNumber);
        } catch (FtdiException e) {
            throw new InstrumentException("cannot open the instrument " + serialNumber + ": " + e.getMessage(), e);
        }
        try {
            device.setBaudRate(9600);
            device.setDataCharacteristics(DataBits.EIGHT, StopBits.ONE, Parity.NONE);
            device.setReadTimeout(replyTimeout);
            return new InstrumentReader(device);
        } catch (FtdiException e) {
            closeQuietly(device, e);
            throw new InstrumentException("cannot set up the instrument " + serialNumber + ": " + e.getMessage(), e);
        }
    }

    /**
     * Asks the instrument who it is.
     *
     * @return the identification line, such as "ACME,DMM-1,42,1.0"
     * @throws InstrumentException if the instrument does not answer properly
     */
    public String identify() throws InstrumentException {
        return query("*IDN?");
    }

    /**
     * Measures the DC voltage.
     *
     * @return the voltage in volts
     * @throws InstrumentException if the reply is no number, or the instrument does not answer
     */
    public double measureVoltage() throws InstrumentException {
        String reply = query("MEAS:VOLT?");
        try {
            return Double.parseDouble(reply);
        } catch (NumberFormatException e) {
            throw new InstrumentException("the instrument answered MEAS:VOLT? with \"" + reply + "\", not a number", e);
        }
    }

    /**
     * Sends a query line and returns the reply line.
     *
     * @param command the query, without line end
     * @return the reply, without line end
     * @throws InstrumentTimeoutException if the reply does not come in time
     * @throws InstrumentException        if the device fails or the instrument refuses the query
     */
    public String query(String command) throws InstrumentException {
        try {
            device.getOutputStream().write((command + "\n").getBytes(StandardCharsets.US_ASCII));
            String reply = readLine(command);
            if (reply.startsWith("ERR")) {
                throw new InstrumentException("the instrument refused " + command + ": " + reply, null);
            }
            return reply;
        } catch (SocketTimeoutException e) {
            throw new InstrumentTimeoutException("no complete reply to " + command + " in time", e);
        } catch (InstrumentException e) {
            throw e;
        } catch (IOException e) {
            throw new InstrumentException("asking " + command + " failed: " + e.getMessage(), e);
        }
    }

    private String readLine(String command) throws IOException {
        ByteArrayOutputStream line = new ByteArrayOutputStream();
        for (int b = in.read(); b != '\n'; b = in.read()) {
            if (b < 0) {
                throw new InstrumentException("the device closed during the reply to " + command, null);
            }
            if (line.size() == MAX_REPLY_BYTES) {
                throw new InstrumentException("the reply to " + command + " is longer than "
                        + MAX_REPLY_BYTES + " bytes", null);
            }
            line.write(b);
        }
        String text = line.toString(StandardCharsets.US_ASCII);
        return text.endsWith("\r") ? text.substring(0, text.length() - 1) : text;
    }

    /**
     * Closes the device.
     *
     * @throws InstrumentException if the driver fails to close it
     */
    @Override
    public void close() throws InstrumentException {
        try {
            device.close();
        } catch (FtdiException e) {
            throw new InstrumentException("closing the instrument failed: " + e.getMessage(), e);
        }
    }

    private static void closeQuietly(FtdiDevice device, Exception failure) {
        try {
            device.close();
        } catch (FtdiException e) {
            failure.addSuppressed(e);
        }
    }
}
