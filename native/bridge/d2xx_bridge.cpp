// The JNI bridge between nl.tamsel.ftdi.usb.D2XX and the D2XX driver: each native method
// unpacks its Java arguments, makes one driver call (the enumeration makes two, the VID/PID
// methods none) and packs the outcome into a Java value. Errors travel as negated statuses.
// Nothing is kept between calls: no globals, no caches, no handle table.
#include <jni.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "d2xx.h"
#include "d2xx_exports.h"

namespace {

constexpr jint kStackTransferLimit = 256;
constexpr size_t kSerialNumberChars = 16;
constexpr size_t kDescriptionChars = 64;
constexpr char kDeviceInfoClass[] = "nl/tamsel/ftdi/usb/DeviceInfo";
constexpr char kDeviceInfoConstructor[] = "(IIIILjava/lang/String;Ljava/lang/String;J)V";
constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;
// Returned alongside a pending exception; the Java caller sees the exception, never this.
constexpr jint kExceptionPending = 0;

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

// A handle travels through Java as a long. A 32-bit handle is zero-extended, so that an address
// at or above 2 GiB stays positive and is never read as a negated status; on the way back the
// long is truncated to the pointer's width. On 64-bit targets the long is the pointer's bits.
FT_HANDLE toHandle(jlong handle) {
    return reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(static_cast<uint64_t>(handle)));
}

jlong fromHandle(FT_HANDLE handle) {
    return static_cast<jlong>(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle)));
}

// The negated status. A status above 0x80000000 has no negative negation and would read as
// success; no driver publishes one, and it is reported as the most negative int instead.
jint toErrorResult(FT_STATUS status) {
    const auto negated = static_cast<jint>(0u - status);
    return status == FT_OK || negated < 0 ? negated : INT32_MIN;
}

jint valueOrError(FT_STATUS status, jint value) {
    return status == FT_OK ? value : toErrorResult(status);
}

jlong handleOrError(FT_STATUS status, FT_HANDLE handle) {
    return status == FT_OK ? fromHandle(handle) : static_cast<jlong>(toErrorResult(status));
}

uint8_t toDriverBool(jboolean value) {
    return value != JNI_FALSE ? 1 : 0;
}

void throwNew(JNIEnv* env, const char* className, const char* message) {
    jclass exceptionClass = env->FindClass(className);
    if (exceptionClass == nullptr) {
        return;  // FindClass left its own exception pending
    }
    env->ThrowNew(exceptionClass, message);
    env->DeleteLocalRef(exceptionClass);
}

// A transfer whose array region is not inside the array never reaches the driver: Java sees
// the exception its own array accessors would raise, and the device sees nothing.
bool checkRegion(JNIEnv* env, jbyteArray buffer, jint offset, jint length) {
    if (buffer == nullptr) {
        throwNew(env, "java/lang/NullPointerException", "buffer is null");
        return false;
    }
    const jsize arrayLength = env->GetArrayLength(buffer);
    // Written so that no sum can overflow: arrayLength - offset is safe once offset >= 0.
    if (offset < 0 || length < 0 || length > arrayLength - offset) {
        char message[112];
        std::snprintf(message, sizeof message, "offset %d, length %d, array length %d",
                      static_cast<int>(offset), static_cast<int>(length),
                      static_cast<int>(arrayLength));
        throwNew(env, "java/lang/ArrayIndexOutOfBoundsException", message);
        return false;
    }
    return true;
}

// Runs one transfer of a checked, non-empty region through a call-local buffer: the stack up to
// the stack limit, a heap block freed on every path above it. The Java array is never pinned.
template <typename Transfer>
jint withTransferBuffer(JNIEnv* env, jbyteArray array, jint offset, jint length,
                        Transfer transfer) {
    if (!checkRegion(env, array, offset, length)) {
        return kExceptionPending;
    }
    if (length == 0) {
        return 0;
    }
    if (length <= kStackTransferLimit) {
        jbyte stackBuffer[kStackTransferLimit];
        return transfer(stackBuffer);
    }
    std::unique_ptr<jbyte, FreeDeleter> heapBuffer(
        static_cast<jbyte*>(std::malloc(static_cast<size_t>(length))));
    if (!heapBuffer) {
        return toErrorResult(FT_INSUFFICIENT_RESOURCES);
    }
    return transfer(heapBuffer.get());
}

// A driver that reports more bytes than it was asked for must not make us copy past the
// transfer buffer or the array region.
jint clampCount(uint32_t count, jint length) {
    return count > static_cast<uint32_t>(length) ? length : static_cast<jint>(count);
}

