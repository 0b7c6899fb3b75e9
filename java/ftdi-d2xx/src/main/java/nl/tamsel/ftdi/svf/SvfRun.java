package nl.tamsel.ftdi.svf;

import java.io.IOException;
import java.nio.channels.AsynchronousCloseException;
import java.time.Duration;
import nl.tamsel.ftdi.usb.JtagBatch;
import nl.tamsel.ftdi.usb.JtagController;
import nl.tamsel.ftdi.usb.TapState;

/** One run of an SVF file: the file's settings so far, applied to one streaming batch. */
final class SvfRun {

    /** Progress is reported after this many statements. */
    private static final int PROGRESS_EVERY = 512;

    private final JtagController jtag;
    private final SvfProgressListener listener;
    private final long highestClockHz;
    private final SvfScan[] headers = new SvfScan[SvfScan.Kind.values().length];
    private TapState endIr = TapState.RUN_TEST_IDLE;
    private TapState endDr = TapState.RUN_TEST_IDLE;
    private long statements;
    private long scans;
    private long compares;

    SvfRun(JtagController jtag, SvfProgressListener listener, long highestClockHz) {
        this.jtag = jtag;
        this.listener = listener;
        this.highestClockHz = highestClockHz;
        for (SvfScan.Kind kind : SvfScan.Kind.values()) {
            headers[kind.ordinal()] = new SvfScan(kind, 0, SvfBits.ones(0), null, SvfBits.ones(0), SvfBits.ones(0), 0);
        }
    }

    SvfSummary play(SvfParser parser, CountingReader text) throws IOException {
        int line = 1;
        try (JtagBatch batch = jtag.batch()) {
            try {
                for (SvfStatement statement; (statement = parser.next()) != null; ) {
                    line = statement.line();
                    apply(batch, statement);
                    if (++statements % PROGRESS_EVERY == 0) {
                        listener.progress(statements, text.count());
                    }
                }
                batch.execute();
            } catch (CompareFailure e) {
                throw e.exception;
            } catch (SvfSyntaxException | AsynchronousCloseException e) {
                throw e;
            } catch (IOException | IllegalArgumentException | IllegalStateException e) {
                throw new SvfPlayException(line, e);
            }
            listener.progress(statements, text.count());
            return new SvfSummary(statements, scans, compares, batch.commandBytes(), batch.busTime());
        }
    }

    private void apply(JtagBatch batch, SvfStatement statement) throws IOException {
        if (statement instanceof SvfScan) {
            scan(batch, (SvfScan) statement);
        } else if (statement instanceof SvfEndState) {
            SvfEndState end = (SvfEndState) statement;
            if (end.instruction()) {
                endIr = tapState(end.state());
            } else {
                endDr = tapState(end.state());
            }
        } else if (statement instanceof SvfStatePath) {
            SvfStatePath path = (SvfStatePath) statement;
            if (path.path().size() == 1) {
                batch.goTo(tapState(path.end()));
            } else {
                batch.walk(path.path().stream().map(SvfRun::tapState).toArray(TapState[]::new));
            }
        } else if (statement instanceof SvfRunTest) {
            SvfRunTest run = (SvfRunTest) statement;
            // SCK counts are clocked on TCK: the adapter has no other clock to count.
            Duration minimum = run.minSeconds() > 0 ? Duration.ofNanos((long) Math.ceil(run.minSeconds() * 1e9)) : null;
            batch.runTest(tapState(run.runState()), run.clocks(), minimum, tapState(run.endState()));
        } else if (statement instanceof SvfFrequency) {
            double hertz = ((SvfFrequency) statement).hertz();
            batch.setClockHz(hertz >= highestClockHz ? highestClockHz : Math.max(1, (long) hertz));
        } else {
            SvfTrst.Mode mode = ((SvfTrst) statement).mode();
            // Without a TRST* pin only ON cannot be honoured; the controller then says so.
            if (mode == SvfTrst.Mode.ON || (mode != SvfTrst.Mode.ABSENT && jtag.config().trstPin().isPresent())) {
                batch.setTrst(mode == SvfTrst.Mode.ON);
            }
        }
    }

