package nl.tamsel.ftdi.svf;

import java.time.Duration;

/**
 * What a run of {@link SvfPlayer} did.
 *
 * @param statements   the statements played
 * @param scans        the SIR and SDR scans among them
 * @param compares     the scans whose captured bits were compared
 * @param commandBytes the MPSSE command bytes written
 * @param busTime      the time the bus was clocked for, at the frequencies set
 */
public record SvfSummary(long statements, long scans, long compares, long commandBytes, Duration busTime) {
}
