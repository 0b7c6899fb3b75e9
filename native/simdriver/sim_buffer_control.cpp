// The control entry points for the sizes of a device's buffers: the driver's receive buffer for
// the chip's replies, and the chip's own command and reply buffers.
#include <mutex>

#include "device.h"
#include "driver_state.h"
#include "sim_control.h"

namespace {

using sim::Device;

template <typename Action>
int32_t withDevice(int32_t id, Action action) {
    sim::DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    Device* device = state.device(id);
    return device == nullptr ? -1 : action(*device);
}

}  // namespace

extern "C" {

int32_t simSetReceiveBuffer(int32_t device, uint32_t bytes) {
    if (bytes == 0 || bytes > sim::kReceiveQueueBound) {
        return -1;
    }
    return withDevice(device, [&](Device& target) {
        target.receiveBuffer = bytes;
        // A larger buffer takes replies waiting in the chip, and the chip may go on.
        target.repliesTaken();
        return 0;
    });
}

int32_t simGetReceiveBuffer(int32_t device) {
    return withDevice(device, [](Device& target) { return static_cast<int32_t>(target.receiveBuffer); });
}

int32_t simGetChipBuffers(int32_t device, uint32_t* commandBytes, uint32_t* replyBytes) {
    if (commandBytes == nullptr || replyBytes == nullptr) {
        return -1;
    }
    return withDevice(device, [&](Device& target) {
        *commandBytes = target.kind().outBuffer;
        *replyBytes = target.kind().inBuffer;
        return 0;
    });
}

}  // extern "C"
