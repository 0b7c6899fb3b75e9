// The natives of nl.tamsel.ftdi.sim.PlugNatives: devices plugged back in. Each only translates;
// the Java side checks its arguments first.
#include <jni.h>

#include <cstdint>

#include "sim_control.h"

extern "C" {

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_sim_PlugNatives_simReplug(JNIEnv*, jclass, jint device,
                                                                     jint locId) {
    return simReplug(device, static_cast<uint32_t>(locId));
}

}  // extern "C"
