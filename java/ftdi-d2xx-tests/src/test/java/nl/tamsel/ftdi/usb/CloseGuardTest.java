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
import org.junit.jupiter.params.provider.EnumSource;

/** The guard alone: who may enter when, what closing waits for, and whom it wakes. */
class CloseGuardTest {

    /** Bounds a wait that would otherwise hang on a bug; not a speed requirement. */
    private static final long HANG_GUARD_SECONDS = 20;
    private static final long RETRY_MILLIS = 1;

    private final CloseGuard guard = new CloseGuard();

    @ParameterizedTest
    @EnumSource(CloseGuard.Kind.class)
    void nothingEntersOnceClosingHasBegunAndClosingHappensOnce(CloseGuard.Kind kind) {
        assertTrue(guard.enter(kind));
        guard.leave(kind);
        assertTrue(guard.close(mask -> { }, RETRY_MILLIS));
        assertTrue(guard.isClosed());
        assertFalse(guard.enter(kind));
        assertFalse(guard.close(mask -> { }, RETRY_MILLIS), "a second close waits for nothing");
        // A refused call must leave no trace: a later close would otherwise wait for it.
        for (CloseGuard.Kind other : CloseGuard.Kind.values()) {
            assertFalse(guard.enter(other));
        }
    }

    /** Closing waits for each call in progress; it wakes reads and writes with their purge, no other call. */
    @ParameterizedTest
    @EnumSource(CloseGuard.Kind.class)
    void closingWaitsForTheCallInProgressAndWakesOnlyReadsAndWrites(CloseGuard.Kind kind) throws Exception {
        assertTrue(guard.enter(kind));
        assertTrue(guard.enter(CloseGuard.Kind.OTHER), "calls run side by side");
        guard.leave(CloseGuard.Kind.OTHER);
        AtomicInteger wakes = new AtomicInteger();
        AtomicInteger masks = new AtomicInteger();
        CompletableFuture<Boolean> closing = CompletableFuture.supplyAsync(() -> guard.close(mask -> {
            masks.accumulateAndGet(mask, (a, b) -> a | b);
            wakes.incrementAndGet();
        }, RETRY_MILLIS));
        awaitTrue(guard::isClosed);
        int expected = switch (kind) {
            case READ -> D2XXConstants.FT_PURGE_RX;
            case WRITE -> D2XXConstants.FT_PURGE_TX;
            case OTHER -> 0;
        };
        if (expected != 0) {
            awaitTrue(() -> wakes.get() > 0);
        }
        assertFalse(closing.isDone(), "close returned while a call was in progress");
        guard.leave(kind);
        assertTrue(closing.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS));
        assertEquals(expected, masks.get(), "what close purged to wake the call in progress");
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
        assertTrue(guard.enter(CloseGuard.Kind.OTHER));
        CompletableFuture<Boolean> interruptedAfterClose = new CompletableFuture<>();
        Thread closer = new Thread(() -> {
            guard.close(mask -> { }, RETRY_MILLIS);
            interruptedAfterClose.complete(Thread.currentThread().isInterrupted());
        });
        closer.start();
        awaitTrue(guard::isClosed);
        closer.interrupt();
        guard.leave(CloseGuard.Kind.OTHER);
        assertTrue(interruptedAfterClose.get(HANG_GUARD_SECONDS, TimeUnit.SECONDS));
        closer.join();
    }
}
