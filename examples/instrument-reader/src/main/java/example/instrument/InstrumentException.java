package example.instrument;

import java.io.IOException;

/** The instrument could not be asked or answered wrongly. */
public class InstrumentException extends IOException {
    private static final long serialVersionUID = 1L;

    /**
     * @param message what went wrong
     * @param cause   the failure beneath, or null
     */
    public InstrumentException(String message, Throwable cause) {
        super(message, cause);
    }
}
