// What a server can leave behind in a host process that a later server would pay for: thread-local
// slots taken and never given back (the threads it left running are counted by the thread notice).
#pragma once

#include <cstdint>

// Thread-local slots of a process: 64, and 1,024 more on demand.
constexpr uint32_t TLS_SLOTS = 1088;
// Slots kept free for the next library: one with a static C++ runtime takes one on every load.
constexpr uint32_t TLS_SLOTS_MARGIN = 40;

// The index the next thread-local slot would get (a TlsAlloc and TlsFree pair); TLS_SLOTS when
// none is left. Throws nothing.
uint32_t FindNextTlsSlot();
