// The JNI functions of nl.tamsel.ftdi.usb.D2XXModes: each checks its Java arguments, finds the
// driver function it needs (FT_NOT_SUPPORTED when the driver lacks it), makes one driver call
// and packs the outcome into a Java value. Errors travel as negated statuses. Arrays are copied
// through call-local buffers and never pinned across a driver call.
#include <jni.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "d2xx_modes.h"
#include "driver_functions.h"
#include "event_object.h"
#include "modes_exports.h"

namespace {

constexpr jint kStackTransferLimit = 256;
constexpr jsize kTypeAndIdLength = 2;
constexpr jsize kQueuesAndEventsLength = 3;
constexpr jsize kSerialNumberBytes = 16;
constexpr jsize kDescriptionBytes = 64;
constexpr FT_STATUS kInvalidParameter = 6;
// Returned alongside a pending exception; the Java caller sees the exception, never this.
constexpr jint kExceptionPending = 0;

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

// A handle or event travels through Java as a long; see the bridge's toHandle for why a 32-bit
// pointer is zero-extended.
void* toPointer(jlong value) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint64_t>(value)));
}

jlong fromPointer(void* pointer) {
    return static_cast<jlong>(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer)));
}

// The negated status; a status whose negation is not negative reads as the most negative int.
jint toErrorResult(FT_STATUS status) {
    const auto negated = static_cast<jint>(0u - status);
    return status == FT_OK || negated < 0 ? negated : INT32_MIN;
}

jint valueOrError(FT_STATUS status, jint value) {
    return status == FT_OK ? value : toErrorResult(status);
}

jint notSupported() {
    return toErrorResult(FT_NOT_SUPPORTED);
}

void throwNew(JNIEnv* env, const char* className, const char* message) {
    jclass exceptionClass = env->FindClass(className);
    if (exceptionClass == nullptr) {
        return;  // FindClass left its own exception pending
    }
    env->ThrowNew(exceptionClass, message);
    env->DeleteLocalRef(exceptionClass);
}

bool checkNotNull(JNIEnv* env, jarray array, const char* what) {
    if (array == nullptr) {
        char message[64];
        std::snprintf(message, sizeof message, "%s is null", what);
        throwNew(env, "java/lang/NullPointerException", message);
        return false;
    }
    return true;
}

// A fixed-size output array must be at least as long as what the driver writes into it.
bool checkMinimumLength(JNIEnv* env, jarray array, jsize minimum, const char* what) {
    if (!checkNotNull(env, array, what)) {
        return false;
    }
    const jsize arrayLength = env->GetArrayLength(array);
    if (arrayLength < minimum) {
        char message[96];
        std::snprintf(message, sizeof message, "%s has length %d, needs at least %d", what,
                      static_cast<int>(arrayLength), static_cast<int>(minimum));
        throwNew(env, "java/lang/ArrayIndexOutOfBoundsException", message);
        return false;
    }
    return true;
}

