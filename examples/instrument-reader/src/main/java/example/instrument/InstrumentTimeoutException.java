package example.instrument;

/** The instrument did not finish its reply in time. */
public class InstrumentTimeoutException extends InstrumentException {
    private static final long serialVersionUID = 1L;

    /**
     * @param message which query went unanswered
     * @param cause   the timeout beneath
     */
    public InstrumentTimeoutException(String message, Throwable cause) {
        super(message, cause);
    }
}
