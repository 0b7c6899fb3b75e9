// The pins of one simulated channel as wires: what the chip drives, what peripherals and
// scripted levels drive, wires between pins, and simulated time. Every level change is
// recorded with its time for the waveform. Not synchronised: the driver lock guards it.
#ifndef SIM_PIN_BUS_H
#define SIM_PIN_BUS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// Pins 0..7 are the low byte (ADBUS0..7, or D0..D7 of a 232R), 8..15 the high byte
// (ACBUS0..7; in CBUS bit-bang CBUS0..3 are pins 8..11).
constexpr int kPinCount = 16;
using PinMask = uint16_t;

constexpr PinMask pinBit(int pin) { return static_cast<PinMask>(1u << pin); }

// What one driver puts on a pin: nothing, or a level.
enum class Drive : uint8_t { Released, Low, High };

class PinBus;

// A device wired to the pins. After every change of levels the bus calls each peripheral's
// onLevels, in the order they were added, until no drive changes any more.
class Peripheral {
public:
    virtual ~Peripheral() = default;
    // `previous` and `now` are the resolved levels of all pins before and after the change;
    // the peripheral may call bus.drive with its own owner id to answer.
    virtual void onLevels(PinBus& bus, PinMask previous, PinMask now) = 0;
    // Forgets any transaction in progress (a reset of the chip).
    virtual void reset() {}
};

class PinBus {
public:
    PinBus();

    // ---- The chip's side -------------------------------------------------------------------
    // Outputs where `outputs` has a 1, driving `values`; inputs elsewhere. A pin in the
    // open-drain mask drives only its 0s and floats on a 1.
    void setChipPins(PinMask values, PinMask outputs);
    void setOpenDrain(PinMask mask);
    PinMask chipValues() const { return chipValues_; }
    PinMask chipOutputs() const { return chipOutputs_; }
    PinMask openDrain() const { return openDrain_; }

    // ---- Levels ----------------------------------------------------------------------------
    // The level every pin shows: a pin (with everything wired to it) is low when any driver
    // drives it low, high when one drives it high and none low, and pulled up when none drives.
    PinMask levels() const { return levels_; }
    bool level(int pin) const { return (levels_ & pinBit(pin)) != 0; }

    // ---- Everything wired to the pins --------------------------------------------------------
    // A new driver id for a peripheral or a scripted level (0 is the chip).
    int newOwner();
    void drive(int owner, int pin, Drive drive);
    // Joins two pins with a wire: from now on they show one level.
    void connect(int pinA, int pinB);
    // Adds a peripheral (it gets its own owner id through newOwner) and returns its index.
    std::size_t addPeripheral(std::unique_ptr<Peripheral> peripheral);
    Peripheral* peripheral(std::size_t index) const;
    // Resets every peripheral and releases every drive but the chip's.
    void resetPeripherals();

    // ---- Time and waveform -----------------------------------------------------------------
    uint64_t nowNanos() const { return now_; }
    void advance(uint64_t nanos) { now_ += nanos; }
    // Names a pin in the waveform ("SCL"); unnamed pins are AD0..AD7 and AC0..AC7.
    void setPinName(int pin, const std::string& name);
    // Starts recording from now (with every pin's level at this time), or stops; off until
    // asked. At most `maxChanges` changes are kept; later ones are counted but dropped.
    void setRecording(bool on, std::size_t maxChanges = 1u << 22);
    // The recorded changes as a VCD text (timescale 1 ns), only pins that were named or that
    // changed; `dropped` reports changes past the bound.
    std::string waveformVcd(std::size_t* dropped = nullptr) const;
    void clearWaveform();

private:
    // The levels after a change, with its time; changes at one time share one entry.
    struct Change {
        uint64_t time;
        PinMask levels;
    };

    // What every driver puts on the pins now, resolved net by net.
    PinMask resolveLevels() const;
    // Resolves, records and notifies the peripherals until the levels stop changing.
    void settle();
    void record(PinMask levels);

    PinMask chipValues_ = 0;
    PinMask chipOutputs_ = 0;
    PinMask openDrain_ = 0;
    PinMask levels_ = 0xFFFF;
    uint64_t now_ = 0;
    int owners_ = 1;
    // drives_[owner][pin]; the chip's own drive (owner 0) comes from chipValues_/chipOutputs_.
    std::vector<std::vector<Drive>> drives_;
    // netMask_[pin]: every pin wired to it, directly or through others, itself included.
    PinMask netMask_[kPinCount];
    std::vector<std::unique_ptr<Peripheral>> peripherals_;
    std::vector<std::string> names_;
    bool settling_ = false;
    bool recording_ = false;
    std::size_t maxChanges_ = 0;
    std::size_t dropped_ = 0;
    PinMask recordStart_ = 0xFFFF;
    uint64_t recordStartTime_ = 0;
    std::vector<Change> changes_;
};

}  // namespace sim

#endif  // SIM_PIN_BUS_H
