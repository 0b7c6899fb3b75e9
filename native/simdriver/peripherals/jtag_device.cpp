#include "jtag_device.h"

namespace sim {

namespace {

constexpr int kIdcodeBits = 32;

uint32_t allOnes(int bits) {
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

}  // namespace

JtagDevice::JtagDevice(const JtagDeviceSpec& spec)
    : spec_(spec), memory_(spec.hasMemory ? std::make_unique<JtagMemory>() : nullptr) {
    reset();
}

bool JtagDevice::valid(const JtagDeviceSpec& spec) {
    if (spec.irLength < kMinIrLength || spec.irLength > kMaxIrLength) {
        return false;
    }
    const uint32_t mask = allOnes(spec.irLength);
    const auto fits = [mask](uint32_t value) { return (value & ~mask) == 0; };
    return fits(spec.irCapture) && (spec.irCapture & 0x3) == 0x1 &&
           (!spec.hasIdcode || ((spec.idcode & 1) == 1 && fits(spec.idcodeInstruction))) &&
           (!spec.hasUsercode || fits(spec.usercodeInstruction)) && (!spec.hasMemory || spec.irLength >= 8);
}

void JtagDevice::reset() {
    state_ = TapState::TestLogicReset;
    instruction_ = spec_.hasIdcode ? spec_.idcodeInstruction : allOnes(spec_.irLength);
}

void JtagDevice::risingEdge(bool tms, bool tdi) {
    if (memory_) {
        memory_->clock();  // before this edge's update, which may start a new operation
    }
    switch (state_) {
    case TapState::CaptureDr:
        drLength_ = dataLength();
        drShift_ = dataCapture();
        break;
    case TapState::ShiftDr:
        drShift_ = shiftIn(drShift_, drLength_, tdi);
        break;
    case TapState::CaptureIr:
        irShift_ = spec_.irCapture;
        break;
    case TapState::ShiftIr:
        irShift_ = shiftIn(irShift_, spec_.irLength, tdi);
        break;
    default:
        break;
    }
    state_ = nextTapState(state_, tms);
    // Updates act on the edge that enters Update-xR rather than on the falling edge within it:
    // nothing can tell the two apart before the next rising edge.
    switch (state_) {
    case TapState::TestLogicReset:
        reset();
        break;
    case TapState::UpdateIr:
        instruction_ = irShift_;
        if (memory_ && JtagMemory::isInstruction(instruction_)) {
            memory_->instructionUpdated(instruction_);
        }
        break;
    case TapState::UpdateDr:
        if (memory_ && JtagMemory::isInstruction(instruction_)) {
            memory_->dataUpdated(instruction_, drShift_);
        }
        break;
    default:
        break;
    }
}

int JtagDevice::tdoAfterFallingEdge() const {
    if (state_ == TapState::ShiftDr) {
        return static_cast<int>(drShift_ & 1);
    }
    if (state_ == TapState::ShiftIr) {
        return static_cast<int>(irShift_ & 1);
    }
    return -1;
}

int JtagDevice::dataLength() const {
    if (spec_.hasIdcode && instruction_ == spec_.idcodeInstruction) {
        return kIdcodeBits;
    }
    if (spec_.hasUsercode && instruction_ == spec_.usercodeInstruction) {
        return kIdcodeBits;
    }
    if (memory_) {
        if (instruction_ == JtagMemory::kProgram || instruction_ == JtagMemory::kRead) {
            return JtagMemory::kDataBits;
        }
        if (instruction_ == JtagMemory::kStatus) {
            return JtagMemory::kStatusBits;
        }
    }
    return 1;  // BYPASS, and every instruction the device does not know
}

uint32_t JtagDevice::dataCapture() const {
    if (spec_.hasIdcode && instruction_ == spec_.idcodeInstruction) {
        return spec_.idcode;
    }
    if (spec_.hasUsercode && instruction_ == spec_.usercodeInstruction) {
        return spec_.usercode;
    }
    if (memory_ && dataLength() > 1) {
        return memory_->capture(instruction_);
    }
    return 0;  // BYPASS captures 0
}

uint32_t JtagDevice::shiftIn(uint32_t reg, int length, bool bit) {
    const uint32_t shifted = reg >> 1;
    return bit ? shifted | (1u << (length - 1)) : shifted & ~(1u << (length - 1));
}

}  // namespace sim
