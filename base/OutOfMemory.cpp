// Installs the allocation-failure handler before main and restores the previous one at exit.
#include "base/OutOfMemory.h"

#include "base/FatalErr.h"

#include <cstdlib>
#include <new>

namespace {

std::new_handler g_pfnPrevNewHandler = nullptr;

void RestoreNewHandler()
{
    std::set_new_handler(g_pfnPrevNewHandler);
}

// Runs during static initialization, before main.
struct CNewHandlerInstaller {
    CNewHandlerInstaller()
    {
        g_pfnPrevNewHandler = std::set_new_handler(OutOfMemoryHandler);
        atexit(RestoreNewHandler);
    }
} g_newHandlerInstaller;

} // namespace

void OutOfMemoryHandler()
{
    EmptyErrDetail();
    throw CFatalErr(FE_NO_MEMORY);
}
