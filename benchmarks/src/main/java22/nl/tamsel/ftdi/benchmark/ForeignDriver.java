package nl.tamsel.ftdi.benchmark;

import static java.lang.foreign.ValueLayout.ADDRESS;
import static java.lang.foreign.ValueLayout.JAVA_BYTE;
import static java.lang.foreign.ValueLayout.JAVA_INT;
import static java.lang.foreign.ValueLayout.JAVA_LONG;

import java.lang.foreign.Arena;
import java.lang.foreign.FunctionDescriptor;
import java.lang.foreign.Linker;
import java.lang.foreign.MemorySegment;
import java.lang.foreign.SymbolLookup;
import java.lang.invoke.MethodHandle;
import java.nio.file.Path;

/**
 * The driver functions through FFM downcall handles. The handles are static finals, so that the
 * JIT compiler sees them as constants, as it does in any well-written FFM binding. Buffers and
 * the count live in native memory allocated once, as a careful FFM user would keep them.
 */
final class ForeignDriver implements ForeignCalls {

    private static final int BUFFER_SIZE = 65536;
    private static final String DRIVER = LibraryPaths.driver();
    private static final FunctionDescriptor TRANSFER =
            FunctionDescriptor.of(JAVA_INT, ADDRESS, ADDRESS, JAVA_INT, ADDRESS);
    private static final MethodHandle GET_QUEUE_STATUS =
            downcall(DRIVER, "FT_GetQueueStatus", FunctionDescriptor.of(JAVA_INT, ADDRESS, ADDRESS));
    private static final MethodHandle READ = downcall(DRIVER, "FT_Read", TRANSFER);
    private static final MethodHandle WRITE = downcall(DRIVER, "FT_Write", TRANSFER);
    // The empty JNI function ignores its environment and class arguments, so FFM can call it.
    private static final MethodHandle BARE = downcall(LibraryPaths.bareJni(),
            "Java_nl_tamsel_ftdi_benchmark_BareJni_call", FunctionDescriptor.of(JAVA_INT, ADDRESS, ADDRESS, JAVA_LONG));

    private final MemorySegment handle;
    private final MemorySegment count;
    private final MemorySegment buffer;

    ForeignDriver(long handle) {
        Arena arena = Arena.ofAuto();
        this.handle = MemorySegment.ofAddress(handle);
        count = arena.allocate(JAVA_INT);
        buffer = arena.allocate(BUFFER_SIZE);
    }

    private static MethodHandle downcall(String library, String function, FunctionDescriptor descriptor) {
        MemorySegment address = SymbolLookup.libraryLookup(Path.of(library), Arena.global())
                .find(function).orElseThrow();
        return Linker.nativeLinker().downcallHandle(address, descriptor);
    }

    private int countOrError(int status) {
        return status == 0 ? count.get(JAVA_INT, 0) : -status;
    }

    @Override
    public int bareDowncall() {
        try {
            return (int) BARE.invokeExact(MemorySegment.NULL, MemorySegment.NULL, handle.address());
        } catch (Throwable e) {
            throw new IllegalStateException(e);
        }
    }

    @Override
    public int getQueueStatus() {
        try {
            return countOrError((int) GET_QUEUE_STATUS.invokeExact(handle, count));
        } catch (Throwable e) {
            throw new IllegalStateException(e);
        }
    }

    @Override
    public int read(byte[] bytes, int length) {
        int received = readNative(length);
        if (received > 0) {
            MemorySegment.copy(buffer, JAVA_BYTE, 0, bytes, 0, received);
        }
        return received;
    }

    @Override
    public int write(byte[] bytes, int length) {
        MemorySegment.copy(bytes, 0, buffer, JAVA_BYTE, 0, length);
        return writeNative(length);
    }

    @Override
    public int readNative(int length) {
        try {
            return countOrError((int) READ.invokeExact(handle, buffer, length, count));
        } catch (Throwable e) {
            throw new IllegalStateException(e);
        }
    }

    @Override
    public int writeNative(int length) {
        try {
            return countOrError((int) WRITE.invokeExact(handle, buffer, length, count));
        } catch (Throwable e) {
            throw new IllegalStateException(e);
        }
    }
}
