// A bounded first-in first-out byte queue (a ring whose storage grows up to its bound), for a
// device's receive queue and its log of written bytes. Not synchronised: the driver lock
// guards it.
#ifndef SIM_BYTE_QUEUE_H
#define SIM_BYTE_QUEUE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class ByteQueue {
public:
    explicit ByteQueue(std::size_t bound) : bound_(bound) {}

    // Appends as many bytes as fit under the bound and returns how many did.
    std::size_t push(const uint8_t* bytes, std::size_t length);
    // Moves up to length bytes from the front into out and returns how many it moved.
    std::size_t pop(uint8_t* out, std::size_t length);
    void clear();

    std::size_t size() const { return size_; }
    bool full() const { return size_ == bound_; }

private:
    void reserve(std::size_t needed);

    std::size_t bound_;
    std::vector<uint8_t> ring_;
    std::size_t head_ = 0;  // index of the oldest byte
    std::size_t size_ = 0;
};

}  // namespace sim

#endif  // SIM_BYTE_QUEUE_H
