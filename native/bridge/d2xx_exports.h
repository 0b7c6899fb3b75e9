// The bridge's exports: one per native method of nl.tamsel.ftdi.usb.D2XX, named by the JNI
// short-name rule. The bridge includes this so that its definitions are checked against it;
// native tests include it to call them without a JVM.
#ifndef D2XX_EXPORTS_H
#define D2XX_EXPORTS_H

#include <jni.h>

extern "C" {

JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_getLibraryVersion(JNIEnv*, jclass);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_getDriverVersion(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_getComPortNumber(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_getModemStatus(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_getQueueStatus(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_getLatencyTimer(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setVIDPID(JNIEnv*, jclass, jint, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_getVID(JNIEnv*, jclass);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_getPID(JNIEnv*, jclass);
JNIEXPORT jlong JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_openByIndex(JNIEnv*, jclass, jint);
JNIEXPORT jlong JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_openBySerialNumber(JNIEnv*, jclass, jstring);
JNIEXPORT jlong JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_openByDescription(JNIEnv*, jclass, jstring);
JNIEXPORT jlong JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_openByLocationId(JNIEnv*, jclass, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_close(JNIEnv*, jclass, jlong);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_reset(JNIEnv*, jclass, jlong);
JNIEXPORT jobjectArray JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(JNIEnv*, jclass);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_read(JNIEnv*, jclass, jlong, jbyteArray, jint, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_write(JNIEnv*, jclass, jlong, jbyteArray, jint, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setBaudrate(JNIEnv*, jclass, jlong, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setDataCharacteristics(JNIEnv*, jclass, jlong, jint, jint, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setTimeouts(JNIEnv*, jclass, jlong, jint, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setFlowControl(JNIEnv*, jclass, jlong, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setChars(JNIEnv*, jclass, jlong, jbyte, jboolean, jbyte, jboolean);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setDTR(JNIEnv*, jclass, jlong, jboolean);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setRTS(JNIEnv*, jclass, jlong, jboolean);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setBreak(JNIEnv*, jclass, jlong, jboolean);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_purge(JNIEnv*, jclass, jlong, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setLatencyTimer(JNIEnv*, jclass, jlong, jint);
JNIEXPORT jint JNICALL
Java_nl_tamsel_ftdi_usb_D2XX_setUSBParameters(JNIEnv*, jclass, jlong, jint);
}  // extern "C"

#endif  // D2XX_EXPORTS_H
