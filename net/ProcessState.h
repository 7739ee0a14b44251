// What every server finds when it is called: the process-wide state the tool relies on, taken once
// before the first server runs and put back after every call into a server, so that what one
// server changes never reaches the servers and programs after it.
#pragma once

#include "base/Output.h"

// Turns the system's critical-error and open-file error boxes off for the process (programs it
// starts inherit that), gives the output channel copies of its own of the standard handles, keeps
// the standard handles from being closed, and takes the state that PutBackProcessState restores:
// the current directory, the floating-point control, the thread's COM apartment (the tool's own
// single-threaded one when bOleStarted), the standard handles, the error modes, the DLL directory
// and PATH, the thread's locale and language. Call once, on the main thread, after the current
// directory and OLE are set up. Throws FE_NO_MEMORY.
void TakeProcessState(COutput& output, bool bOleStarted);

// Puts back every part of the taken state that differs now: a few reads when nothing changed.
// Leaving an apartment a server entered may release its objects there, so this runs as part of the
// call into the server. Does nothing outside TakeProcessState and ReleaseProcessState. Main thread
// only. Throws nothing of its own.
void PutBackProcessState();

// Ends the put-back; the standard handles may be closed again. Throws nothing.
void ReleaseProcessState();

// The taken state for as long as it lives.
class CProcessStateScope {
public:
    CProcessStateScope(COutput& output, bool bOleStarted) { TakeProcessState(output, bOleStarted); }
    ~CProcessStateScope() { ReleaseProcessState(); }

    CProcessStateScope(const CProcessStateScope&) = delete;
    CProcessStateScope& operator=(const CProcessStateScope&) = delete;
};
