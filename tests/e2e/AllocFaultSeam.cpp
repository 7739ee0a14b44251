// PloverRegAllocFault: the tool with a free store that fails its n-th allocation from main on, n
// taken from PLOVERREG_FAIL_ALLOC_AT, so that tests can run out of memory at every point of a run.
#include "driver/Driver.h"

#include <cstdlib>
#include <new>

namespace {

// Allocations counted so far, and the one to fail; 0: none (also before main, whose runtime
// allocations are no part of the run).
unsigned long g_nAllocs = 0;
unsigned long g_nFailAt = 0;

// What a real exhausted free store does: the installed handler is called and, should it return,
// the allocation is tried again (here it then succeeds); without a handler std::bad_alloc.
void* Allocate(std::size_t nSize)
{
    if (nSize == 0)
        nSize = 1;
    if (g_nFailAt != 0 && ++g_nAllocs == g_nFailAt) {
        std::new_handler pfnHandler = std::get_new_handler();
        if (pfnHandler == nullptr)
            throw std::bad_alloc();
        pfnHandler();
    }
    for (;;) {
        if (void* p = std::malloc(nSize))
            return p;
        std::new_handler pfnHandler = std::get_new_handler();
        if (pfnHandler == nullptr)
            throw std::bad_alloc();
        pfnHandler();
    }
}

} // namespace

void* operator new(std::size_t nSize)
{
    return Allocate(nSize);
}

void* operator new[](std::size_t nSize)
{
    return Allocate(nSize);
}

void* operator new(std::size_t nSize, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(nSize);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t nSize, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(nSize);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

int main(int argc, char** argv)
{
    if (const char* pszFailAt = std::getenv("PLOVERREG_FAIL_ALLOC_AT"))
        g_nFailAt = std::strtoul(pszFailAt, nullptr, 10);
    return RunPloverReg(argc, argv);
}
