#include "driver_functions.h"

#include <atomic>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

// The driver's file name as the bridge loaded it. Test builds name a stand-in driver instead.
#if !defined(FTDI_MODES_DRIVER_FILE)
#if defined(_WIN32)
#define FTDI_MODES_DRIVER_FILE L"FTD2XX.dll"
#elif defined(__APPLE__)
#define FTDI_MODES_DRIVER_FILE "libftd2xx.dylib"
#else
#define FTDI_MODES_DRIVER_FILE "libftd2xx.so"
#endif
#endif

namespace {

constexpr unsigned kFunctionCount = static_cast<unsigned>(DriverFunction::Count);

const char* const kFunctionNames[kFunctionCount] = {
    "FT_SetBitMode",   "FT_GetBitMode",  "FT_GetDeviceInfo",        "FT_GetStatus",
    "FT_ReadEE",       "FT_WriteEE",     "FT_EraseEE",              "FT_EE_UASize",
    "FT_EE_UARead",    "FT_EE_UAWrite",  "FT_SetEventNotification", "FT_ResetPort",
    "FT_CyclePort",
};

// Constant-initialised atomics: no constructor runs at load time and no C++ runtime is needed,
// which a function-local static would bring (its guard).
std::atomic<void*> foundFunctions[kFunctionCount];

#if defined(_WIN32)
void* lookUp(const char* name) {
    // No reference is taken: the bridge's import of the driver keeps it loaded.
    HMODULE driver = GetModuleHandleW(FTDI_MODES_DRIVER_FILE);
    if (driver == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(driver, name));
}
#else
void* lookUp(const char* name) {
    // RTLD_NOLOAD finds the driver only when it is loaded already; it never loads another one.
    void* driver = dlopen(FTDI_MODES_DRIVER_FILE, RTLD_NOLOAD | RTLD_LAZY);
    void* address = driver != nullptr ? dlsym(driver, name) : nullptr;
#if defined(__APPLE__)
    // dyld may not match a bare file name against a driver loaded by its path (UNSURE); its
    // global search finds the driver's symbols whichever way it was loaded.
    if (address == nullptr) {
        address = dlsym(RTLD_DEFAULT, name);
    }
#endif
    // A found function keeps the driver's reference, so its address stays valid for good.
    if (driver != nullptr && address == nullptr) {
        dlclose(driver);
    }
    return address;
}
#endif

}  // namespace

void* findDriverFunction(DriverFunction function) {
    const auto index = static_cast<unsigned>(function);
    void* address = foundFunctions[index].load(std::memory_order_acquire);
    if (address == nullptr) {
        // Two threads may both look up; they find the same address, so either store is right.
        address = lookUp(kFunctionNames[index]);
        if (address != nullptr) {
            foundFunctions[index].store(address, std::memory_order_release);
        }
    }
    return address;
}

uint32_t availableDriverFunctions() {
    uint32_t bits = 0;
    for (unsigned i = 0; i < kFunctionCount; ++i) {
        if (findDriverFunction(static_cast<DriverFunction>(i)) != nullptr) {
            bits |= 1u << i;
        }
    }
    return bits;
}
