// The natives of nl.tamsel.ftdi.sim.SimulatedDriver: each converts its Java arguments, calls
// one control function and converts the result. The Java class checks arguments first; these
// only translate. Every JNI call that can raise is followed by an exception check, arrays are
// copied through call-local buffers, and nothing is cached between calls.
#include <jni.h>

#include <array>
#include <cstdint>
#include <vector>

#include "jni_arrays.h"
#include "sim_control.h"

namespace {

using sim::copyBytes;
using sim::newByteArray;

// Long enough for every driver function name and its terminator.
using FunctionName = std::array<char, 64>;

// Copies a name given as ASCII bytes (without terminator); false if it cannot be a driver
// function name or an exception is pending.
bool copyFunctionName(JNIEnv* env, jbyteArray bytes, FunctionName& name) {
    const jsize length = env->GetArrayLength(bytes);
    if (length < 0 || static_cast<std::size_t>(length) >= name.size()) {
        return false;
    }
    env->GetByteArrayRegion(bytes, 0, length, reinterpret_cast<jbyte*>(name.data()));
    if (env->ExceptionCheck()) {
        return false;
    }
    name[static_cast<std::size_t>(length)] = '\0';
    return true;
}

uint32_t unsignedBits(jint value) {
    return static_cast<uint32_t>(value);
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simReset(JNIEnv*, jclass) {
    simReset();
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simAddDevice(
    JNIEnv* env, jclass, jint flags, jint type, jint id, jint locId, jbyteArray serial,
    jbyteArray description) {
    std::vector<uint8_t> serialBytes;
    std::vector<uint8_t> descriptionBytes;
    if (!copyBytes(env, serial, serialBytes) || !copyBytes(env, description, descriptionBytes)) {
        return -1;
    }
    return simAddDevice(unsignedBits(flags), unsignedBits(type), unsignedBits(id),
                        unsignedBits(locId), serialBytes.data(),
                        static_cast<uint32_t>(serialBytes.size()), descriptionBytes.data(),
                        static_cast<uint32_t>(descriptionBytes.size()));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simDeviceCount(JNIEnv*, jclass) {
    return simDeviceCount();
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simUnplug(JNIEnv*, jclass,
                                                                         jint device) {
    return simUnplug(device);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetOpenedElsewhere(
    JNIEnv*, jclass, jint device, jboolean opened) {
    return simSetOpenedElsewhere(device, opened == JNI_TRUE ? 1 : 0);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetLoopback(JNIEnv*, jclass,
                                                                              jint device,
                                                                              jboolean on) {
    return simSetLoopback(device, on == JNI_TRUE ? 1 : 0);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetDriverVersion(
    JNIEnv*, jclass, jint device, jint version) {
    return simSetDriverVersion(device, unsignedBits(version));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetComPort(JNIEnv*, jclass,
                                                                             jint device,
                                                                             jint port) {
    return simSetComPort(device, port);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetModemInputs(
    JNIEnv*, jclass, jint device, jint lines) {
    return simSetModemInputs(device, unsignedBits(lines));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simRaiseLineErrors(
    JNIEnv*, jclass, jint device, jint errors) {
    return simRaiseLineErrors(device, unsignedBits(errors));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simInject(JNIEnv* env, jclass,
                                                                         jint device,
                                                                         jbyteArray bytes) {
    std::vector<uint8_t> buffer;
    if (!copyBytes(env, bytes, buffer)) {
        return -1;
    }
    return simInject(device, buffer.data(), static_cast<uint32_t>(buffer.size()));
}

JNIEXPORT jbyteArray JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simTakeWritten(
    JNIEnv* env, jclass, jint device) {
    SimDeviceState state{};
    if (simGetDeviceState(device, &state) != 0) {
        return nullptr;
    }
    std::vector<uint8_t> buffer(state.writtenQueued);
    const int32_t taken = simTakeWritten(device, buffer.data(), state.writtenQueued);
    if (taken < 0) {
        return nullptr;
    }
    return newByteArray(env, buffer.data(), static_cast<std::size_t>(taken));
}

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simWrittenTotal(JNIEnv*, jclass,
                                                                                jint device) {
    return static_cast<jlong>(simWrittenTotal(device));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simGetDeviceState(
    JNIEnv* env, jclass, jint device, jintArray fields) {
    SimDeviceState state{};
    if (simGetDeviceState(device, &state) != 0) {
        return -1;
    }
    const std::array<uint32_t, 25> values = {
        state.open,          state.baudRate,         state.wordLength,     state.stopBits,
        state.parity,        state.flowControl,      state.xon,            state.xoff,
        state.readTimeout,   state.writeTimeout,     state.latencyTimer,   state.inTransferSize,
        state.outTransferSize, state.eventChar,      state.eventCharEnabled, state.errorChar,
        state.errorCharEnabled, state.dtr,           state.rts,            state.breakOn,
        state.rxQueued,      state.writtenQueued,    state.resetCount,     state.purgeRxCount,
        state.purgeTxCount,
    };
    static_assert(sizeof(SimDeviceState) == sizeof(values), "every state field is passed on");
    std::array<jint, values.size()> javaValues{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        javaValues[i] = static_cast<jint>(values[i]);
    }
    env->SetIntArrayRegion(fields, 0, static_cast<jsize>(javaValues.size()), javaValues.data());
    return env->ExceptionCheck() ? -1 : 0;
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetInstantTransfers(
    JNIEnv*, jclass, jint device, jboolean on) {
    return simSetInstantTransfers(device, on == JNI_TRUE ? 1 : 0);
}

JNIEXPORT void JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetLibraryVersion(
    JNIEnv*, jclass, jint version) {
    simSetLibraryVersion(unsignedBits(version));
}

JNIEXPORT void JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetHandleBase(JNIEnv*, jclass,
                                                                                jlong base) {
    simSetHandleBase(static_cast<uint64_t>(base));
}

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simHandleOf(JNIEnv*, jclass,
                                                                            jint device) {
    return static_cast<jlong>(simHandleOf(device));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetWritesStalled(
    JNIEnv*, jclass, jint device, jboolean on) {
    return simSetWritesStalled(device, on == JNI_TRUE ? 1 : 0);
}

JNIEXPORT void JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simSetHandleReuse(JNIEnv*, jclass,
                                                                                 jboolean on) {
    simSetHandleReuse(on == JNI_TRUE ? 1 : 0);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simClosedHandleCalls(
    JNIEnv*, jclass, jlong handle) {
    return static_cast<jint>(simClosedHandleCalls(static_cast<uint64_t>(handle)));
}

// The values and their counts as one array: value, count, value, count, ...
JNIEXPORT jlongArray JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simClosedHandleCallList(
    JNIEnv* env, jclass) {
    std::vector<uint64_t> handles;
    std::vector<uint32_t> counts;
    // Another thread may add values between asking for the count and copying: ask again.
    int32_t listed = simClosedHandleCallList(nullptr, nullptr, 0);
    while (listed > static_cast<int32_t>(handles.size())) {
        handles.resize(static_cast<std::size_t>(listed));
        counts.resize(static_cast<std::size_t>(listed));
        listed = simClosedHandleCallList(handles.data(), counts.data(), listed);
    }
    std::vector<jlong> pairs;
    for (std::size_t i = 0; i < static_cast<std::size_t>(listed); ++i) {
        pairs.push_back(static_cast<jlong>(handles[i]));
        pairs.push_back(static_cast<jlong>(counts[i]));
    }
    const auto length = static_cast<jsize>(pairs.size());
    jlongArray array = env->NewLongArray(length);
    if (array == nullptr || env->ExceptionCheck()) {
        return nullptr;
    }
    if (length > 0) {
        env->SetLongArrayRegion(array, 0, length, pairs.data());
        if (env->ExceptionCheck()) {
            env->DeleteLocalRef(array);
            return nullptr;
        }
    }
    return array;
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simFailNext(JNIEnv* env, jclass,
                                                                           jbyteArray function,
                                                                           jint status) {
    FunctionName name{};
    return copyFunctionName(env, function, name) ? simFailNext(name.data(), unsignedBits(status))
                                                 : -1;
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simFailAlways(
    JNIEnv* env, jclass, jbyteArray function, jint status) {
    FunctionName name{};
    return copyFunctionName(env, function, name)
               ? simFailAlways(name.data(), unsignedBits(status))
               : -1;
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simReportNextCount(
    JNIEnv* env, jclass, jbyteArray function, jint count) {
    FunctionName name{};
    return copyFunctionName(env, function, name)
               ? simReportNextCount(name.data(), unsignedBits(count))
               : -1;
}

JNIEXPORT void JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simClearFaults(JNIEnv*, jclass) {
    simClearFaults();
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simCallCount(
    JNIEnv* env, jclass, jbyteArray function) {
    FunctionName name{};
    return copyFunctionName(env, function, name) ? static_cast<jint>(simCallCount(name.data()))
                                                 : -1;
}

JNIEXPORT jlongArray JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simLastArgs(
    JNIEnv* env, jclass, jbyteArray function) {
    FunctionName name{};
    if (!copyFunctionName(env, function, name)) {
        return nullptr;
    }
    std::array<uint64_t, 8> args{};
    const int32_t count = simLastArgs(name.data(), args.data(), static_cast<int32_t>(args.size()));
    if (count < 0) {
        return nullptr;
    }
    std::array<jlong, args.size()> javaArgs{};
    for (std::size_t i = 0; i < args.size(); ++i) {
        javaArgs[i] = static_cast<jlong>(args[i]);
    }
    jlongArray array = env->NewLongArray(count);
    if (array == nullptr || env->ExceptionCheck()) {
        return nullptr;
    }
    env->SetLongArrayRegion(array, 0, count, javaArgs.data());
    if (env->ExceptionCheck()) {
        env->DeleteLocalRef(array);
        return nullptr;
    }
    return array;
}

JNIEXPORT jbyteArray JNICALL Java_nl_tamsel_ftdi_sim_SimulatedDriver_simLastOpenText(JNIEnv* env,
                                                                                     jclass) {
    std::array<uint8_t, 1024> text{};
    const int32_t length = simLastOpenText(text.data(), static_cast<int32_t>(text.size()));
    if (length < 0) {
        return nullptr;
    }
    return newByteArray(env, text.data(), static_cast<std::size_t>(length));
}

}  // extern "C"
