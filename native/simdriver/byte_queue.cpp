#include "byte_queue.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {
constexpr std::size_t kInitialStorage = 4096;
}

void ByteQueue::reserve(std::size_t needed) {
    if (needed <= ring_.size()) {
        return;
    }
    std::size_t capacity = std::max(ring_.size(), kInitialStorage);
    while (capacity < needed) {
        capacity *= 2;
    }
    capacity = std::min(capacity, bound_);
    // Unroll the ring into the new storage so that the oldest byte is at index 0.
    std::vector<uint8_t> grown(capacity);
    const std::size_t copied = pop(grown.data(), size_);
    ring_.swap(grown);
    head_ = 0;
    size_ = copied;
}

std::size_t ByteQueue::push(const uint8_t* bytes, std::size_t length) {
    const std::size_t accepted = std::min(length, bound_ - size_);
    if (accepted == 0) {
        return 0;
    }
    reserve(size_ + accepted);
    std::size_t tail = (head_ + size_) % ring_.size();
    std::size_t done = 0;
    while (done < accepted) {
        const std::size_t run = std::min(accepted - done, ring_.size() - tail);
        std::memcpy(ring_.data() + tail, bytes + done, run);
        done += run;
        tail = (tail + run) % ring_.size();
    }
    size_ += accepted;
    return accepted;
}

std::size_t ByteQueue::pop(uint8_t* out, std::size_t length) {
    const std::size_t taken = std::min(length, size_);
    std::size_t done = 0;
    while (done < taken) {
        const std::size_t run = std::min(taken - done, ring_.size() - head_);
        std::memcpy(out + done, ring_.data() + head_, run);
        done += run;
        head_ = (head_ + run) % ring_.size();
    }
    size_ -= taken;
    if (size_ == 0) {
        head_ = 0;
    }
    return taken;
}

void ByteQueue::clear() {
    head_ = 0;
    size_ = 0;
}

}  // namespace sim
