package nl.tamsel.ftdi.usb.reliability;

import static org.junit.jupiter.api.Assertions.fail;

import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Queue;
import java.util.concurrent.ConcurrentLinkedQueue;

/**
 * Threads of one test that must all end within a bound. A thread still running at the bound is
 * taken for a deadlock: every thread's stack is printed and the test fails. The first failure
 * thrown in any thread fails the test too, with the others attached.
 */
final class BoundedThreads {

    @FunctionalInterface
    interface Body {
        void run() throws Exception;
    }

    private final List<Thread> threads = new ArrayList<>();
    private final Queue<Throwable> failures = new ConcurrentLinkedQueue<>();

    /** Starts a thread; what it throws is kept as a failure. */
    Thread start(String name, Body body) {
        Thread thread = new Thread(() -> {
            try {
                body.run();
            } catch (Throwable e) {
                failures.add(e);
            }
        }, name);
        thread.setDaemon(true);
        synchronized (threads) {
            threads.add(thread);
        }
        thread.start();
        return thread;
    }

    /** Waits for every thread started so far; fails on the first failure or a thread left running. */
    void joinAll(Duration bound) throws InterruptedException {
        long deadline = System.nanoTime() + bound.toNanos();
        List<Thread> started;
        synchronized (threads) {
            started = new ArrayList<>(threads);
        }
        for (Thread thread : started) {
            thread.join(Math.max(1, (deadline - System.nanoTime()) / 1_000_000));
            if (thread.isAlive()) {
                printAllStacks();
                fail("thread " + thread.getName() + " did not end within " + bound
                        + ": a deadlock or a call that close did not end; the threads' stacks are printed above");
            }
        }
        throwFirstFailure();
    }

    private void throwFirstFailure() {
        Throwable first = failures.poll();
        if (first == null) {
            return;
        }
        for (Throwable other : failures) {
            first.addSuppressed(other);
        }
        if (first instanceof Error error) {
            throw error;
        }
        throw new AssertionError("a test thread failed: " + first, first);
    }

    private static void printAllStacks() {
        StringBuilder dump = new StringBuilder("Thread stacks at the deadlock bound:\n");
        for (Map.Entry<Thread, StackTraceElement[]> entry : Thread.getAllStackTraces().entrySet()) {
            dump.append('"').append(entry.getKey().getName()).append("\" ").append(entry.getKey().getState()).append('\n');
            for (StackTraceElement frame : entry.getValue()) {
                dump.append("    at ").append(frame).append('\n');
            }
        }
        System.err.print(dump);
    }
}
