package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.io.InterruptedIOException;
import java.io.OutputStream;
import java.util.Objects;

/** The output stream view of a device; see {@link FtdiDevice#getOutputStream()}. */
final class FtdiOutputStream extends OutputStream {

    private final FtdiDevice device;

    FtdiOutputStream(FtdiDevice device) {
        this.device = device;
    }

    @Override
    public void write(int b) throws IOException {
        write(new byte[] {(byte) b}, 0, 1);
    }

    @Override
    public void write(byte[] buffer, int offset, int length) throws IOException {
        Objects.checkFromIndexSize(offset, length, buffer.length);
        int written = device.writeAll(buffer, offset, length);
        if (written < length) {
            InterruptedIOException timeout = new InterruptedIOException(device + " took no byte for the whole write"
                    + " timeout of " + device.writeTimeout().toMillis() + " ms; " + written + " of " + length
                    + " bytes were written");
            timeout.bytesTransferred = written;
            throw timeout;
        }
    }

    /** Closes the device, as closing a socket's stream closes the socket. */
    @Override
    public void close() throws IOException {
        device.close();
    }
}
