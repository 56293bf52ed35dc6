// The lookup target of a real window (Windows only): the window handle is
// held as a number, so a worker that outlives the window or its object
// touches nothing released; IsWindow tells whether the window still exists
// and PostMessageA delivers WM_LOOKUP_DONE and WM_LOOKUP_PROGRESS with both
// parameters 0.
#pragma once

#include "engine/lookup_worker.h"

#include <cstdint>

LookupTarget WindowLookupTarget(std::uintptr_t windowHandle);
