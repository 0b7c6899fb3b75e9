// The natives of nl.tamsel.ftdi.sim.ChipNatives: the chip beyond the serial line (EEPROM, pins;
// peripherals and the waveform in their own sections). Each converts its Java arguments, calls
// one control function and converts the result; the Java side checks arguments first. Arrays
// are copied through call-local buffers and nothing is cached between calls.
#include <jni.h>

#include <cstdint>
#include <vector>

#include "sim_control.h"

extern "C" {

// ---- EEPROM ----------------------------------------------------------------------------------

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_ChipNatives_simSetEepromWord(JNIEnv*, jclass,
                                                                            jint device,
                                                                            jint offset,
                                                                            jint value) {
    return simSetEepromWord(device, static_cast<uint32_t>(offset), static_cast<uint16_t>(value));
}

// The words as ints 0..0xFFFF, or null for an unknown device.
JNIEXPORT jintArray JNICALL Java_nl_tamsel_ftdi_sim_ChipNatives_simGetEepromWords(JNIEnv* env,
                                                                                  jclass,
                                                                                  jint device) {
    const int32_t size = simGetEepromWords(device, nullptr, 0);
    if (size < 0) {
        return nullptr;
    }
    std::vector<uint16_t> words(static_cast<std::size_t>(size));
    if (simGetEepromWords(device, words.data(), static_cast<uint32_t>(size)) != size) {
        return nullptr;
    }
    std::vector<jint> values(words.begin(), words.end());
    jintArray array = env->NewIntArray(size);
    if (array == nullptr || env->ExceptionCheck()) {
        return nullptr;
    }
    if (size > 0) {
        env->SetIntArrayRegion(array, 0, size, values.data());
        if (env->ExceptionCheck()) {
            env->DeleteLocalRef(array);
            return nullptr;
        }
    }
    return array;
}

// ---- Pins ------------------------------------------------------------------------------------

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_ChipNatives_simSetPinInputs(JNIEnv*, jclass,
                                                                           jint device, jint mask,
                                                                           jint levels) {
    return simSetPinInputs(device, static_cast<uint32_t>(mask), static_cast<uint32_t>(levels));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_ChipNatives_simGetPinLevels(JNIEnv*, jclass,
                                                                           jint device) {
    return simGetPinLevels(device);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_ChipNatives_simGetBitMode(JNIEnv*, jclass,
                                                                         jint device) {
    return simGetBitMode(device);
}

// ---- Buffers ---------------------------------------------------------------------------------

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_ChipNatives_simSetReceiveBuffer(JNIEnv*, jclass,
                                                                               jint device,
                                                                               jint bytes) {
    return bytes < 1 ? -1 : simSetReceiveBuffer(device, static_cast<uint32_t>(bytes));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_ChipNatives_simGetReceiveBuffer(JNIEnv*, jclass,
                                                                               jint device) {
    return simGetReceiveBuffer(device);
}

// {command, reply} sizes, or null for an unknown device.
JNIEXPORT jintArray JNICALL Java_nl_tamsel_ftdi_sim_ChipNatives_simGetChipBuffers(JNIEnv* env,
                                                                                  jclass,
                                                                                  jint device) {
    uint32_t command = 0;
    uint32_t reply = 0;
    if (simGetChipBuffers(device, &command, &reply) != 0) {
        return nullptr;
    }
    const jint sizes[2] = {static_cast<jint>(command), static_cast<jint>(reply)};
    jintArray array = env->NewIntArray(2);
    if (array == nullptr || env->ExceptionCheck()) {
        return nullptr;
    }
    env->SetIntArrayRegion(array, 0, 2, sizes);
    if (env->ExceptionCheck()) {
        env->DeleteLocalRef(array);
        return nullptr;
    }
    return array;
}

}  // extern "C"
