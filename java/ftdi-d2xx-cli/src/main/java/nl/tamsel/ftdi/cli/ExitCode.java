package nl.tamsel.ftdi.cli;

/** The tool's exit codes, which scripts may rely on. */
enum ExitCode {
    OK(0, "success"),
    DEVICE_ERROR(1, "the driver or a device failed, or the native code could not be loaded"),
    USAGE(2, "the command line is wrong"),
    MISMATCH(3, "loopback: the bytes that came back differ from those sent, or did not all come back"),
    FILE_ERROR(4, "a local file could not be read or written"),
    INCOMPLETE(5, "send or receive: the device stopped taking or sending bytes before the end"),
    NACK(6, "i2c: a target did not acknowledge its address or a byte"),
    SVF_MALFORMED(2, "jtag svf: the SVF file is malformed (its line and column are named)"),
    SVF_MISMATCH(7, "jtag svf: bits captured from TDO differ from the file's (its line is named)");

    final int code;
    final String meaning;

    ExitCode(int code, String meaning) {
        this.code = code;
        this.meaning = meaning;
    }
}
