package nl.tamsel.ftdi.usb;

import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicLong;
import java.util.concurrent.locks.LockSupport;
import java.util.function.IntConsumer;

/**
 * Keeps a device's handle open while calls use it: any number of calls run side by side, each
 * entering and leaving with one atomic addition, and closing waits until the calls in progress
 * have left. Once closing has begun no call enters. Reads and writes are counted apart, so that
 * closing can wake those that wait in the driver.
 */
final class CloseGuard {

    /** What a call is, for closing to know whom to wake: the value is the call's step. */
    enum Kind {
        OTHER(CALL), READ(CALL + ONE_READ), WRITE(CALL + ONE_WRITE);

        final long step;

        Kind(long step) {
            this.step = step;
        }
    }

    /** One call in progress: bits 0 to 19 count them. */
    private static final long CALL = 1L;
    /** One read among them: bits 20 to 39 count those. */
    private static final long ONE_READ = 1L << 20;
    /** One write among them: bits 40 to 59 count those. */
    private static final long ONE_WRITE = 1L << 40;
    private static final long CLOSED = 1L << 62;
    private static final long CALLS = ONE_READ - 1;
    private static final long READS = ONE_WRITE - ONE_READ;
    private static final long WRITES = (1L << 60) - ONE_WRITE;

    private final AtomicLong state = new AtomicLong();
    /** The thread that closes, woken by the last call to leave. */
    private volatile Thread closer;

    /**
     * Enters a call.
     *
     * @param kind what the call does, so that closing can wake it
     * @return false, having entered nothing, when closing has begun
     */
    boolean enter(Kind kind) {
        if ((state.addAndGet(kind.step) & CLOSED) == 0) {
            return true;
        }
        leave(kind);
        return false;
    }

    /** Leaves a call that {@link #enter} let in, of the same kind. */
    void leave(Kind kind) {
        long left = state.addAndGet(-kind.step);
        if ((left & CLOSED) != 0 && (left & CALLS) == 0) {
            LockSupport.unpark(closer);
        }
    }

    boolean isClosed() {
        return (state.get() & CLOSED) != 0;
    }

    /**
     * Begins closing and waits until no call is in progress. While reads or writes are in
     * progress, {@code wake} runs every {@code retryMillis} with the receive purge bit, the
     * transmit purge bit or both.
     *
     * @return false when closing had begun before, and nothing was waited for
     */
    boolean close(IntConsumer wake, long retryMillis) {
        long before;
        do {
            before = state.get();
            if ((before & CLOSED) != 0) {
                return false;
            }
        } while (!state.compareAndSet(before, before | CLOSED));
        // A call that leaves before this is set does not wake the closer, which then looks
        // again after one retry interval.
        Thread current = Thread.currentThread();
        closer = current;
        boolean interrupted = false;
        for (long now = state.get(); (now & CALLS) != 0; now = state.get()) {
            int waiting = ((now & READS) != 0 ? D2XXConstants.FT_PURGE_RX : 0)
                    | ((now & WRITES) != 0 ? D2XXConstants.FT_PURGE_TX : 0);
            if (waiting != 0) {
                wake.accept(waiting);
            }
            LockSupport.parkNanos(this, TimeUnit.MILLISECONDS.toNanos(retryMillis));
            // An interrupt would end every park at once; it is kept for the caller instead.
            interrupted |= Thread.interrupted();
        }
        if (interrupted) {
            current.interrupt();
        }
        return true;
    }
}