template <size_t MaxChars>
jlong openByText(JNIEnv* env, jstring text, uint32_t mode, const char* what) {
    if (text == nullptr) {
        throwNew(env, "java/lang/NullPointerException", what);
        return kExceptionPending;
    }
    jsize chars = env->GetStringLength(text);
    if (env->ExceptionCheck()) {
        return kExceptionPending;
    }
    if (chars > static_cast<jsize>(MaxChars)) {
        chars = static_cast<jsize>(MaxChars);
    }
    // Three bytes per UTF-16 unit is the longest modified UTF-8 form; the zero fill after the
    // converted bytes is the terminator the driver reads.
    char textBuffer[3 * MaxChars + 1] = {};
    env->GetStringUTFRegion(text, 0, chars, textBuffer);
    if (env->ExceptionCheck()) {
        return kExceptionPending;
    }
    FT_HANDLE handle = nullptr;
    const FT_STATUS status = FT_OpenEx(textBuffer, mode, &handle);
    return handleOrError(status, handle);
}

bool endsText(char byte) {
    const signed char value = static_cast<signed char>(byte);
    return value >= 0 && value <= 31;
}

// The driver's fixed-size text field as a String decoded with the VM's default charset: the
// text ends at the first control byte (NUL included) or at the end of the field.
jstring newStringFromBytes(JNIEnv* env, const char* bytes, size_t limit) {
    size_t end = 0;
    while (end < limit && !endsText(bytes[end])) {
        ++end;
    }
    const jsize length = static_cast<jsize>(end);
    jbyteArray array = env->NewByteArray(length);
    if (array == nullptr) {
        return nullptr;
    }
    jclass stringClass = env->FindClass("java/lang/String");
    if (stringClass == nullptr) {
        env->DeleteLocalRef(array);
        return nullptr;
    }
    jmethodID constructor = env->GetMethodID(stringClass, "<init>", "([B)V");
    if (constructor == nullptr) {
        env->DeleteLocalRef(stringClass);
        env->DeleteLocalRef(array);
        return nullptr;
    }
    env->SetByteArrayRegion(array, 0, length, reinterpret_cast<const jbyte*>(bytes));
    jobject text = env->NewObject(stringClass, constructor, array);
    env->DeleteLocalRef(stringClass);
    env->DeleteLocalRef(array);
    if (env->ExceptionCheck()) {
        if (text != nullptr) {
            env->DeleteLocalRef(text);
        }
        return nullptr;
    }
    return static_cast<jstring>(text);
}

// Fills result[0 .. count-1]. Returns false as soon as a VM call fails: an exception is then
// pending and JNI allows no further object construction.
bool fillDeviceInfos(JNIEnv* env, jobjectArray result, jclass infoClass, jmethodID constructor,
                     const FT_DEVICE_LIST_INFO_NODE* nodes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        jstring serialNumber = newStringFromBytes(env, node.SerialNumber, kSerialNumberChars);
        if (serialNumber == nullptr) {
            return false;
        }
        jstring description = newStringFromBytes(env, node.Description, kDescriptionChars);
        if (description == nullptr) {
            env->DeleteLocalRef(serialNumber);
            return false;
        }
        jobject info = env->NewObject(infoClass, constructor, static_cast<jint>(node.Flags),
                                      static_cast<jint>(node.Type), static_cast<jint>(node.ID),
                                      static_cast<jint>(node.LocId), serialNumber, description,
                                      fromHandle(node.ftHandle));
        // Released per element so that a long list never exhausts the local reference table.
        env->DeleteLocalRef(description);
        env->DeleteLocalRef(serialNumber);
        if (env->ExceptionCheck()) {
            if (info != nullptr) {
                env->DeleteLocalRef(info);
            }
            return false;
        }
        env->SetObjectArrayElement(result, static_cast<jsize>(i), info);
        env->DeleteLocalRef(info);
        if (env->ExceptionCheck()) {
            return false;
        }
    }
    return true;
}

// Records past `count` stay null: the node buffer could not be had, or the constructor was not
// found (its exception pending). Returns false when a VM call failed inside the loop.
bool fillFromDriverList(JNIEnv* env, jobjectArray result, jclass infoClass, uint32_t count,
                        bool& driverFailed) {
    std::unique_ptr<FT_DEVICE_LIST_INFO_NODE, FreeDeleter> nodes(
        static_cast<FT_DEVICE_LIST_INFO_NODE*>(
            std::calloc(count, sizeof(FT_DEVICE_LIST_INFO_NODE))));
    if (!nodes) {
        return true;
    }
    uint32_t listed = count;
    if (FT_GetDeviceInfoList(nodes.get(), &listed) != FT_OK) {
        driverFailed = true;
        return true;
    }
    // The node buffer and the array hold `count` records, whatever the second call reports.
    if (listed > count) {
        listed = count;
    }
    jmethodID constructor = env->GetMethodID(infoClass, "<init>", kDeviceInfoConstructor);
    if (constructor == nullptr) {
        return true;
    }
    return fillDeviceInfos(env, result, infoClass, constructor, nodes.get(), listed);
}

}  // namespace

