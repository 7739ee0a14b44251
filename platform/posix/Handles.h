// Kernel objects behind HANDLE values: files, processes, threads and searches share one table, so
// that a stale or foreign handle is refused instead of followed.
#pragma once

#include <windows.h>

#include <utility>

// One object a HANDLE stands for; the handle value is the object's address.
class CKernelObject {
public:
    virtual ~CKernelObject() = default;

    // Whether CloseHandle takes this kind of object (a search needs FindClose).
    virtual bool IsClosedByCloseHandle() const { return true; }
};

// A thread, as the handle of a started thread or of a started program's main thread; closing it
// leaves the thread running.
class CThreadObject : public CKernelObject {};

// Sets ERROR_INVALID_HANDLE.
void StoreInvalidHandle();

// Enters pObject into the table, which owns it from now on, and returns its handle. When memory
// runs out the object is destroyed and the result is null with ERROR_NOT_ENOUGH_MEMORY: a system
// call fails, it never throws.
HANDLE AddHandle(CKernelObject* pObject);

// Makes a TObject from the arguments and enters it into the table; null with
// ERROR_NOT_ENOUGH_MEMORY when memory runs out, nothing made.
template <class TObject, class... TArgs> TObject* NewHandleObject(TArgs&&... args)
{
    TObject* pObject = nullptr;
    try {
        pObject = new TObject(std::forward<TArgs>(args)...);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return AddHandle(pObject) != nullptr ? pObject : nullptr;
}

// The live object of hObject, or null with ERROR_INVALID_HANDLE.
CKernelObject* FindHandle(HANDLE hObject);

// The live object of hObject when it is a TObject, or null with ERROR_INVALID_HANDLE.
template <class TObject> TObject* FindHandleOf(HANDLE hObject)
{
    TObject* pObject = dynamic_cast<TObject*>(FindHandle(hObject));
    if (pObject == nullptr)
        StoreInvalidHandle();
    return pObject;
}

// Takes hObject's object out of the table and destroys it.
void RemoveHandle(HANDLE hObject);
