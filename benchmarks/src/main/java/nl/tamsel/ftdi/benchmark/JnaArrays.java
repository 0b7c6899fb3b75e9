package nl.tamsel.ftdi.benchmark;

import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;

/** The driver functions through JNA direct mapping, with Java arrays for buffers and counts. */
final class JnaArrays {

    static {
        Native.register(JnaArrays.class, NativeLibrary.getInstance(LibraryPaths.driver()));
    }

    private JnaArrays() {
    }

    static native int FT_GetQueueStatus(Pointer handle, int[] rxBytes);

    static native int FT_Read(Pointer handle, byte[] buffer, int bytesToRead, int[] bytesReturned);

    static native int FT_Write(Pointer handle, byte[] buffer, int bytesToWrite, int[] bytesWritten);
}
