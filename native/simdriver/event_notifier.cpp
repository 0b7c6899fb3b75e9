#include "event_notifier.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "d2xx_modes.h"
#endif

namespace sim {

void EventNotifier::set(uint32_t mask, void* event) {
    if (mask == 0 || event == nullptr) {
        mask_ = 0;
        event_ = nullptr;
        return;
    }
    mask_ = mask;
    event_ = event;
}

void EventNotifier::notify(uint32_t events) const {
    if ((mask_ & events) != 0) {
        signal();
    }
}

void EventNotifier::signalAndForget() {
    if (event_ != nullptr) {
        signal();
    }
    mask_ = 0;
    event_ = nullptr;
}

void EventNotifier::signal() const {
#if defined(_WIN32)
    SetEvent(static_cast<HANDLE>(event_));
#else
    // iVar marks the signal so that it is not lost when nobody waits yet.
    auto* handle = static_cast<FT_EVENT_HANDLE*>(event_);
    pthread_mutex_lock(&handle->eMutex);
    handle->iVar = 1;
    pthread_cond_broadcast(&handle->eCondVar);
    pthread_mutex_unlock(&handle->eMutex);
#endif
}

}  // namespace sim
