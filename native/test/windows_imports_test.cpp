// Windows only: proves, in the running process, that the loaded ftdibridge.dll is bound to
// FTD2XX.dll by ordinal. Wine, unlike Windows, loads a DLL whose import it cannot resolve and
// fails only when the import is called, so the import table itself is read back: every slot
// the bridge has for FTD2XX.dll must hold what the driver exports at the ordinal of the very
// function the slot stands for.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "d2xx.h"
#include "sim_control.h"

namespace {

// The driver functions the bridge calls, at their ordinals in FTD2XX.dll.
const std::map<WORD, std::string> kFunctionAt = {
    {1, "FT_Open"},           {2, "FT_Close"},
    {3, "FT_Read"},           {4, "FT_Write"},
    {6, "FT_ResetDevice"},    {7, "FT_SetBaudRate"},
    {8, "FT_SetDataCharacteristics"}, {9, "FT_SetFlowControl"},
    {10, "FT_SetDtr"},        {11, "FT_ClrDtr"},
    {12, "FT_SetRts"},        {13, "FT_ClrRts"},
    {14, "FT_GetModemStatus"}, {15, "FT_SetChars"},
    {16, "FT_Purge"},         {17, "FT_SetTimeouts"},
    {18, "FT_GetQueueStatus"}, {22, "FT_SetBreakOn"},
    {23, "FT_SetBreakOff"},   {27, "FT_OpenEx"},
    {29, "FT_SetLatencyTimer"}, {30, "FT_GetLatencyTimer"},
    {33, "FT_SetUSBParameters"}, {70, "FT_CreateDeviceInfoList"},
    {71, "FT_GetDeviceInfoList"}, {75, "FT_GetDriverVersion"},
    {76, "FT_GetLibraryVersion"}, {80, "FT_GetComPortNumber"},
};

struct DriverSlot {
    bool byOrdinal;
    WORD ordinal;
    ULONGLONG address;  // what the loader wrote into the import address slot
};

// The bridge's import entries for FTD2XX.dll, read from its loaded image.
std::vector<DriverSlot> driverSlotsOf(HMODULE module, int& descriptors) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<DriverSlot> slots;
    descriptors = 0;
    for (const auto* descriptor =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + descriptor->Name), "FTD2XX.dll") != 0) {
            continue;
        }
        ++descriptors;
        // The lookup table keeps the ordinals; the address table now holds resolved addresses.
        const auto* lookup =
            reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + descriptor->OriginalFirstThunk);
        const auto* bound =
            reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + descriptor->FirstThunk);
        for (; lookup->u1.Ordinal != 0; ++lookup, ++bound) {
            slots.push_back({IMAGE_SNAP_BY_ORDINAL64(lookup->u1.Ordinal),
                             static_cast<WORD>(IMAGE_ORDINAL64(lookup->u1.Ordinal)),
                             bound->u1.Function});
        }
    }
    return slots;
}

// Which driver function a slot's address is: with every function failing on purpose (a failed
// call only records itself), one call through the address shows up in exactly one call count.
std::string functionBehind(ULONGLONG address) {
    constexpr FT_STATUS kMarker = 0x7E57;
    simReset();
    for (const auto& entry : kFunctionAt) {
        simFailAlways(entry.second.c_str(), kMarker);
    }
    // Every driver function takes at most five integer or pointer arguments; on x64 all of them
    // are passed the same way, so zeros fit each one's signature.
    using AnyDriverFunction = FT_STATUS (*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
    const FT_STATUS status = reinterpret_cast<AnyDriverFunction>(address)(0, 0, 0, 0, 0);
    std::string called;
    for (const auto& entry : kFunctionAt) {
        if (simCallCount(entry.second.c_str()) != 0) {
            called += called.empty() ? entry.second : "+" + entry.second;
        }
    }
    simReset();
    return status == kMarker ? called : "<not a driver function>";
}

TEST(WindowsImports, EachDriverImportSlotHoldsTheDriversExportAtThatFunctionsOrdinal) {
    const HMODULE bridge = GetModuleHandleA("ftdibridge.dll");
    const HMODULE driver = GetModuleHandleA("FTD2XX.dll");
    ASSERT_NE(nullptr, bridge);
    ASSERT_NE(nullptr, driver);

    int descriptors = 0;
    const std::vector<DriverSlot> slots = driverSlotsOf(bridge, descriptors);
    EXPECT_EQ(1, descriptors) << "import descriptors for FTD2XX.dll";
    std::set<WORD> ordinals;
    for (const DriverSlot& slot : slots) {
        ASSERT_TRUE(slot.byOrdinal) << "a driver function is imported by name";
        const auto known = kFunctionAt.find(slot.ordinal);
        ASSERT_NE(kFunctionAt.end(), known) << "unknown ordinal " << slot.ordinal;
        EXPECT_TRUE(ordinals.insert(slot.ordinal).second) << "ordinal " << slot.ordinal << " twice";

        const FARPROC exported = GetProcAddress(driver, MAKEINTRESOURCEA(slot.ordinal));
        ASSERT_NE(nullptr, exported) << "FTD2XX.dll exports nothing at " << slot.ordinal;
        EXPECT_EQ(reinterpret_cast<ULONGLONG>(exported), slot.address)
            << known->second << " (ordinal " << slot.ordinal << ") is not bound to the export";
        EXPECT_EQ(known->second, functionBehind(slot.address))
            << "the slot of ordinal " << slot.ordinal;
    }
    std::set<WORD> expected;
    for (const auto& entry : kFunctionAt) {
        expected.insert(entry.first);
    }
    EXPECT_EQ(expected, ordinals);
}

TEST(WindowsImports, TheSimulatedDriverOffersItsDriverFunctionsByOrdinalOnly) {
    const HMODULE driver = GetModuleHandleA("FTD2XX.dll");
    ASSERT_NE(nullptr, driver);
    EXPECT_NE(nullptr, GetProcAddress(driver, "simReset")) << "not the simulated driver";
    for (const auto& entry : kFunctionAt) {
        EXPECT_NE(nullptr, GetProcAddress(driver, MAKEINTRESOURCEA(entry.first))) << entry.second;
        EXPECT_EQ(nullptr, GetProcAddress(driver, entry.second.c_str())) << entry.second;
    }
}

}  // namespace
