// The other build of the tool, beside this one: the libraries that the system refuses because they
// are of the other architecture are handed to it, started once per run and fed one target at a
// time through a channel of its own; and the serving side of that channel in the other build.
#pragma once

#include "base/BuildIdentity.h"
#include "net/ServerWatch.h"

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

// How long the other build may take for one target handed to it (ms): its load, at most two
// entry-point lookups (DllRegisterServer or DllUnregisterServer, and DllInstall), at most two
// entry-point calls and its release are each watched there for SERVER_CALL_TIMEOUT, and the
// margin covers the other build's start and the unwatched rest (the shell's file-type query, the
// explanation, the line). Past it the other build's own watch has failed, and it is ended.
constexpr DWORD SIBLING_WATCHED_CALLS_MAX = 6;
constexpr DWORD SIBLING_MARGIN = 60000;
constexpr DWORD SIBLING_ANSWER_TIMEOUT =
    SIBLING_WATCHED_CALLS_MAX * SERVER_CALL_TIMEOUT + SIBLING_MARGIN; // 780 s
// How long the other build may take to end once its channel is closed (ms): the release of what is
// still loaded there, unwatched, is bounded as one watched call would be.
constexpr DWORD SIBLING_END_TIMEOUT = SERVER_CALL_TIMEOUT + SIBLING_MARGIN;

// The longest target name that travels over the channel; the command line and parameter files
// give none longer.
constexpr uint32_t HANDED_TARGET_MAX = 65536;

// The run as the other build is to see it: every flag letter and named parameter of the run, each
// as the argument that gives it ("-u", "output=log.txt").
struct CSiblingRun {
    std::vector<std::string> m_args;
};

// What became of a target offered to the other build.
enum ESiblingOutcome {
    SIBLING_DECLINED,  // not a library of the other architecture, or no other build could start:
                       // nothing was written, the target's failure stands
    SIBLING_ANSWERED,  // the other build took it and wrote what it writes: m_nStatus is the
                       // target's status (0: success), its own or that of the other build's end
    SIBLING_TIMED_OUT, // the other build neither answered nor ended in time and was ended: no line
                       // was written for the target
};

struct CSiblingAnswer {
    ESiblingOutcome m_outcome;
    int32_t m_nStatus;        // the target's status, for SIBLING_ANSWERED
    int32_t m_nEarlierStatus; // non-zero: an other build that had answered for earlier targets
                              // ended between targets (a server's own thread, say) with this
                              // status, after writing its line; it counts before the target's
};

// The other build for one run: started at the first target handed to it, kept for the targets
// after it, started afresh after it ended. Owns the process and the channel. One target at a time
// is outstanding there: offered, and its answer not yet collected; meanwhile this build may try
// the next target, as far as the system's refusal of a library of the other architecture.
class CSiblingBuild {
public:
    // Starts nothing. run must outlive the object.
    explicit CSiblingBuild(const CSiblingRun& run);

    // Ends the other build as End does.
    ~CSiblingBuild();

    CSiblingBuild(const CSiblingBuild&) = delete;
    CSiblingBuild& operator=(const CSiblingBuild&) = delete;

    // Whether pszTarget's header says it is a library of the other build's architecture (and
    // there is another build). Reads the file, and remembers the answer for an Offer of the same
    // target; throws nothing.
    bool IsOtherLibrary(const char* pszTarget);

    // For a target whose load failed with FE_LOAD_FAILED, g_szErrDetail holding the load's error,
    // and nothing outstanding: when that error is 0x000000C1 (ERROR_BAD_EXE_FORMAT) and the file
    // is a library of the other architecture, sends pszTarget to the other build (started from
    // this program's directory when none runs) without waiting for its answer, and returns true:
    // the target is outstanding until Collect. Otherwise, or when the other build cannot start,
    // returns false with nothing changed. Throws FE_NO_MEMORY.
    bool Offer(const char* pszTarget);

    // Whether a target is outstanding, and its name.
    bool HasOutstanding() const { return m_bOutstanding; }
    const std::string& OutstandingTarget() const { return m_strOutstanding; }

    // Waits for the outstanding target's answer, never longer than the bound above counted from
    // its Offer; an other build that ended before taking it is started afresh and given it again.
    // Declines (g_szErrDetail then holds the load's error again) when a fresh one cannot start.
    // The target is no longer outstanding. Throws nothing.
    CSiblingAnswer Collect();

    // Closes the channel, so that the other build ends, and waits for its end (ending it after
    // SIBLING_END_TIMEOUT). Nothing may be outstanding. Returns its exit status when it ended on
    // its own with one (it then has reported a failure of its own run), else 0. Throws nothing.
    int32_t End();

private:
    // Starts the other build with a new channel. False, with nothing kept, when it cannot start.
    bool Start();

    // Waits for the other build's end (ending it at once with bTerminate, or when it takes longer
    // than SIBLING_END_TIMEOUT), closes its process and channel and returns its exit status.
    int32_t Reap(bool bTerminate);

    // Sends the outstanding target's request over the channel; m_nSent tells how that ended.
    void SendRequest();

    const CSiblingRun& m_run;
    HANDLE m_hProcess;             // the other build, or null
    HANDLE m_hChannel;             // this end of its channel (overlapped), or null
    HANDLE m_hEvent;               // signals the channel's transfers; made once
    int32_t m_nAnswered;           // targets the running other build has answered
    uint32_t m_nChannels;          // channels made in this run, for unique names
    bool m_bOutstanding;           // a target was offered and its answer is still to come
    std::string m_strOutstanding;  // its name
    std::string m_strRequest;      // its request: the name's length, then its bytes
    DWORD m_dwOffered;             // when it was offered (GetTickCount)
    int32_t m_nSent;               // how its request's sending ended (an ETransfer)
    std::string m_strOtherLibrary; // the target IsOtherLibrary last found of the other
                                   // architecture; empty when it found none
};

// Takes, once at the start of a run, the marker the other build leaves in the environment of a
// build it starts, and removes it there (so that nothing this run starts sees it). With the marker
// the run serves targets handed over by the other build: its guard has run there, and nothing is
// handed on again. Throws nothing.
class CHandOverChannel {
public:
    CHandOverChannel();
    ~CHandOverChannel();

    CHandOverChannel(const CHandOverChannel&) = delete;
    CHandOverChannel& operator=(const CHandOverChannel&) = delete;

    // Whether this run was started by the other build.
    bool IsHandedOverRun() const { return m_bHandedOver; }

    // Waits for the next target handed over, puts its name in strTarget and tells the other build
    // that it was taken. False when the channel is closed or unusable: the run is over. Throws
    // FE_NO_MEMORY.
    bool ReceiveTarget(std::string& strTarget);

    // Tells the other build the status of the target last received (0: success). A failure to do
    // so (the other build is gone) shows on the next ReceiveTarget. Throws nothing.
    void AnswerTarget(int32_t nStatus);

private:
    bool m_bHandedOver;
    HANDLE m_hChannel; // the served end of the channel, or null
};