// Written so that no sum can overflow: arrayLength - offset is safe once offset >= 0.
bool checkRegion(JNIEnv* env, jbyteArray buffer, jint offset, jint length) {
    if (!checkNotNull(env, buffer, "buffer")) {
        return false;
    }
    const jsize arrayLength = env->GetArrayLength(buffer);
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
// the stack limit, a heap block freed on every path above it.
template <typename Transfer>
jint withTransferBuffer(jint length, Transfer transfer) {
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

// A call that takes only the handle.
template <typename Signature>
jint handleOnlyCall(DriverFunction function, jlong handle) {
    const auto call = driverFunction<Signature>(function);
    return call == nullptr ? notSupported() : toErrorResult(call(toPointer(handle)));
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_availableFunctions(JNIEnv*, jclass) {
    return static_cast<jint>(availableDriverFunctions());
}

// ---- Bit modes ----

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_setBitMode(JNIEnv*, jclass,
                                                                     jlong handle, jint mask,
                                                                     jint mode) {
    const auto setBitMode =
        driverFunction<decltype(&FT_SetBitMode)>(DriverFunction::SetBitMode);
    if (setBitMode == nullptr) {
        return notSupported();
    }
    return toErrorResult(setBitMode(toPointer(handle), static_cast<uint8_t>(mask),
                                    static_cast<uint8_t>(mode)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_getBitMode(JNIEnv*, jclass,
                                                                     jlong handle) {
    const auto getBitMode =
        driverFunction<decltype(&FT_GetBitMode)>(DriverFunction::GetBitMode);
    if (getBitMode == nullptr) {
        return notSupported();
    }
    uint8_t pins = 0;
    const FT_STATUS status = getBitMode(toPointer(handle), &pins);
    return valueOrError(status, pins);
}

// ---- Device details and status ----

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_getDeviceInfo(
    JNIEnv* env, jclass, jlong handle, jintArray typeAndId, jbyteArray serialNumber,
    jbyteArray description) {
    if (!checkMinimumLength(env, typeAndId, kTypeAndIdLength, "typeAndId") ||
        !checkMinimumLength(env, serialNumber, kSerialNumberBytes, "serialNumber") ||
        !checkMinimumLength(env, description, kDescriptionBytes, "description")) {
        return kExceptionPending;
    }
    const auto getDeviceInfo =
        driverFunction<decltype(&FT_GetDeviceInfo)>(DriverFunction::GetDeviceInfo);
    if (getDeviceInfo == nullptr) {
        return notSupported();
    }
    uint32_t type = 0;
    uint32_t id = 0;
    char serialBytes[kSerialNumberBytes] = {};
    char descriptionBytes[kDescriptionBytes] = {};
    const FT_STATUS status =
        getDeviceInfo(toPointer(handle), &type, &id, serialBytes, descriptionBytes, nullptr);
    if (status != FT_OK) {
        return toErrorResult(status);
    }
    const jint values[kTypeAndIdLength] = {static_cast<jint>(type), static_cast<jint>(id)};
    // The lengths were checked above, so these copies cannot raise.
    env->SetIntArrayRegion(typeAndId, 0, kTypeAndIdLength, values);
    env->SetByteArrayRegion(serialNumber, 0, kSerialNumberBytes,
                            reinterpret_cast<const jbyte*>(serialBytes));
    env->SetByteArrayRegion(description, 0, kDescriptionBytes,
                            reinterpret_cast<const jbyte*>(descriptionBytes));
    return 0;
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(JNIEnv* env, jclass,
                                                                    jlong handle,
                                                                    jintArray queuesAndEvents) {
    if (!checkMinimumLength(env, queuesAndEvents, kQueuesAndEventsLength, "queuesAndEvents")) {
        return kExceptionPending;
    }
    const auto getStatus = driverFunction<decltype(&FT_GetStatus)>(DriverFunction::GetStatus);
    if (getStatus == nullptr) {
        return notSupported();
    }
    uint32_t rxBytes = 0;
    uint32_t txBytes = 0;
    uint32_t eventBits = 0;
    const FT_STATUS status = getStatus(toPointer(handle), &rxBytes, &txBytes, &eventBits);
    if (status != FT_OK) {
        return toErrorResult(status);
    }
    const jint values[kQueuesAndEventsLength] = {
        static_cast<jint>(rxBytes), static_cast<jint>(txBytes), static_cast<jint>(eventBits)};
    env->SetIntArrayRegion(queuesAndEvents, 0, kQueuesAndEventsLength, values);
    return 0;
}

// ---- EEPROM ----

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_readEE(JNIEnv*, jclass, jlong handle,
                                                                 jint wordOffset) {
    const auto readEE = driverFunction<decltype(&FT_ReadEE)>(DriverFunction::ReadEE);
    if (readEE == nullptr) {
        return notSupported();
    }
    uint16_t value = 0;
    const FT_STATUS status = readEE(toPointer(handle), static_cast<uint32_t>(wordOffset), &value);
    return valueOrError(status, value);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_writeEE(JNIEnv*, jclass, jlong handle,
                                                                  jint wordOffset, jint value) {
    const auto writeEE = driverFunction<decltype(&FT_WriteEE)>(DriverFunction::WriteEE);
    if (writeEE == nullptr) {
        return notSupported();
    }
    return toErrorResult(writeEE(toPointer(handle), static_cast<uint32_t>(wordOffset),
                                 static_cast<uint16_t>(value)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_eraseEE(JNIEnv*, jclass, jlong handle) {
    return handleOnlyCall<decltype(&FT_EraseEE)>(DriverFunction::EraseEE, handle);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_eeUASize(JNIEnv*, jclass,
                                                                   jlong handle) {
    const auto eeUASize = driverFunction<decltype(&FT_EE_UASize)>(DriverFunction::EEUASize);
    if (eeUASize == nullptr) {
        return notSupported();
    }
    uint32_t bytes = 0;
    const FT_STATUS status = eeUASize(toPointer(handle), &bytes);
    return valueOrError(status, static_cast<jint>(bytes));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead(JNIEnv* env, jclass,
                                                                   jlong handle,
                                                                   jbyteArray buffer,
                                                                   jint offset, jint length) {
    if (!checkRegion(env, buffer, offset, length)) {
        return kExceptionPending;
    }
    const auto eeUARead = driverFunction<decltype(&FT_EE_UARead)>(DriverFunction::EEUARead);
    if (eeUARead == nullptr) {
        return notSupported();
    }
    if (length == 0) {
        return 0;
    }
    return withTransferBuffer(length, [&](jbyte* transfer) {
        uint32_t bytesRead = 0;
        const FT_STATUS status = eeUARead(toPointer(handle), reinterpret_cast<uint8_t*>(transfer),
                                          static_cast<uint32_t>(length), &bytesRead);
        if (status != FT_OK) {
            return toErrorResult(status);
        }
        const jint count = clampCount(bytesRead, length);
        if (count > 0) {
            env->SetByteArrayRegion(buffer, offset, count, transfer);
        }
        return count;
    });
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_eeUAWrite(JNIEnv* env, jclass,
                                                                    jlong handle,
                                                                    jbyteArray buffer,
                                                                    jint offset, jint length) {
    if (!checkRegion(env, buffer, offset, length)) {
        return kExceptionPending;
    }
    const auto eeUAWrite = driverFunction<decltype(&FT_EE_UAWrite)>(DriverFunction::EEUAWrite);
    if (eeUAWrite == nullptr) {
        return notSupported();
    }
    if (length == 0) {
        return 0;
    }
    return withTransferBuffer(length, [&](jbyte* transfer) {
        // The region was checked before the buffer was chosen, so this copy cannot raise.
        env->GetByteArrayRegion(buffer, offset, length, transfer);
        return toErrorResult(eeUAWrite(toPointer(handle), reinterpret_cast<uint8_t*>(transfer),
                                       static_cast<uint32_t>(length)));
    });
}

// ---- Events and port recovery ----

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_setEventNotification(JNIEnv*, jclass,
                                                                               jlong handle,
                                                                               jint mask,
                                                                               jlong event) {
    const auto setEventNotification = driverFunction<decltype(&FT_SetEventNotification)>(
        DriverFunction::SetEventNotification);
    if (setEventNotification == nullptr) {
        return notSupported();
    }
    // On Linux and macOS the event object starts with the FT_EVENT_HANDLE the driver takes; on
    // Windows the long is the Win32 event handle itself.
    return toErrorResult(
        setEventNotification(toPointer(handle), static_cast<uint32_t>(mask), toPointer(event)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_resetPort(JNIEnv*, jclass,
                                                                    jlong handle) {
    return handleOnlyCall<decltype(&FT_ResetPort)>(DriverFunction::ResetPort, handle);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_cyclePort(JNIEnv*, jclass,
                                                                    jlong handle) {
    return handleOnlyCall<decltype(&FT_CyclePort)>(DriverFunction::CyclePort, handle);
}

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_createEvent(JNIEnv*, jclass) {
    void* event = nullptr;
    const FT_STATUS status = createEventObject(&event);
    return status == FT_OK ? fromPointer(event) : static_cast<jlong>(toErrorResult(status));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(JNIEnv*, jclass, jlong event,
                                                                    jint timeoutMillis) {
    // A negative timeout is refused rather than read as "forever" (INFINITE is -1 on Windows):
    // an unbounded wait must be asked for explicitly, with Integer.MAX_VALUE.
    if (timeoutMillis < 0) {
        return toErrorResult(kInvalidParameter);
    }
    bool signalled = false;
    const FT_STATUS status =
        waitEventObject(toPointer(event), static_cast<uint32_t>(timeoutMillis), &signalled);
    return valueOrError(status, signalled ? 1 : 0);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_signalEvent(JNIEnv*, jclass,
                                                                      jlong event) {
    return toErrorResult(signalEventObject(toPointer(event)));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_freeEvent(JNIEnv*, jclass,
                                                                    jlong event) {
    return toErrorResult(freeEventObject(toPointer(event)));
}

}  // extern "C"
