package nl.tamsel.ftdi.cli;

/** Ends a command with a message for the user and an exit code other than success. */
final class CommandFailure extends Exception {

    private static final long serialVersionUID = 1L;

    final ExitCode exitCode;

    CommandFailure(ExitCode exitCode, String message) {
        super(message);
        this.exitCode = exitCode;
    }
}
