package nl.tamsel.ftdi.usb;

import java.io.IOException;
import java.io.InputStream;
import java.util.Objects;

/** The input stream view of a device; see {@link FtdiDevice#getInputStream()}. */
final class FtdiInputStream extends InputStream {

    private final FtdiDevice device;

    FtdiInputStream(FtdiDevice device) {
        this.device = device;
    }

    @Override
    public int read() throws IOException {
        byte[] one = new byte[1];
        read(one, 0, 1);
        return one[0] & 0xFF;
    }

    @Override
    public int read(byte[] buffer, int offset, int length) throws IOException {
        Objects.checkFromIndexSize(offset, length, buffer.length);
        return length == 0 ? 0 : device.readAvailable(buffer, offset, length);
    }

    @Override
    public int available() throws IOException {
        return device.bytesAvailableForStream();
    }

    /** Closes the device, as closing a socket's stream closes the socket. */
    @Override
    public void close() throws IOException {
        device.close();
    }
}
