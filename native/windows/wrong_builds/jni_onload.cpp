// A bridge that registers itself at load time, which the bridge must never do: its DLL exports
// JNI_OnLoad beside the 29 JNI functions.
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM*, void*) {
    return JNI_VERSION_1_8;
}
