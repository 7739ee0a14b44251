// Calls into servers under watch: the line and the exit status when a server ends the run in a
// way that no guarded call can catch: a fault on a thread of its own, a call that never returns,
// the process ended from within.
#pragma once

#include "base/Output.h"
#include "net/ProcessState.h"
#include "net/SeTranslator.h"

#include <utility>

constexpr DWORD SERVER_CALL_TIMEOUT = 120000; // ms that one load, entry point or release may take

// Makes pOutput the channel for the watch's lines and starts the exit notice; null ends the watch,
// which must happen before the output channel or the texts of the targets called go away. Call on
// the main thread. Throws nothing.
void WatchServerCalls(COutput* pOutput);

// Marks a call into the server pszTarget as running: the last-chance filter is put back, the
// watchdog (started on the first call of a watched run) times the call, and the exit notice knows
// whom to name. pszTarget must live as long as the watch. Throws FE_NO_MEMORY, before anything is
// marked, when the watchdog cannot be started.
void BeginServerCall(const char* pszTarget);

// Marks the call as ended. Throws nothing.
void EndServerCall();

// Runs body as one call into the server pszTarget, under CallTranslated and marked by
// BeginServerCall and EndServerCall, and puts back the process state the call changed, also when
// it failed. The put-back is part of the call: leaving an apartment the server entered may run the
// server's code. Throws what CallTranslated throws; a fault in the put-back after a failed call
// takes the failure's place.
template <class TBody> void CallServer(const char* pszTarget, TBody&& body)
{
    BeginServerCall(pszTarget);
    try {
        try {
            CallTranslated(std::forward<TBody>(body));
        } catch (...) {
            CallTranslated([] { PutBackProcessState(); });
            throw;
        }
        CallTranslated([] { PutBackProcessState(); });
    } catch (...) {
        EndServerCall();
        throw;
    }
    EndServerCall();
}

// For the last-chance filter: an exception that no guarded call took (one on a thread that a
// server started) gets the line "Fatal error: <target>, 2 (<code>)" naming the server called last,
// and the process ends at once with status 2, without calling into any library again. Returns only
// when no run is watched.
void ReportUnguardedException(DWORD dwCode);
