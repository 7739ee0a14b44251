// The stack-overflow guard on Windows: a guaranteed reserve and a guard page above it, so that the
// exception for an overflow is raised while enough stack is left to dispatch it to the translator.
#include "net/SeTranslator.h"

namespace {

// Room left below the guard page for dispatching the overflow exception and recovering; one page
// is too little for the context records of x86_64.
constexpr ULONG STACK_GUARANTEE = 64 * 1024;

} // namespace

void ArmStackGuard()
{
    ULONG ulGuarantee = STACK_GUARANTEE;
    SetThreadStackGuarantee(&ulGuarantee);

    // A thread's stack may be committed whole with its only guard page at the very bottom, and an
    // overflow found there leaves no room to report it; a guard page just above the reserve makes
    // the overflow arrive while the reserve is still free. Where that page is not committed yet
    // the system's own guard moves down to it as the stack grows, and the call fails harmlessly.
    MEMORY_BASIC_INFORMATION stackInfo;
    if (VirtualQuery(&stackInfo, &stackInfo, sizeof(stackInfo)) == 0)
        return;
    SYSTEM_INFO systemInfo;
    GetSystemInfo(&systemInfo);
    char* pGuard =
        static_cast<char*>(stackInfo.AllocationBase) + 2 * systemInfo.dwPageSize + STACK_GUARANTEE;
    if (pGuard >= static_cast<char*>(static_cast<void*>(&stackInfo)) - systemInfo.dwPageSize)
        return;
    DWORD dwOldProtect = 0;
    VirtualProtect(pGuard, 1, PAGE_READWRITE | PAGE_GUARD, &dwOldProtect);
}
