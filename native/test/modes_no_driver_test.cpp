// The modes library as shipped, in a program that has loaded no driver: it still loads, finds
// no function, and every driver call is FT_NOT_SUPPORTED, after the same argument checks. Events
// need no driver.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_jni.h"
#include "modes_exports.h"

namespace {

constexpr jlong kHandle = 1;
constexpr jint kNotSupported = -17;

TEST(ModesWithoutDriver, NoFunctionIsAvailable) {
    fakejni::FakeVm vm;
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_availableFunctions(vm.env(), nullptr));
}

TEST(ModesWithoutDriver, EveryDriverCallIsNotSupported) {
    fakejni::FakeVm vm;
    JNIEnv* env = vm.env();
    const std::vector<std::pair<const char*, std::function<jint()>>> calls = {
        {"setBitMode", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_setBitMode(env, nullptr, kHandle, 0, 0); }},
        {"getBitMode", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_getBitMode(env, nullptr, kHandle); }},
        {"getDeviceInfo", [&] {
             return Java_nl_tamsel_ftdi_usb_D2XXModes_getDeviceInfo(env, nullptr, kHandle, vm.newIntArray({0, 0}),
                                                                    vm.newByteArray(std::vector<jbyte>(16)),
                                                                    vm.newByteArray(std::vector<jbyte>(64)));
         }},
        {"getStatus", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(env, nullptr, kHandle, vm.newIntArray({0, 0, 0})); }},
        {"readEE", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_readEE(env, nullptr, kHandle, 0); }},
        {"writeEE", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_writeEE(env, nullptr, kHandle, 0, 0); }},
        {"eraseEE", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_eraseEE(env, nullptr, kHandle); }},
        {"eeUASize", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_eeUASize(env, nullptr, kHandle); }},
        {"eeUARead", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead(env, nullptr, kHandle, vm.newByteArray({0}), 0, 1); }},
        {"eeUAWrite", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_eeUAWrite(env, nullptr, kHandle, vm.newByteArray({0}), 0, 1); }},
        {"setEventNotification", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_setEventNotification(env, nullptr, kHandle, 1, 0); }},
        {"resetPort", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_resetPort(env, nullptr, kHandle); }},
        {"cyclePort", [&] { return Java_nl_tamsel_ftdi_usb_D2XXModes_cyclePort(env, nullptr, kHandle); }},
    };
    for (const auto& call : calls) {
        EXPECT_EQ(kNotSupported, call.second()) << call.first;
        EXPECT_FALSE(vm.exceptionPending()) << call.first;
    }
}

TEST(ModesWithoutDriver, BrokenContractsStillThrowFirst) {
    fakejni::FakeVm vm;
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(vm.env(), nullptr, kHandle, nullptr));
    EXPECT_EQ("java/lang/NullPointerException", vm.exceptionClass());
}

TEST(ModesWithoutDriver, EventsWork) {
    fakejni::FakeVm vm;
    JNIEnv* env = vm.env();
    const jlong event = Java_nl_tamsel_ftdi_usb_D2XXModes_createEvent(env, nullptr);
    ASSERT_GT(event, 0);
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_signalEvent(env, nullptr, event));
    EXPECT_EQ(1, Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(env, nullptr, event, 0));
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_freeEvent(env, nullptr, event));
}

}  // namespace