extern "C" {

// ---- Status queries and the VID/PID methods ----

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_getLibraryVersion(JNIEnv*, jclass) {
    uint32_t version = 0;
    const FT_STATUS status = FT_GetLibraryVersion(&version);
    return valueOrError(status, static_cast<jint>(version));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_getDriverVersion(JNIEnv*, jclass,
                                                                      jlong handle) {
    uint32_t version = 0;
    const FT_STATUS status = FT_GetDriverVersion(toHandle(handle), &version);
    return valueOrError(status, static_cast<jint>(version));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_getComPortNumber(JNIEnv*, jclass,
                                                                      jlong handle) {
    int32_t port = 0;
    const FT_STATUS status = FT_GetComPortNumber(toHandle(handle), &port);
    return valueOrError(status, port);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_getModemStatus(JNIEnv*, jclass,
                                                                    jlong handle) {
    uint32_t modemStatus = 0;
    const FT_STATUS status = FT_GetModemStatus(toHandle(handle), &modemStatus);
    return valueOrError(status, static_cast<jint>(modemStatus));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_getQueueStatus(JNIEnv*, jclass,
                                                                    jlong handle) {
    uint32_t queued = 0;
    const FT_STATUS status = FT_GetQueueStatus(toHandle(handle), &queued);
    return valueOrError(status, static_cast<jint>(queued));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_getLatencyTimer(JNIEnv*, jclass,
                                                                     jlong handle) {
    uint8_t latency = 0;
    const FT_STATUS status = FT_GetLatencyTimer(toHandle(handle), &latency);
    return valueOrError(status, latency);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setVIDPID(JNIEnv*, jclass, jint, jint) {
    return toErrorResult(FT_NOT_SUPPORTED);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_getVID(JNIEnv*, jclass) {
    return toErrorResult(FT_NOT_SUPPORTED);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_getPID(JNIEnv*, jclass) {
    return toErrorResult(FT_NOT_SUPPORTED);
}

// ---- Opening and closing ----

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_usb_D2XX_openByIndex(JNIEnv*, jclass, jint index) {
    FT_HANDLE handle = nullptr;
    const FT_STATUS status = FT_Open(index, &handle);
    return handleOrError(status, handle);
}

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_usb_D2XX_openBySerialNumber(JNIEnv* env, jclass,
                                                                         jstring serialNumber) {
    return openByText<kSerialNumberChars>(env, serialNumber, FT_OPEN_BY_SERIAL_NUMBER,
                                          "serialNumber is null");
}

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_usb_D2XX_openByDescription(JNIEnv* env, jclass,
                                                                        jstring description) {
    return openByText<kDescriptionChars>(env, description, FT_OPEN_BY_DESCRIPTION,
                                         "description is null");
}

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_usb_D2XX_openByLocationId(JNIEnv*, jclass,
                                                                       jint locationId) {
    // The driver takes the location word in place of the pointer, sign-extended to its width.
    void* location = reinterpret_cast<void*>(static_cast<intptr_t>(locationId));
    FT_HANDLE handle = nullptr;
    const FT_STATUS status = FT_OpenEx(location, FT_OPEN_BY_LOCATION, &handle);
    return handleOrError(status, handle);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_close(JNIEnv*, jclass, jlong handle) {
    return toErrorResult(FT_Close(toHandle(handle)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_reset(JNIEnv*, jclass, jlong handle) {
    return toErrorResult(FT_ResetDevice(toHandle(handle)));
}

// ---- Enumeration ----

JNIEXPORT jobjectArray JNICALL Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(JNIEnv* env,
                                                                                  jclass) {
    uint32_t count = 0;
    // A count beyond a Java array's reach can only come from a broken driver; read it as a failure.
    if (FT_CreateDeviceInfoList(&count) != FT_OK ||
        count > static_cast<uint32_t>(INT32_MAX)) {
        return nullptr;
    }
    jclass infoClass = env->FindClass(kDeviceInfoClass);
    if (infoClass == nullptr) {
        return nullptr;
    }
    jobjectArray result = env->NewObjectArray(static_cast<jsize>(count), infoClass, nullptr);
    if (result == nullptr) {
        env->DeleteLocalRef(infoClass);
        return nullptr;
    }
    bool driverFailed = false;
    const bool filled =
        count == 0 || fillFromDriverList(env, result, infoClass, count, driverFailed);
    env->DeleteLocalRef(infoClass);
    if (!filled || driverFailed) {
        env->DeleteLocalRef(result);
        return nullptr;
    }
    return result;
}

// ---- Data transfer ----

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_read(JNIEnv* env, jclass, jlong handle,
                                                          jbyteArray buffer, jint offset,
                                                          jint length) {
    return withTransferBuffer(env, buffer, offset, length, [&](jbyte* transfer) {
        uint32_t received = 0;
        const FT_STATUS status =
            FT_Read(toHandle(handle), transfer, static_cast<uint32_t>(length), &received);
        if (status != FT_OK) {
            return toErrorResult(status);
        }
        const jint count = clampCount(received, length);
        if (count > 0) {
            env->SetByteArrayRegion(buffer, offset, count, transfer);
        }
        return count;
    });
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_write(JNIEnv* env, jclass, jlong handle,
                                                           jbyteArray buffer, jint offset,
                                                           jint length) {
    return withTransferBuffer(env, buffer, offset, length, [&](jbyte* transfer) {
        // The region was checked before the buffer was chosen, so this copy cannot raise.
        env->GetByteArrayRegion(buffer, offset, length, transfer);
        uint32_t written = 0;
        const FT_STATUS status =
            FT_Write(toHandle(handle), transfer, static_cast<uint32_t>(length), &written);
        return status == FT_OK ? clampCount(written, length) : toErrorResult(status);
    });
}

// ---- Line settings and control signals ----

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setBaudrate(JNIEnv*, jclass, jlong handle,
                                                                 jint baudRate) {
    return toErrorResult(FT_SetBaudRate(toHandle(handle), static_cast<uint32_t>(baudRate)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setDataCharacteristics(
    JNIEnv*, jclass, jlong handle, jint wordLength, jint stopBits, jint parity) {
    return toErrorResult(FT_SetDataCharacteristics(toHandle(handle),
                                                   static_cast<uint8_t>(wordLength),
                                                   static_cast<uint8_t>(stopBits),
                                                   static_cast<uint8_t>(parity)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setTimeouts(JNIEnv*, jclass, jlong handle,
                                                                 jint readTimeout,
                                                                 jint writeTimeout) {
    return toErrorResult(FT_SetTimeouts(toHandle(handle), static_cast<uint32_t>(readTimeout),
                                        static_cast<uint32_t>(writeTimeout)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setFlowControl(JNIEnv*, jclass,
                                                                    jlong handle,
                                                                    jint flowControl) {
    return toErrorResult(FT_SetFlowControl(toHandle(handle), static_cast<uint16_t>(flowControl),
                                           kXon, kXoff));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setChars(JNIEnv*, jclass, jlong handle,
                                                              jbyte eventChar,
                                                              jboolean eventCharEnabled,
                                                              jbyte errorChar,
                                                              jboolean errorCharEnabled) {
    return toErrorResult(FT_SetChars(toHandle(handle), static_cast<uint8_t>(eventChar),
                                     toDriverBool(eventCharEnabled),
                                     static_cast<uint8_t>(errorChar),
                                     toDriverBool(errorCharEnabled)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setDTR(JNIEnv*, jclass, jlong handle,
                                                            jboolean on) {
    const FT_HANDLE device = toHandle(handle);
    return toErrorResult(on != JNI_FALSE ? FT_SetDtr(device) : FT_ClrDtr(device));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setRTS(JNIEnv*, jclass, jlong handle,
                                                            jboolean on) {
    const FT_HANDLE device = toHandle(handle);
    return toErrorResult(on != JNI_FALSE ? FT_SetRts(device) : FT_ClrRts(device));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setBreak(JNIEnv*, jclass, jlong handle,
                                                              jboolean on) {
    const FT_HANDLE device = toHandle(handle);
    return toErrorResult(on != JNI_FALSE ? FT_SetBreakOn(device) : FT_SetBreakOff(device));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_purge(JNIEnv*, jclass, jlong handle,
                                                           jint mask) {
    return toErrorResult(FT_Purge(toHandle(handle), static_cast<uint32_t>(mask)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setLatencyTimer(JNIEnv*, jclass,
                                                                     jlong handle,
                                                                     jint latency) {
    return toErrorResult(FT_SetLatencyTimer(toHandle(handle), static_cast<uint8_t>(latency)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XX_setUSBParameters(JNIEnv*, jclass,
                                                                      jlong handle,
                                                                      jint inTransferSize) {
    return toErrorResult(
        FT_SetUSBParameters(toHandle(handle), static_cast<uint32_t>(inTransferSize), 0));
}

}  // extern "C"
