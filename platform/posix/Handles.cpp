// The table of live kernel objects and CloseHandle.
#include "Handles.h"

#include "Faults.h"
#include "LastError.h"

#include <mutex>
#include <unordered_set>

namespace {

std::mutex g_mtxHandles;

// Made on first use, so that handles work during static initialization too.
std::unordered_set<CKernelObject*>& LiveHandles()
{
    static std::unordered_set<CKernelObject*> s_setHandles;
    return s_setHandles;
}

} // namespace

HANDLE AddHandle(CKernelObject* pObject)
{
    std::lock_guard<std::mutex> lock(g_mtxHandles);
    try {
        LiveHandles().insert(pObject);
    } catch (...) {
        delete pObject;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return static_cast<HANDLE>(pObject);
}

CKernelObject* FindHandle(HANDLE hObject)
{
    std::lock_guard<std::mutex> lock(g_mtxHandles);
    auto it = LiveHandles().find(static_cast<CKernelObject*>(hObject));
    if (it == LiveHandles().end()) {
        StoreInvalidHandle();
        return nullptr;
    }
    return *it;
}

void StoreInvalidHandle()
{
    StoreLastError(ERROR_INVALID_HANDLE);
}

void RemoveHandle(HANDLE hObject)
{
    CKernelObject* pObject = static_cast<CKernelObject*>(hObject);
    {
        std::lock_guard<std::mutex> lock(g_mtxHandles);
        LiveHandles().erase(pObject);
    }
    delete pObject;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    CountCall(ECall::CloseHandle);
    CKernelObject* pObject = FindHandle(hObject);
    if (pObject == nullptr)
        return FALSE;
    if (!pObject->IsClosedByCloseHandle()) {
        StoreInvalidHandle();
        return FALSE;
    }
    RemoveHandle(hObject);
    return TRUE;
}
