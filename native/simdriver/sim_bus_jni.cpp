// The natives of nl.tamsel.ftdi.sim.BusNatives: each converts its Java arguments, calls one
// control function of sim_control.h's pin section and converts the result. The Java side
// checks arguments first; these only translate, copying arrays through call-local buffers.
#include <jni.h>

#include <cstdint>
#include <vector>

#include "jni_arrays.h"
#include "sim_control.h"

namespace {

using sim::copyBytes;
using sim::newByteArray;

using Setter = int32_t (*)(int32_t, int32_t, uint32_t, const uint8_t*, uint32_t);
using Getter = int32_t (*)(int32_t, int32_t, uint8_t*, uint32_t);

jint setBytes(JNIEnv* env, Setter setter, jint device, jint id, jint offset, jbyteArray bytes) {
    std::vector<uint8_t> copy;
    if (!copyBytes(env, bytes, copy)) {
        return -1;
    }
    return setter(device, id, static_cast<uint32_t>(offset), copy.data(),
                  static_cast<uint32_t>(copy.size()));
}

// The whole memory as a new array, or null when the device or peripheral is unknown.
jbyteArray getBytes(JNIEnv* env, Getter getter, jint device, jint id) {
    const int32_t size = getter(device, id, nullptr, 0);
    if (size < 0) {
        return nullptr;
    }
    std::vector<uint8_t> copy(static_cast<std::size_t>(size));
    getter(device, id, copy.data(), static_cast<uint32_t>(copy.size()));
    return newByteArray(env, copy.data(), copy.size());
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_attachI2cTarget(
    JNIEnv*, jclass, jint device, jint address, jboolean tenBit, jint registers) {
    return simAttachI2cTarget(device, static_cast<uint32_t>(address), tenBit ? 1 : 0,
                              static_cast<uint32_t>(registers));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_setI2cRegisters(
    JNIEnv* env, jclass, jint device, jint target, jint offset, jbyteArray bytes) {
    return setBytes(env, simI2cTargetSetRegisters, device, target, offset, bytes);
}

JNIEXPORT jbyteArray JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_i2cRegisters(
    JNIEnv* env, jclass, jint device, jint target) {
    return getBytes(env, simI2cTargetGetRegisters, device, target);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_nackAddress(
    JNIEnv*, jclass, jint device, jint target, jboolean on) {
    return simI2cTargetNackAddress(device, target, on ? 1 : 0);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_nackAtByte(
    JNIEnv*, jclass, jint device, jint target, jint index) {
    return simI2cTargetNackAtByte(device, target, index);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_holdSdaLow(
    JNIEnv*, jclass, jint device, jint target, jboolean on) {
    return simI2cHoldSda(device, target, on ? 1 : 0);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_attachI2cEeprom(
    JNIEnv*, jclass, jint device, jint address, jint size, jint page) {
    return simAttachI2cEeprom(device, static_cast<uint32_t>(address), static_cast<uint32_t>(size),
                              static_cast<uint32_t>(page));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_setEepromContents(
    JNIEnv* env, jclass, jint device, jint eeprom, jint offset, jbyteArray bytes) {
    return setBytes(env, simI2cEepromSetContents, device, eeprom, offset, bytes);
}

JNIEXPORT jbyteArray JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_eepromContents(
    JNIEnv* env, jclass, jint device, jint eeprom) {
    return getBytes(env, simI2cEepromGetContents, device, eeprom);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_setEepromWriteCycle(
    JNIEnv*, jclass, jint device, jint eeprom, jlong nanos) {
    return nanos < 0 ? -1 : simI2cEepromSetWriteCycle(device, eeprom, static_cast<uint64_t>(nanos));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_attachSpiFlash(
    JNIEnv*, jclass, jint device, jint csPin, jint jedecId, jint size) {
    return simAttachSpiFlash(device, csPin, static_cast<uint32_t>(jedecId), static_cast<uint32_t>(size));
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_setFlashContents(
    JNIEnv* env, jclass, jint device, jint flash, jint offset, jbyteArray bytes) {
    return setBytes(env, simSpiFlashSetContents, device, flash, offset, bytes);
}

JNIEXPORT jbyteArray JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_flashContents(
    JNIEnv* env, jclass, jint device, jint flash) {
    return getBytes(env, simSpiFlashGetContents, device, flash);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_connectPins(
    JNIEnv*, jclass, jint device, jint pinA, jint pinB) {
    return simConnectPins(device, pinA, pinB);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_drivePin(
    JNIEnv*, jclass, jint device, jint pin, jint level) {
    return simDrivePin(device, pin, level);
}

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_setWaveformRecording(
    JNIEnv*, jclass, jint device, jboolean on) {
    return simSetWaveformRecording(device, on ? 1 : 0);
}

// The VCD text as bytes, or null for an unknown device.
JNIEXPORT jbyteArray JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_waveformVcd(JNIEnv* env, jclass,
                                                                            jint device) {
    const int32_t length = simWaveformVcd(device, nullptr, 0);
    if (length < 0) {
        return nullptr;
    }
    std::vector<char> text(static_cast<std::size_t>(length));
    const int32_t copied = simWaveformVcd(device, text.data(), static_cast<uint32_t>(text.size()));
    // Nothing changes the waveform between the two calls but another thread's transfer; keep
    // the common prefix then.
    const std::size_t kept = copied < length ? static_cast<std::size_t>(copied) : text.size();
    return newByteArray(env, reinterpret_cast<const uint8_t*>(text.data()), kept);
}

JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_sim_BusNatives_busNanos(JNIEnv*, jclass, jint device) {
    return simBusNanos(device);
}

}  // extern "C"
