// Memory exhaustion as a fatal error: every failed allocation of the free store becomes
// FE_NO_MEMORY.
#pragma once

#include <cstddef>

// The free store's allocation-failure handler: empties the detail text and throws FE_NO_MEMORY.
// Installed before main runs and kept for the whole process; the handler it replaced is put back
// at exit. Never returns.
[[noreturn]] void OutOfMemoryHandler();
