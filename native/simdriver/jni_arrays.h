// Byte-array helpers shared by the control natives: copies between Java arrays and call-local
// buffers, each leaving an exception pending on failure.
#ifndef SIM_JNI_ARRAYS_H
#define SIM_JNI_ARRAYS_H

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// Copies a Java byte array into a call-local buffer; false with an exception pending.
inline bool copyBytes(JNIEnv* env, jbyteArray array, std::vector<uint8_t>& out) {
    const jsize length = env->GetArrayLength(array);
    out.resize(static_cast<std::size_t>(length));
    if (length > 0) {
        env->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte*>(out.data()));
    }
    return !env->ExceptionCheck();
}

// A new Java byte array holding the bytes, or null with an exception pending.
inline jbyteArray newByteArray(JNIEnv* env, const uint8_t* bytes, std::size_t length) {
    const auto size = static_cast<jsize>(length);
    jbyteArray array = env->NewByteArray(size);
    if (array == nullptr || env->ExceptionCheck()) {
        return nullptr;
    }
    if (size > 0) {
        env->SetByteArrayRegion(array, 0, size, reinterpret_cast<const jbyte*>(bytes));
        if (env->ExceptionCheck()) {
            env->DeleteLocalRef(array);
            return nullptr;
        }
    }
    return array;
}

}  // namespace sim

#endif  // SIM_JNI_ARRAYS_H
