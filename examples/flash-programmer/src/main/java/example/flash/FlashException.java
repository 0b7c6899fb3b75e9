package example.flash;

import java.io.IOException;

/** The flash or its programmer failed: no answer, a wrong ID, a busy flash, or a verify mismatch. */
public final class FlashException extends IOException {

    private static final long serialVersionUID = 1L;

    FlashException(String message) {
        super(message);
    }

    FlashException(String message, Throwable cause) {
        super(message, cause);
    }
}
