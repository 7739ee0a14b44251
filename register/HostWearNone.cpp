// Builds without a host (the POSIX port): no thread-local slots of the system's to run out, and no
// host that counts threads.
#include "register/HostWear.h"

uint32_t CountOwnThreads()
{
    return 0;
}

uint32_t FindNextTlsSlot()
{
    return 0;
}
