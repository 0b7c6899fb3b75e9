// Control interface of the simulated D2XX driver: lets tests script the devices it models,
// inject faults and read back what the driver was asked to do. Exported by the simulated
// libftd2xx.so beside the driver functions; the vendor's driver has none of these.
#ifndef SIM_CONTROL_H
#define SIM_CONTROL_H

#include <cstdint>

#if defined(_WIN32)
#define SIM_API __declspec(dllexport)
#else
#define SIM_API __attribute__((visibility("default")))
#endif

extern "C" {

// What one device looks like to its user right now: its line settings, signals and queues.
struct SimDeviceState {
    uint32_t open;             // 1 while a handle of this process is open on it
    uint32_t baudRate;
    uint32_t wordLength;
    uint32_t stopBits;
    uint32_t parity;
    uint32_t flowControl;
    uint32_t xon;
    uint32_t xoff;
    uint32_t readTimeout;      // milliseconds, 0 = wait for all requested bytes
    uint32_t writeTimeout;
    uint32_t latencyTimer;
    uint32_t inTransferSize;
    uint32_t outTransferSize;
    uint32_t eventChar;
    uint32_t eventCharEnabled;
    uint32_t errorChar;
    uint32_t errorCharEnabled;
    uint32_t dtr;
    uint32_t rts;
    uint32_t breakOn;
    uint32_t rxQueued;         // bytes waiting in the receive queue
    uint32_t writtenQueued;    // bytes written and not yet taken by simTakeWritten
    uint32_t resetCount;
    uint32_t purgeRxCount;
    uint32_t purgeTxCount;
};

// Removes every device, invalidates every handle (a blocked read returns FT_IO_ERROR; later
// calls on old handles get FT_INVALID_HANDLE), clears faults, count overrides, call records
// and the device-list snapshot, and restores every default. Handle offsets start again.
SIM_API void simReset(void);

// Attaches a device at the end of the list and returns its id (0, 1, ...; stable until
// simReset), or -1 when a field is longer than its record field (16 and 64 bytes). The text
// fields are stored byte for byte; a field shorter than its record is zero-padded, a full one
// has no terminator. New devices echo what is written (loopback), have COM port -1, driver
// version 0x00021216 and the driver's default settings. Flags are reported as given, with
// FT_FLAGS_OPENED (1) added while the device is open here or elsewhere. Settings, signals and
// queued bytes stay with the device across close and reopen, as a chip keeps them.
SIM_API int32_t simAddDevice(uint32_t flags, uint32_t type, uint32_t id, uint32_t locId,
                             const uint8_t* serial, uint32_t serialLength,
                             const uint8_t* description, uint32_t descriptionLength);

// How many devices were added since simReset: ids run from 0 to this count - 1.
SIM_API int32_t simDeviceCount(void);

// Each of these returns 0, or -1 for an unknown device id.
// Unplug: gone from the list; every call on its open handle fails with FT_IO_ERROR from now on,
// except FT_Close, which releases the handle; a blocked read returns FT_IO_ERROR.
SIM_API int32_t simUnplug(int32_t device);
SIM_API int32_t simSetOpenedElsewhere(int32_t device, int32_t opened);
SIM_API int32_t simSetLoopback(int32_t device, int32_t on);
SIM_API int32_t simSetDriverVersion(int32_t device, uint32_t version);
SIM_API int32_t simSetComPort(int32_t device, int32_t port);
// Lines as modem-status low-byte bits (CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80; others are
// ignored). They are what FT_GetModemStatus shows when not looped back; RI shows either way.
// Looped back, RTS drives CTS and DTR drives DSR and DCD, and break shows as 0x1000.
SIM_API int32_t simSetModemInputs(int32_t device, uint32_t lines);
// Line-status byte bits (overrun 0x02, parity 0x04, framing 0x08, break 0x10): added to those
// pending, reported in bits 8-15 of the next FT_GetModemStatus and then cleared.
SIM_API int32_t simRaiseLineErrors(int32_t device, uint32_t errors);
// Bytes arriving from the line, appended to the receive queue. The queue holds 1 MiB; bytes
// beyond that (injected or looped back) are dropped and raise the overrun bit (0x02).
SIM_API int32_t simInject(int32_t device, const uint8_t* bytes, uint32_t length);
// Fills *state; -1 also for a null state. FT_ResetDevice, counted in resetCount, restores the
// default settings, clears DTR, RTS and break and empties the receive queue.
SIM_API int32_t simGetDeviceState(int32_t device, SimDeviceState* state);
// Stalls the device's writes (on) or lets them go (off, the default), as flow control does
// when the other end holds the line: a stalled FT_Write waits up to the write timeout (for
// ever when it is 0) and reports 0 bytes written, or ends at once reporting 0 on a transmit
// purge, with FT_INVALID_HANDLE on close and FT_IO_ERROR on unplug or reset. Letting the
// writes go lets a waiting write send its bytes.
SIM_API int32_t simSetWritesStalled(int32_t device, int32_t on);
// Reads and writes complete at once without queues: reads deliver a fixed pattern, writes
// are copied and dropped. For measuring the cost of the layers above the driver. The pattern
// is 65536 bytes, byte i being i % 251; every read starts at its beginning and a longer read
// repeats it. Instant writes do not reach the written log or the receive queue.
SIM_API int32_t simSetInstantTransfers(int32_t device, int32_t on);

// Moves up to capacity bytes of what was written to the device into out; returns the count.
// Every byte written goes to this log, looped back or not; it keeps at most 16 MiB, bytes
// written beyond that are left out.
SIM_API int32_t simTakeWritten(int32_t device, uint8_t* out, uint32_t capacity);

// How many bytes were written to the device since it was added, the ones the log left out
// included; -1 for an unknown device. simTakeWritten does not change it.
SIM_API int64_t simWrittenTotal(int32_t device);

// What FT_GetLibraryVersion reports; 0x00030215 (3.02.15) until set.
SIM_API void simSetLibraryVersion(uint32_t version);
// Handles issued from now on carry these bits above a small per-open offset: handle n (from 1,
// counted since simReset) is base + 0x10 * n. The base is 0x00007F5A00000000 until set.
SIM_API void simSetHandleBase(uint64_t base);
// Handle reuse, off until set and after simReset: when on, each open is given the value of
// the handle closed most recently and not given out since, as an allocator reuses freed
// memory, so that a call with a stale handle reaches whichever device got its value.
SIM_API void simSetHandleReuse(int32_t on);
// Calls that arrived with this handle value while it was closed (issued, closed and not
// issued again), since simReset; injected failures and FT_Close included.
SIM_API uint32_t simClosedHandleCalls(uint64_t handle);
// Lists every handle value with such calls, in no particular order: writes up to capacity
// values and their counts and returns how many values there are.
SIM_API int32_t simClosedHandleCallList(uint64_t* handles, uint32_t* counts, int32_t capacity);
// The handle bits of the device's open handle, 0 when it is not open.
SIM_API uint64_t simHandleOf(int32_t device);

// Faults, by driver function name ("FT_Read"). Each returns 0, or -1 for an unknown name.
// A call with an injected failure is recorded, changes nothing and writes no out-value; a
// one-shot failure takes precedence over a lasting one.
SIM_API int32_t simFailNext(const char* function, uint32_t status);    // the next call only
SIM_API int32_t simFailAlways(const char* function, uint32_t status);  // until simClearFaults
// The next successful call of FT_Read, FT_Write, FT_GetQueueStatus, FT_CreateDeviceInfoList or
// FT_GetDeviceInfoList reports this count. Never more bytes or records than the caller's
// buffer holds are written, whatever count is reported. A read moves min(count, requested,
// queued) bytes and never waits; a write sends min(count, length) bytes. Returns -1 for
// other functions.
SIM_API int32_t simReportNextCount(const char* function, uint32_t count);
SIM_API void simClearFaults(void);

// Call records since simReset.
SIM_API uint32_t simCallCount(const char* function);
// The arguments of the last call, each as passed: handles and pointers as their bits,
// narrow values zero-extended (FT_Open's index too), an in/out count as it was on entry (0 when
// its pointer is null). At most 5 arguments. Returns how many it wrote, or -1 when the
// function was not called (or the name is unknown).
SIM_API int32_t simLastArgs(const char* function, uint64_t* args, int32_t capacity);
// The bytes of the text handed to the last FT_OpenEx in mode 1 or 2, through its terminating
// zero; at most 1024 bytes are read. Returns the count written, or -1 when there was no
// such call or its text was null.
SIM_API int32_t simLastOpenText(uint8_t* out, int32_t capacity);

// ==== The chip beyond the serial line (sim_chip_control.cpp) ==========================
// Each returns 0 (or the value asked for), or -1 for an unknown device id or a bad argument.

// ---- EEPROM ----------------------------------------------------------------------------------
// Sets one word of the device's EEPROM, as FT_WriteEE would, without a handle; -1 also for an
// offset past its end.
SIM_API int32_t simSetEepromWord(int32_t device, uint32_t offset, uint16_t value);
// Copies up to capacity words of the EEPROM into out; returns its size in words.
SIM_API int32_t simGetEepromWords(int32_t device, uint16_t* out, uint32_t capacity);

// ---- Pins ------------------------------------------------------------------------------------
// Pins 0..7 are ADBUS0..7 (D0..D7 of a 232R), 8..15 ACBUS0..7 (CBUS0..3 in CBUS bit-bang).
// Drives the pins in mask from outside the chip, to the levels' bits; releases the others
// (an undriven pin reads 1). Replaces what this call drove before.
SIM_API int32_t simSetPinInputs(int32_t device, uint32_t mask, uint32_t levels);
// The level of every pin (bit i = pin i), 0..0xFFFF.
SIM_API int32_t simGetPinLevels(int32_t device);
// The bit mode FT_SetBitMode set in bits 0-7 and its mask in bits 8-15.
SIM_API int32_t simGetBitMode(int32_t device);
// How often FT_ResetPort and FT_CyclePort succeeded on the device.
SIM_API int32_t simGetPortResets(int32_t device, uint32_t* resets, uint32_t* cycles);

// ---- The chip's pins and the peripherals wired to them --------------------------------------
// Pins are 0..7 (ADBUS0..7, D0..D7) and 8..15 (ACBUS0..7). Every function takes the device id
// and returns -1 for an unknown device or an argument out of range. Peripheral ids are the
// peripheral's position on the device's pins (0, 1, ...), valid until simReset.

// An I2C target with `registerCount` (1..65536) registers, all 0, at a 7-bit (0..0x7F) or
// 10-bit (tenBit != 0, 0..0x3FF) address, on SCL = pin 0 and SDA = pin 1, wired to pin 2 (the
// chip's SDA input). The waveform names the pins SCL, SDA and SDA_IN. Returns its id.
SIM_API int32_t simAttachI2cTarget(int32_t device, uint32_t address, int32_t tenBit,
                                   uint32_t registerCount);
// Copies bytes into the registers from `offset`; 0, or -1 when they do not fit.
SIM_API int32_t simI2cTargetSetRegisters(int32_t device, int32_t target, uint32_t offset,
                                         const uint8_t* bytes, uint32_t length);
// Copies up to `capacity` registers into out; returns the register count.
SIM_API int32_t simI2cTargetGetRegisters(int32_t device, int32_t target, uint8_t* out,
                                         uint32_t capacity);
// Leaves the target's address unanswered (on) as if it were absent, or answers again (off).
SIM_API int32_t simI2cTargetNackAddress(int32_t device, int32_t target, int32_t on);
// Refuses data byte k of each write (0 = the first after the address), or none for k = -1.
SIM_API int32_t simI2cTargetNackAtByte(int32_t device, int32_t target, int32_t k);
// Holds SDA low (on) as a stuck target does, or lets it go (off). Also for an EEPROM.
SIM_API int32_t simI2cHoldSda(int32_t device, int32_t target, int32_t on);

// A 24C-kind EEPROM of sizeBytes (1..65536; above 2 KiB with a two-byte word address) and
// pageBytes (1..sizeBytes), erased to 0xFF, at a 7-bit address (up to 2 KiB with more than 256
// bytes it also answers the following block addresses, as a 24C16 does). Pins as an I2C target.
SIM_API int32_t simAttachI2cEeprom(int32_t device, uint32_t address, uint32_t sizeBytes,
                                   uint32_t pageBytes);
SIM_API int32_t simI2cEepromSetContents(int32_t device, int32_t eeprom, uint32_t offset,
                                        const uint8_t* bytes, uint32_t length);
// Copies up to capacity bytes; returns the EEPROM's size.
SIM_API int32_t simI2cEepromGetContents(int32_t device, int32_t eeprom, uint8_t* out,
                                        uint32_t capacity);

// An SPI flash (erased to 0xFF; sizeBytes 4 KiB..16 MiB, a whole number of 4 KiB sectors)
// with the JEDEC ID 0xMMTTCC on SCK = pin 0, MOSI = pin 1, MISO = pin 2 and CS = csPin (3 or
// 4..15), named SCK, MOSI, MISO and CS in the waveform. Returns its id.
SIM_API int32_t simAttachSpiFlash(int32_t device, int32_t csPin, uint32_t jedecId,
                                  uint32_t sizeBytes);
SIM_API int32_t simSpiFlashSetContents(int32_t device, int32_t flash, uint32_t offset,
                                       const uint8_t* bytes, uint32_t length);
// Copies up to capacity bytes; returns the flash's size.
SIM_API int32_t simSpiFlashGetContents(int32_t device, int32_t flash, uint8_t* out,
                                       uint32_t capacity);

// ---- A JTAG scan chain ------------------------------------------------------------------------
// One device of a chain. irLength 2..32; irCapture within it, its two low bits 01; an IDCODE
// has bit 0 set; instructions fit the IR; the memory needs an IR of at least 8 bits.
struct SimJtagDeviceSpec {
    uint32_t irLength;
    uint32_t irCapture;
    uint32_t hasIdcode;            // 0: BYPASS after reset, no IDCODE instruction
    uint32_t idcode;
    uint32_t idcodeInstruction;
    uint32_t hasUsercode;
    uint32_t usercode;
    uint32_t usercodeInstruction;
    uint32_t hasMemory;            // the 256-word programmable memory (instructions 0xC0..0xC5)
};

// A chain of `count` (1..256) devices, from TDI to TDO, on TCK = pin 0, TDI = pin 1, TDO = pin 2,
// TMS = pin 3 and TRST* (active low) on trstPin (4..15, or -1 for none), named TCK, TDI, TDO,
// TMS and TRST in the waveform. Every device starts in Test-Logic-Reset. Returns its id.
SIM_API int32_t simAttachJtagChain(int32_t device, const SimJtagDeviceSpec* devices, uint32_t count,
                                   int32_t trstPin);
// The TAP state of device `index` (0 at TDI) of the chain: 0 Test-Logic-Reset, 1 Run-Test/Idle,
// 2 Select-DR-Scan, 3 Capture-DR, 4 Shift-DR, 5 Exit1-DR, 6 Pause-DR, 7 Exit2-DR, 8 Update-DR,
// 9 Select-IR-Scan, 10 Capture-IR, 11 Shift-IR, 12 Exit1-IR, 13 Pause-IR, 14 Exit2-IR,
// 15 Update-IR.
SIM_API int32_t simJtagState(int32_t device, int32_t chain, int32_t index);
// The device's current instruction (0..2^32-1), or -1.
SIM_API int64_t simJtagInstruction(int32_t device, int32_t chain, int32_t index);
// The memory's words (-1 for a device without one): set from `offset`, 0 or -1 when they do
// not fit; get copies up to capacity words and returns the word count (256).
SIM_API int32_t simJtagMemorySetWords(int32_t device, int32_t chain, int32_t index, uint32_t offset,
                                      const uint16_t* words, uint32_t count);
SIM_API int32_t simJtagMemoryGetWords(int32_t device, int32_t chain, int32_t index, uint16_t* out,
                                      uint32_t capacity);
// The memory's status register now: bit 0 busy, bit 1 enabled, bit 2 error.
SIM_API int32_t simJtagMemoryStatus(int32_t device, int32_t chain, int32_t index);
// How many TCK rising edges an erase and a program keep the memory busy (10000 and 100 until set).
SIM_API int32_t simJtagSetBusyClocks(int32_t device, int32_t chain, int32_t index, uint64_t eraseClocks,
                                     uint64_t programClocks);

// Wires two pins together: from now on they show one level.
SIM_API int32_t simConnectPins(int32_t device, int32_t pinA, int32_t pinB);
// Drives a pin from outside: level 0 low, 1 high, -1 released. A low wins over a high. The
// drive is the one simSetPinInputs sets, pin by pin; a command waiting on the pin resumes.
SIM_API int32_t simDrivePin(int32_t device, int32_t pin, int32_t level);
// Starts recording every level change from now (on), or stops (off).
SIM_API int32_t simSetWaveformRecording(int32_t device, int32_t on);
// Copies up to capacity bytes of the recorded waveform as VCD text (timescale 1 ns, no
// terminator) and returns its whole length.
SIM_API int32_t simWaveformVcd(int32_t device, char* out, uint32_t capacity);
// The device's simulated time on its pins, in ns, or -1 for an unknown device.
SIM_API int64_t simBusNanos(int32_t device);

}  // extern "C"

#endif  // SIM_CONTROL_H
