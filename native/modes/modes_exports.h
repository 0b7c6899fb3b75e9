// The JNI functions of nl.tamsel.ftdi.usb.D2XXModes, declared once for the library (which checks
// its definitions against them) and for the native tests that call them without a JVM.
#ifndef MODES_EXPORTS_H
#define MODES_EXPORTS_H

#include <jni.h>

extern "C" {

JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_availableFunctions(JNIEnv*, jclass);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_setBitMode(JNIEnv*, jclass, jlong, jint, jint);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_getBitMode(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_getDeviceInfo(JNIEnv*, jclass, jlong, jintArray,
                                                                        jbyteArray, jbyteArray);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(JNIEnv*, jclass, jlong, jintArray);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_readEE(JNIEnv*, jclass, jlong, jint);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_writeEE(JNIEnv*, jclass, jlong, jint, jint);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_eraseEE(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_eeUASize(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead(JNIEnv*, jclass, jlong, jbyteArray, jint,
                                                                   jint);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_eeUAWrite(JNIEnv*, jclass, jlong, jbyteArray, jint,
                                                                    jint);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_setEventNotification(JNIEnv*, jclass, jlong, jint,
                                                                               jlong);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_resetPort(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_cyclePort(JNIEnv*, jclass, jlong);
JNIEXPORT jlong JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_createEvent(JNIEnv*, jclass);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(JNIEnv*, jclass, jlong, jint);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_signalEvent(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL Java_nl_tamsel_ftdi_usb_D2XXModes_freeEvent(JNIEnv*, jclass, jlong);

}  // extern "C"

#endif  // MODES_EXPORTS_H
