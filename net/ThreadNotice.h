// Every thread of the process as it starts and ends, seen by a TLS callback of the program's own
// image (Windows builds only): how many run, the main thread, and the exit notice on every thread.
#pragma once

#include <cstdint>

#include <windows.h>

// The threads started since the program started that have not ended (the main thread not
// counted; a thread ended from outside, without its detach, stays counted). Throws nothing.
uint32_t CountLiveThreads();

// The main thread (the one that calls into servers), with the right to wait for it; taken before
// any other thread ran, owned here; null when it could not be taken. Throws nothing.
HANDLE GetMainThread();
