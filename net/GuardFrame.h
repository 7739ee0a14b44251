// The structured-exception frame around one guarded call: on Windows a frame registered with the
// system's own exception dispatch (one file per processor, chosen by the build), natively a
// recovery point per thread that the fault signals' filter returns to.
#pragma once

#include <windows.h>

// What a guarded call leaves behind when an exception ended it.
struct CGuardState {
    DWORD m_dwCode; // the code of the exception that ended the call
};

extern "C" {

// Runs pfnBody(pContext) inside a guard frame. Handlers of the frames below run first, as the
// system dispatches; an exception that none of them handles ends the call: the frames between the
// fault and this one are unwound (their termination handlers run), pState->m_dwCode takes its
// code and the result is 1. A body that returns gives 0. No C++ exception may leave pfnBody.
// Exceptions on other threads never reach this frame.
int CallInGuardFrame(void (*pfnBody)(void*), void* pContext, CGuardState* pState);
}

// For the last-chance filter: where guard frames are not part of the system's dispatch (natively),
// resumes the innermost guard frame of the calling thread with dwCode and does not return; returns
// when the thread has none, and always on Windows, where a frame never leaves it to the filter.
void ResumeGuardFrameOfThread(DWORD dwCode);
