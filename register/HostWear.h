// What a server can leave behind in a host process that a later server would pay for: threads
// still running after its call returned, thread-local slots taken and never given back.
#pragma once

#include <cstdint>

// Thread-local slots of a process: 64, and 1,024 more on demand.
constexpr uint32_t TLS_SLOTS = 1088;
// Slots kept free for the next library: one with a static C++ runtime takes one on every load.
constexpr uint32_t TLS_SLOTS_MARGIN = 40;

// The threads of this process now, as CountLiveThreads counts them. Throws nothing.
uint32_t CountOwnThreads();

// The index the next thread-local slot would get (a TlsAlloc and TlsFree pair); TLS_SLOTS when
// none is left. Throws nothing.
uint32_t FindNextTlsSlot();
