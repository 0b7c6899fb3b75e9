package nl.tamsel.ftdi.internal;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.util.Properties;

/** The version of this library's Java classes, which its native files must match. */
public final class LibraryVersion {

    private static final String RESOURCE = "/nl/tamsel/ftdi/usb/ftdi-d2xx.properties";

    private LibraryVersion() {
    }

    /**
     * Reads the version the build recorded.
     *
     * @return the version, such as {@code 0.1.0-SNAPSHOT}
     */
    public static String current() {
        try (InputStream in = LibraryVersion.class.getResourceAsStream(RESOURCE)) {
            if (in == null) {
                throw new IllegalStateException(RESOURCE + " is missing beside " + LibraryVersion.class);
            }
            Properties p = new Properties();
            p.load(in);
            return p.getProperty("version");
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }
}
