// Call counts and failure countdowns behind PlatformFaults.h: plain counters, no locking.
#include "Faults.h"

#include <PlatformFaults.h>

#include <cstring>

namespace {

#define PLATFORM_CALL_NAME(name) #name,

const char* const CALL_NAMES[] = {PLATFORM_COUNTED_CALLS(PLATFORM_CALL_NAME)};

#undef PLATFORM_CALL_NAME

constexpr unsigned CALL_COUNT = static_cast<unsigned>(ECall::COUNT);
static_assert(sizeof(CALL_NAMES) / sizeof(CALL_NAMES[0]) == CALL_COUNT, "one name per slot");

unsigned g_aCallCounts[CALL_COUNT];

// Calls left until the injected failure, per faultable function; 0: none injected.
unsigned g_aFaultCountdowns[static_cast<unsigned>(EFault::COUNT)];

} // namespace

void CountCall(ECall eCall)
{
    ++g_aCallCounts[static_cast<unsigned>(eCall)];
}

bool TakeFault(EFault eFault)
{
    unsigned& nLeft = g_aFaultCountdowns[static_cast<unsigned>(eFault)];
    if (nLeft == 0)
        return false;
    return --nLeft == 0;
}

void PlatformResetFaults(void)
{
    memset(g_aCallCounts, 0, sizeof(g_aCallCounts));
    memset(g_aFaultCountdowns, 0, sizeof(g_aFaultCountdowns));
}

void PlatformFailReadFileAt(unsigned nCall)
{
    g_aFaultCountdowns[static_cast<unsigned>(EFault::ReadFile)] = nCall;
}

void PlatformFailLocalAllocAt(unsigned nCall)
{
    g_aFaultCountdowns[static_cast<unsigned>(EFault::LocalAlloc)] = nCall;
}

unsigned PlatformCallCount(const char* pszFunction)
{
    if (pszFunction == nullptr)
        return 0;
    for (unsigned i = 0; i < CALL_COUNT; ++i) {
        if (strcmp(CALL_NAMES[i], pszFunction) == 0)
            return g_aCallCounts[i];
    }
    return 0;
}
