// The cheapest JNI calls there are, the floors for every binding: calls shaped like the
// bridge's queries (a static method taking a long, returning an int) and like its transfers
// (a handle, an array, an offset and a length) doing nothing, and calls
// that make just one of the VM callbacks the bridge's transfers make, so that each callback's
// own cost shows as the difference.
#include <jni.h>

extern "C" {

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_benchmark_BareJni_call(JNIEnv*, jclass, jlong) {
    return 0;
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_benchmark_BareJni_transfer(JNIEnv*, jclass, jlong,
                                                                      jbyteArray, jint, jint) {
    return 0;
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_benchmark_BareJni_arrayLength(JNIEnv* env, jclass,
                                                                         jbyteArray array) {
    return env->GetArrayLength(array);
}

// Copies the first `length` bytes (at most 256, the caller's promise) into a stack buffer, as
// the bridge's small writes do.
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_benchmark_BareJni_copyRegion(JNIEnv* env, jclass,
                                                                        jbyteArray array,
                                                                        jint length) {
    jbyte buffer[256];
    env->GetByteArrayRegion(array, 0, length, buffer);
    return length;
}

}  // extern "C"
