package nl.tamsel.ftdi.benchmark;

import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;

/** The driver functions through JNA direct mapping, with native memory for buffers and counts. */
final class JnaPointers {

    static {
        Native.register(JnaPointers.class, NativeLibrary.getInstance(LibraryPaths.driver()));
    }

    private JnaPointers() {
    }

    static native int FT_GetQueueStatus(Pointer handle, Pointer rxBytes);

    static native int FT_Read(Pointer handle, Pointer buffer, int bytesToRead, Pointer bytesReturned);

    static native int FT_Write(Pointer handle, Pointer buffer, int bytesToWrite, Pointer bytesWritten);
}
