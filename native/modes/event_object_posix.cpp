#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "event_object.h"

namespace {

constexpr FT_STATUS kInvalidParameter = 6;
constexpr FT_STATUS kOtherError = 18;
constexpr long kNanosPerSecond = 1000000000L;

// The driver receives &event->driverHandle, so it must be the first member. Both flags are
// guarded by driverHandle.eMutex: `signalled` is ours, and iVar is set by the simulated driver
// when it signals, so that a signal that came while nobody waited is kept.
struct EventObject {
    FT_EVENT_HANDLE driverHandle;
    bool signalled;
};

EventObject* toEvent(void* event) {
    return static_cast<EventObject*>(event);
}

// Takes a pending signal (ours or the driver's); called with the mutex held.
bool takeSignal(EventObject& event) {
    const bool pending = event.signalled || event.driverHandle.iVar != 0;
    event.signalled = false;
    event.driverHandle.iVar = 0;
    return pending;
}

// The condition variable keeps its default clock, CLOCK_REALTIME: the driver's documentation
// has the application initialise it that way, and macOS offers no other for timed waits.
timespec deadlineAfter(uint32_t timeoutMillis) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // Below 2 x 10^9, so 32-bit arithmetic does: a 64-bit division would pull the ARM EABI's
    // division helper, and with it an unwinder, into the 32-bit ARM library.
    uint32_t nanos = static_cast<uint32_t>(now.tv_nsec) + (timeoutMillis % 1000u) * 1000000u;
    time_t carry = 0;
    if (nanos >= static_cast<uint32_t>(kNanosPerSecond)) {
        nanos -= static_cast<uint32_t>(kNanosPerSecond);
        carry = 1;
    }
    timespec deadline{};
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(timeoutMillis / 1000u) + carry;
    deadline.tv_nsec = static_cast<long>(nanos);
    return deadline;
}

}  // namespace

FT_STATUS createEventObject(void** event) {
    // malloc, not new: the library needs no C++ runtime.
    auto* created = static_cast<EventObject*>(std::calloc(1, sizeof(EventObject)));
    if (created == nullptr) {
        return FT_INSUFFICIENT_RESOURCES;
    }
    if (pthread_mutex_init(&created->driverHandle.eMutex, nullptr) != 0) {
        std::free(created);
        return FT_INSUFFICIENT_RESOURCES;
    }
    if (pthread_cond_init(&created->driverHandle.eCondVar, nullptr) != 0) {
        pthread_mutex_destroy(&created->driverHandle.eMutex);
        std::free(created);
        return FT_INSUFFICIENT_RESOURCES;
    }
    *event = created;
    return FT_OK;
}

FT_STATUS waitEventObject(void* opaque, uint32_t timeoutMillis, bool* signalled) {
    if (opaque == nullptr) {
        return kInvalidParameter;
    }
    EventObject& event = *toEvent(opaque);
    const timespec deadline = deadlineAfter(timeoutMillis);
    pthread_mutex_lock(&event.driverHandle.eMutex);
    bool taken = takeSignal(event);
    bool woken = false;
    while (!taken && !woken) {
        const int result =
            pthread_cond_timedwait(&event.driverHandle.eCondVar, &event.driverHandle.eMutex,
                                   &deadline);
        taken = takeSignal(event);
        if (result == ETIMEDOUT) {
            break;
        }
        if (result != 0 && result != EINTR) {
            pthread_mutex_unlock(&event.driverHandle.eMutex);
            return kOtherError;
        }
        // A vendor driver signals the condition without touching either flag, so a wake-up
        // before the deadline counts as its signal (UNSURE: a spurious wake-up reads the same;
        // the caller then finds no event in FT_GetStatus and waits again). EINTR is not.
        woken = result == 0;
    }
    pthread_mutex_unlock(&event.driverHandle.eMutex);
    *signalled = taken || woken;
    return FT_OK;
}

FT_STATUS signalEventObject(void* opaque) {
    if (opaque == nullptr) {
        return kInvalidParameter;
    }
    EventObject& event = *toEvent(opaque);
    pthread_mutex_lock(&event.driverHandle.eMutex);
    event.signalled = true;
    // Every current waiter wakes: a signal from a closing device must end all waits.
    pthread_cond_broadcast(&event.driverHandle.eCondVar);
    pthread_mutex_unlock(&event.driverHandle.eMutex);
    return FT_OK;
}

FT_STATUS freeEventObject(void* opaque) {
    if (opaque == nullptr) {
        return kInvalidParameter;
    }
    EventObject* event = toEvent(opaque);
    pthread_cond_destroy(&event->driverHandle.eCondVar);
    pthread_mutex_destroy(&event->driverHandle.eMutex);
    std::free(event);
    return FT_OK;
}
