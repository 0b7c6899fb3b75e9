package nl.tamsel.ftdi.usb;

import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicLong;
import java.util.concurrent.locks.LockSupport;

/**
 * Keeps a device's handle open while calls use it: any number of calls run side by side, each
 * entering and leaving with one atomic addition, and closing waits until the calls in progress
 * have left. Once closing has begun no call enters. Reads are counted apart, so that closing
 * can wake them.
 */
final class CloseGuard {

    /** One call in progress: bits 0 to 30 count them. */
    private static final long CALL = 1L;
    /** One read among them: bits 31 to 61 count those. */
    private static final long READ = 1L << 31;
    private static final long CLOSED = 1L << 62;
    private static final long CALLS = READ - 1;
    private static final long READS = CLOSED - READ;

    private final AtomicLong state = new AtomicLong();
    /** The thread that closes, woken by the last call to leave. */
    private volatile Thread closer;

    /**
     * Enters a call.
     *
     * @param read whether the call reads, so that closing must wake it
     * @return false, having entered nothing, when closing has begun
     */
    boolean enter(boolean read) {
        long step = read ? CALL + READ : CALL;
        if ((state.addAndGet(step) & CLOSED) == 0) {
            return true;
        }
        leave(read);
        return false;
    }

    /** Leaves a call that {@link #enter} let in, with the same {@code read}. */
    void leave(boolean read) {
        long left = state.addAndGet(read ? -(CALL + READ) : -CALL);
        if ((left & CLOSED) != 0 && (left & CALLS) == 0) {
            LockSupport.unpark(closer);
        }
    }

    boolean isClosed() {
        return (state.get() & CLOSED) != 0;
    }

    /**
     * Begins closing and waits until no call is in progress. While reads are in progress,
     * {@code wakeReads} runs every {@code retryMillis}.
     *
     * @return false when closing had begun before, and nothing was waited for
     */
    boolean close(Runnable wakeReads, long retryMillis) {
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
            if ((now & READS) != 0) {
                wakeReads.run();
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
