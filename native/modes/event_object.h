// Event objects that the driver signals when an enabled event occurs, owned by Java through a
// long like a device handle. On Windows an auto-reset Win32 event; on Linux and macOS a heap
// object that starts with the FT_EVENT_HANDLE the driver is given.
#ifndef MODES_EVENT_OBJECT_H
#define MODES_EVENT_OBJECT_H

#include <cstdint>

#include "d2xx_modes.h"

// Each returns an FT_STATUS, except where said. A null event is FT_INVALID_PARAMETER.
FT_STATUS createEventObject(void** event);
// Sets *signalled to true when the event was (or becomes) signalled before the timeout, taking
// the signal: it is auto-reset. timeoutMillis must not be negative.
FT_STATUS waitEventObject(void* event, uint32_t timeoutMillis, bool* signalled);
FT_STATUS signalEventObject(void* event);
FT_STATUS freeEventObject(void* event);

#endif  // MODES_EVENT_OBJECT_H
