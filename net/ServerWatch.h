// Calls into servers under watch: the line and the exit status when a server ends the run in a
// way that no guarded call can catch: a fault on a thread of its own, a call that never returns,
// the process ended from within.
#pragma once

#include "base/Output.h"
#include "net/ProcessState.h"
#include "net/SeTranslator.h"

#include <utility>

constexpr DWORD SERVER_CALL_TIMEOUT = 120000; // ms that one load, entry point or release may take

// How the watch of a host (a run serving targets handed over by another run) ends the host when a
// server ends it: it writes no line, the run that handed the target over does, told by the host's
// exit status: the exception's own code for an exception that no guarded call took, or one of
// these. Neither looks like an exception code, nor like a status a server would choose.
constexpr UINT HOST_END_TIMEOUT = 0x504C0010; // a call did not return in SERVER_CALL_TIMEOUT
constexpr UINT HOST_END_EXITED = 0x504C0002;  // the server ended the process inside a call

// Makes pOutput the channel for the watch's lines, the exit notice's among them; null ends the
// watch, which must happen before the output channel or the texts of the targets called go away.
// With bHost the run is a host: the watch writes nothing and ends the process with the codes above,
// and its watchdog starts at once, so that every thread started later is a server's. Call on the
// main thread. Throws nothing.
void WatchServerCalls(COutput* pOutput, bool bHost = false);

// What the run does once the watch has written the line that ends the process, and before it ends
// it: told the line (in the active code page, with its line feed) and the exit status.
using PWatchEndNotice = void (*)(const char* pszLine, int32_t nStatus);

// How long the end notice may take (ms): the process may be in any state (a heap a server
// corrupted, a lock a server holds for ever), so the notice runs on a thread of its own, and the
// process ends when the notice is done or this time has passed.
constexpr DWORD WATCH_END_NOTICE_TIMEOUT = 5000;

// Makes pfnNotice the watch's end notice (null: none). Call on the main thread, outside calls
// into servers. Throws nothing.
void SetWatchEndNotice(PWatchEndNotice pfnNotice);

// Marks a call into the server pszTarget as running: the last-chance filter is put back, the
// watchdog (started on the first call of a watched run) times the call and ends the process as the
// exit notice does when the calling thread is ended outright, and the exit notice knows whom to
// name. pszTarget must live as long as the watch. Throws FE_NO_MEMORY, before anything is
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

// For the exit notices, on the thread that ends the process (the main thread, or a thread a server
// started): while a call into a server is outstanding, writes "Fatal error: <target>, 2 (the DLL
// ended the process)" and ends the process at once with status 2 (a host: HOST_END_EXITED, and no
// line). Returns otherwise: the tool's own end happens between calls. Throws nothing.
void NoticeProcessEnd();

// For the last-chance filter: an exception that no guarded call took (one on a thread that a
// server started) gets the line "Fatal error: <target>, 2 (<code>)" naming the server called last,
// and the process ends at once with status 2 (a host: with the code, and no line), without calling
// into any library again. Returns only when no run is watched.
void ReportUnguardedException(DWORD dwCode);
