package nl.tamsel.ftdi.usb;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.function.BooleanSupplier;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** The guard alone: who may enter when, what closing waits for, and whom it wakes. */
class CloseGuardTest {

    /** Bounds a wait that would otherwise hang on a bug; not a speed requirement. */
    private static final long HANG_GUARD_SECONDS = 20;
    private static final long RETRY_MILLIS = 1;

    private final CloseGuard guard = new CloseGuard();

    @ParameterizedTest(name = "read: {0}")
    @ValueSource(booleans = {false, true})
    void nothingEntersOnceClosingHasBegunAndClosingHappensOnce(boolean read) {
        assertTrue(guard.enter(read));
        guard.leave(read);
        assertTrue(guard.close(() -> { }, RETRY_MILLIS));
        assertTrue(guard.isClosed());
        assertFalse(guard.enter(read));
        assertFalse(guard.close(() -> { }, RETRY_MILLIS), "a second close waits for nothing");
        // A refused call must leave no trace: a later close would otherwise wait for it.
        assertFalse(guard.enter(!read));
    }

    /** Closing waits for each call in progress; it wakes reads, and only reads. */
    @ParameterizedTest(name = "read: {0}")
    @ValueSource(booleans = {false, true})
    void closingWaitsForTheCallInProgressAndWakesOnlyReads(boolean read) throws Exception {
        assertTrue(guard.enter(read));
        assertTrue(guard.enter(false), "calls run side by side");
        guard.leave(false);
        AtomicInteger wakes = new AtomicInteger();
        CompletableFuture<Boolean> closing = CompletableFuture.supplyAsync(
                () -> guard.close(wakes::incrementAndGet, RETRY_MILLIS));
        awaitTrue(guard::isClosed);
        if (read) {
            awaitTrue(() -> wakes.get() > 0);
        }
        assertFalse(closing.isDone(), "close returned while a call was in progress");
        guard.leave(read);
        assertTrue(closing.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS));
        if (!read) {
            assertEquals(0, wakes.get(), "no read was in progress to wake");
        }
    }

    private static void awaitTrue(BooleanSupplier condition) {
        long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(HANG_GUARD_SECONDS);
        while (!condition.getAsBoolean()) {
            assertTrue(System.nanoTime() - deadline < 0, "waited in vain");
            Thread.onSpinWait();
        }
    }

    @Test
    void anInterruptWhileClosingWaitsIsKeptForTheCaller() throws Exception {
        assertTrue(guard.enter(false));
        CompletableFuture<Boolean> interruptedAfterClose = new CompletableFuture<>();
        Thread closer = new Thread(() -> {
            guard.close(() -> { }, RETRY_MILLIS);
            interruptedAfterClose.complete(Thread.currentThread().isInterrupted());
        });
        closer.start();
        awaitTrue(guard::isClosed);
        closer.interrupt();
        guard.leave(false);
        assertTrue(interruptedAfterClose.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS));
        closer.join();
    }
}
