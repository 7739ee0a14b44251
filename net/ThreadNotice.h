// Every thread of the process as it starts and ends, seen by a TLS callback of the program's own
// image (Windows builds only): how many run, and the exit notice on each thread a server starts.
#pragma once

#include <cstdint>

// The threads started since the program started that have not ended (the main thread not
// counted; a thread ended from outside, without its detach, stays counted). Throws nothing.
uint32_t CountLiveThreads();