    private void scan(JtagBatch batch, SvfScan scan) throws IOException {
        SvfScan.Kind kind = scan.kind();
        if (kind != SvfScan.Kind.SIR && kind != SvfScan.Kind.SDR) {
            headers[kind.ordinal()] = scan;
            return;
        }
        scans++;
        boolean instruction = kind == SvfScan.Kind.SIR;
        SvfScan header = headers[(instruction ? SvfScan.Kind.HIR : SvfScan.Kind.HDR).ordinal()];
        SvfScan trailer = headers[(instruction ? SvfScan.Kind.TIR : SvfScan.Kind.TDR).ordinal()];
        TapState end = instruction ? endIr : endDr;
        SvfBits tdi = SvfBits.join(header.tdi(), scan.tdi(), trailer.tdi());
        if (tdi.length() == 0) {
            batch.goTo(end);
            return;
        }
        if (!header.compares() && !scan.compares() && !trailer.compares()) {
            if (instruction) {
                batch.writeIr(tdi.length(), tdi.raw(), end);
            } else {
                batch.writeDr(tdi.length(), tdi.raw(), end);
            }
            return;
        }
        compares++;
        SvfBits expected = SvfBits.join(expected(header), expected(scan), expected(trailer));
        SvfBits mask = SvfBits.join(mask(header), mask(scan), mask(trailer));
        int line = scan.line();
        JtagBatch.Capture check = captured -> {
            if (!expected.matches(captured, mask)) {
                throw new CompareFailure(new SvfCompareException(line, expected,
                        SvfBits.of(expected.length(), captured), mask));
            }
        };
        if (instruction) {
            batch.scanIr(tdi.length(), tdi.raw(), end, check);
        } else {
            batch.scanDr(tdi.length(), tdi.raw(), end, check);
        }
    }

    private static SvfBits expected(SvfScan scan) {
        return scan.compares() ? scan.tdo() : new SvfBits(scan.length(), new byte[SvfBits.byteLength(scan.length())]);
    }

    private static SvfBits mask(SvfScan scan) {
        return scan.compares() ? scan.mask() : new SvfBits(scan.length(), new byte[SvfBits.byteLength(scan.length())]);
    }

    static TapState tapState(SvfState state) {
        switch (state) {
            case RESET: return TapState.TEST_LOGIC_RESET;
            case IDLE: return TapState.RUN_TEST_IDLE;
            case DRSELECT: return TapState.SELECT_DR_SCAN;
            case DRCAPTURE: return TapState.CAPTURE_DR;
            case DRSHIFT: return TapState.SHIFT_DR;
            case DREXIT1: return TapState.EXIT1_DR;
            case DRPAUSE: return TapState.PAUSE_DR;
            case DREXIT2: return TapState.EXIT2_DR;
            case DRUPDATE: return TapState.UPDATE_DR;
            case IRSELECT: return TapState.SELECT_IR_SCAN;
            case IRCAPTURE: return TapState.CAPTURE_IR;
            case IRSHIFT: return TapState.SHIFT_IR;
            case IREXIT1: return TapState.EXIT1_IR;
            case IRPAUSE: return TapState.PAUSE_IR;
            case IREXIT2: return TapState.EXIT2_IR;
            default: return TapState.UPDATE_IR;
        }
    }

    /** Carries a failed compare out of the batch's capture callback. */
    private static final class CompareFailure extends RuntimeException {
        private static final long serialVersionUID = 1L;
        final transient SvfCompareException exception;

        CompareFailure(SvfCompareException exception) {
            super(exception.getMessage(), null, false, false);
            this.exception = exception;
        }
    }
}
