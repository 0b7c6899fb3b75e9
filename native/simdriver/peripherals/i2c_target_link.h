// The bus side of an I2C target: watches SCL and SDA, recognises START, repeated START and
// STOP, takes in address and data bits on SCL's rising edge, and answers on SDA (ACK, read
// data) only while SCL is low, changing right after SCL's falling edge. 7- and 10-bit
// addresses. What the bytes mean is left to the subclass (a register file, an EEPROM).
#ifndef SIM_PERIPHERALS_I2C_TARGET_LINK_H
#define SIM_PERIPHERALS_I2C_TARGET_LINK_H

#include <cstdint>

#include "../pin_bus.h"

namespace sim {

struct I2cPins {
    int scl = 0;
    int sda = 1;
};

class I2cTargetLink : public Peripheral {
public:
    // `owner` comes from bus.newOwner(); `address` is 7 bits, or 10 bits when tenBit is set.
    I2cTargetLink(int owner, I2cPins pins, uint16_t address, bool tenBit);

    void onLevels(PinBus& bus, PinMask previous, PinMask now) override;
    void reset() override;

    // Scripted faults: stay silent on the own address (as an absent device); refuse data
    // byte k of a write (0 = the first byte after the address, -1 = none); hold SDA low for
    // ever (a stuck bus) until switched off. holdSdaLow takes effect on the next change of
    // levels, or at once with the bus given.
    void setNackAddress(bool on) { nackAddress_ = on; }
    void setNackAtByte(int index) { nackAtByte_ = index; }
    void setHoldSdaLow(PinBus& bus, bool on);

    uint16_t address() const { return address_; }
    bool tenBit() const { return tenBit_; }
    const I2cPins& pins() const { return pins_; }

protected:
    // Whether a 7-bit address (no R/W bit) selects this target; a 10-bit target is asked
    // about the first byte's 11110AA pattern through the same call. The default compares
    // with the configured address.
    virtual bool matches7(uint8_t address7) const;
    // A write transaction addressed this target (`address7` as received: an EEPROM takes
    // block bits from it).
    virtual void writeStarted(uint8_t address7) = 0;
    // Data byte `index` (0 = first after the address) of a write; false refuses it (NACK).
    virtual bool writeByte(int index, uint8_t byte) = 0;
    // A read transaction addressed this target.
    virtual void readStarted(uint8_t address7) = 0;
    // The next byte of a read.
    virtual uint8_t readByte() = 0;
    // A STOP ended a transaction that addressed this target.
    virtual void stopped(const PinBus& bus) = 0;
    // While true the target does not answer its address (an EEPROM busy writing).
    virtual bool busy(const PinBus& bus) const;

private:
    enum class Phase : uint8_t {
        Idle,          // waiting for a START
        Address,       // the first address byte
        SecondAddress, // the low byte of a 10-bit address
        Write,         // data from the master
        Read,          // data to the master
        Ignore,        // not addressed, or done: waiting for START or STOP
    };

    void onStart(bool repeated);
    void onRising(bool sda, const PinBus& bus);
    void onFalling();
    // Decides the answer to the byte just received and the phase after its ACK clock.
    void byteReceived(uint8_t byte, const PinBus& bus);
    void applySda(PinBus& bus);

    int owner_;
    I2cPins pins_;
    uint16_t address_;
    bool tenBit_;
    bool nackAddress_ = false;
    int nackAtByte_ = -1;
    bool holdSdaLow_ = false;

    Phase phase_ = Phase::Idle;
    Phase afterAck_ = Phase::Ignore;  // the phase once the ACK clock is over
    bool inTransaction_ = false;      // addressed since the last START
    bool tenBitSelected_ = false;     // the 10-bit address was written, until STOP
    int clocks_ = 0;                  // SCL rising edges in this 9-clock frame
    uint8_t shift_ = 0;
    bool acking_ = false;             // this frame's ninth clock carries our ACK
    uint8_t outByte_ = 0;             // the byte being read out
    int dataIndex_ = 0;
    bool sdaLow_ = false;             // what the state machine wants on SDA
    bool driven_ = false;             // whether SDA is driven low now
};

}  // namespace sim

#endif  // SIM_PERIPHERALS_I2C_TARGET_LINK_H
