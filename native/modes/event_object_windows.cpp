#include <windows.h>

#include "event_object.h"

namespace {
constexpr FT_STATUS kInvalidParameter = 6;
constexpr FT_STATUS kOtherError = 18;
}  // namespace

FT_STATUS createEventObject(void** event) {
    // Auto-reset, not signalled: what the driver's documentation shows for notification.
    HANDLE created = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (created == nullptr) {
        return FT_INSUFFICIENT_RESOURCES;
    }
    *event = created;
    return FT_OK;
}

FT_STATUS waitEventObject(void* event, uint32_t timeoutMillis, bool* signalled) {
    if (event == nullptr) {
        return kInvalidParameter;
    }
    switch (WaitForSingleObject(static_cast<HANDLE>(event), timeoutMillis)) {
    case WAIT_OBJECT_0:
        *signalled = true;
        return FT_OK;
    case WAIT_TIMEOUT:
        *signalled = false;
        return FT_OK;
    default:
        return kOtherError;
    }
}

FT_STATUS signalEventObject(void* event) {
    if (event == nullptr) {
        return kInvalidParameter;
    }
    return SetEvent(static_cast<HANDLE>(event)) ? FT_OK : kOtherError;
}

FT_STATUS freeEventObject(void* event) {
    if (event == nullptr) {
        return kInvalidParameter;
    }
    return CloseHandle(static_cast<HANDLE>(event)) ? FT_OK : kOtherError;
}
