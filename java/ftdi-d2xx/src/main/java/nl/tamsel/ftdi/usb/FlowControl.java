package nl.tamsel.ftdi.usb;

/** How the two ends of the serial line tell each other to pause. */
public enum FlowControl {
    /** No flow control: bytes are sent whenever there are any. */
    NONE(D2XXConstants.FT_FLOW_NONE),
    /** Hardware flow control with the RTS and CTS lines. */
    RTS_CTS(D2XXConstants.FT_FLOW_RTS_CTS),
    /** Hardware flow control with the DTR and DSR lines. */
    DTR_DSR(D2XXConstants.FT_FLOW_DTR_DSR),
    /** Software flow control: XOFF (0x13) pauses, XON (0x11) resumes. */
    XON_XOFF(D2XXConstants.FT_FLOW_XON_XOFF);

    private final int code;

    FlowControl(int code) {
        this.code = code;
    }

    /**
     * The driver's code for this setting.
     *
     * @return the flow-control mode the driver takes
     */
    public int code() {
        return code;
    }
}
