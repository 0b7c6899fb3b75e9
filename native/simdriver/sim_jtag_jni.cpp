// The JTAG natives of nl.tamsel.ftdi.sim.BusNatives: each converts its Java arguments, calls one
// JTAG control function of sim_control.h and converts the result, copying arrays through
// call-local buffers. The Java side checks arguments first.
#include <jni.h>

#include <cstdint>
#include <vector>

#include "sim_control.h"

namespace {

// Ints per device in attachJtagChain's description array, in SimJtagDeviceSpec's order but
// with hasUsercode in bit 0 and hasMemory in bit 1 of one int.
constexpr jsize kSpecInts = 8;

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_attachJtagChain(
    JNIEnv* env, jclass, jint device, jintArray specs, jint trstPin) {
    const jsize length = env->GetArrayLength(specs);
    if (length % kSpecInts != 0) {
        return -1;
    }
    std::vector<jint> ints(static_cast<std::size_t>(length));
    if (length > 0) {
        env->GetIntArrayRegion(specs, 0, length, ints.data());
        if (env->ExceptionCheck()) {
            return -1;
        }
    }
    std::vector<SimJtagDeviceSpec> devices;
    for (std::size_t at = 0; at < ints.size(); at += kSpecInts) {
        const auto field = [&](std::size_t i) { return static_cast<uint32_t>(ints[at + i]); };
        devices.push_back(SimJtagDeviceSpec{field(0), field(1), field(2), field(3), field(4), field(5) & 1,
                                            field(6), field(7), (field(5) >> 1) & 1});
    }
    return simAttachJtagChain(device, devices.data(), static_cast<uint32_t>(devices.size()), trstPin);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_jtagState(JNIEnv*, jclass, jint device, jint chain,
                                                                    jint index) {
    return simJtagState(device, chain, index);
}

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_jtagInstruction(JNIEnv*, jclass, jint device,
                                                                           jint chain, jint index) {
    return simJtagInstruction(device, chain, index);
}

// The memory's words as a new char array (16 bits unsigned), or null for no such memory.
JNIEXPORT jcharArray JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_jtagMemoryWords(JNIEnv* env, jclass,
                                                                                jint device, jint chain,
                                                                                jint index) {
    const int32_t count = simJtagMemoryGetWords(device, chain, index, nullptr, 0);
    if (count < 0) {
        return nullptr;
    }
    std::vector<uint16_t> words(static_cast<std::size_t>(count));
    simJtagMemoryGetWords(device, chain, index, words.data(), static_cast<uint32_t>(words.size()));
    jcharArray array = env->NewCharArray(count);
    if (array == nullptr || env->ExceptionCheck()) {
        return nullptr;
    }
    env->SetCharArrayRegion(array, 0, count, reinterpret_cast<const jchar*>(words.data()));
    if (env->ExceptionCheck()) {
        env->DeleteLocalRef(array);
        return nullptr;
    }
    return array;
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_setJtagMemoryWords(
    JNIEnv* env, jclass, jint device, jint chain, jint index, jint offset, jcharArray words) {
    const jsize length = env->GetArrayLength(words);
    std::vector<uint16_t> copy(static_cast<std::size_t>(length));
    if (length > 0) {
        env->GetCharArrayRegion(words, 0, length, reinterpret_cast<jchar*>(copy.data()));
        if (env->ExceptionCheck()) {
            return -1;
        }
    }
    return simJtagMemorySetWords(device, chain, index, static_cast<uint32_t>(offset), copy.data(),
                                 static_cast<uint32_t>(copy.size()));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_jtagMemoryStatus(JNIEnv*, jclass, jint device,
                                                                           jint chain, jint index) {
    return simJtagMemoryStatus(device, chain, index);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_setJtagBusyClocks(
    JNIEnv*, jclass, jint device, jint chain, jint index, jlong eraseClocks, jlong programClocks) {
    if (eraseClocks < 0 || programClocks < 0) {
        return -1;
    }
    return simJtagSetBusyClocks(device, chain, index, static_cast<uint64_t>(eraseClocks),
                                static_cast<uint64_t>(programClocks));
}

}  // extern "C"
