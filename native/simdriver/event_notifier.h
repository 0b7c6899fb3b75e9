// The event a user registered with FT_SetEventNotification, and how the driver signals it.
//
// Lock order: the driver signals while it holds the driver lock, and then takes the event's
// own mutex (Linux, macOS) for a moment. That cannot deadlock because a waiter holds only the
// event's mutex while it waits and never calls into the driver under it. On Windows the event
// is a Win32 event and SetEvent takes no lock of ours.
#ifndef SIM_EVENT_NOTIFIER_H
#define SIM_EVENT_NOTIFIER_H

#include <cstdint>

namespace sim {

class EventNotifier {
public:
    // Registers the event to signal on the events in `mask` (FT_EVENT_* bits); a zero mask or
    // a null event switches notification off. The event stays the caller's: it must outlive
    // its registration, as with the vendor's driver.
    void set(uint32_t mask, void* event);
    // Signals the event if one of `events` is enabled.
    void notify(uint32_t events) const;
    // Signals a registered event whatever its mask and forgets it: the handle was closed, so
    // a thread waiting on it must wake.
    void signalAndForget();
    uint32_t mask() const { return mask_; }
    void* event() const { return event_; }

private:
    void signal() const;

    uint32_t mask_ = 0;
    void* event_ = nullptr;
};

}  // namespace sim

#endif  // SIM_EVENT_NOTIFIER_H
