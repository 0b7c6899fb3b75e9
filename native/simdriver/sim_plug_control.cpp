// The control entry points that plug devices back in: a replugged device is the same chip
// (its EEPROM and what is wired to its pins stay) powered up again, at the end of the list.
#include <memory>
#include <mutex>

#include "bit_bang.h"
#include "driver_state.h"
#include "sim_control.h"

namespace {

using sim::Device;

// What the chip looks like after power-up: default settings and signals, the UART mode with
// its pins released, nothing queued to read and no event pending; the peripherals forget a
// transaction cut off by the unplug, and levels driven from outside are released (as the
// chip's power-up resets them). The written log and the counters are the test's and stay.
void powerUp(Device& device) {
    device.settings = sim::LineSettings{};
    device.dtr = false;
    device.rts = false;
    device.breakOn = false;
    device.pendingLineErrors = 0;
    device.received.clear();
    device.eventBits = 0;
    device.notifier.set(0, nullptr);
    sim::enterBitMode(device, 0, 0);
    device.mpsse.reset();
    device.pins.resetPeripherals();
}

}  // namespace

extern "C" {

int32_t simReplug(int32_t id, uint32_t locId) {
    sim::DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    Device* device = state.device(id);
    if (device == nullptr || device->attached) {
        return -1;
    }
    if (device->isOpen()) {
        // The handle from before the unplug belongs to a device that is gone for good: it keeps
        // failing with FT_IO_ERROR until closed, while the device opens again under a new one.
        auto gone = std::make_shared<Device>(device->identity);
        gone->attached = false;
        state.handles.rebind(device->handle, gone);
        ++device->opens;
        device->wakeup.notify_all();
    }
    device->identity.locId = locId;
    powerUp(*device);
    device->attached = true;
    state.arrive(*device);
    return 0;
}

}  // extern "C"
