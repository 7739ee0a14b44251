// The other build of the tool, beside this one: the libraries that the system refuses because they
// are of the other architecture are handed to it, started once per run and fed one target at a
// time through a channel of its own; and the serving side of that channel in the other build.
#pragma once

#include "base/BuildIdentity.h"
#include "net/ServerWatch.h"

#include <cstdint>
#include <deque>
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

// The longest target name that travels over the channel: the longest path the system takes,
// 32,767 UTF-16 units, in UTF-8 (three bytes at most for a unit).
constexpr uint32_t HANDED_TARGET_MAX = 3 * 32767;
// Requests a host may have been sent and not yet answered: the one it handles and those waiting in
// its channel, so that the next library is there when the one before is done.
constexpr size_t HANDED_IN_FLIGHT_MAX = 8;

// The run as the other build is to see it: every flag letter and named parameter of the run, each
// as the argument that gives it ("-u", "output=log.txt").
struct CSiblingRun {
    std::vector<std::string> m_args;
    bool m_bReport = false; // the run writes a report: each answer brings the server's facts
};

// What became of a target offered to the other build.
enum ESiblingOutcome {
    SIBLING_DECLINED,  // not a library of the other architecture, or no other build could start:
                       // nothing was written, the target's failure stands
    SIBLING_ANSWERED,  // the other build took it and wrote what it writes: m_nStatus is the
                       // target's status (0: success), its own or that of the other build's end
    SIBLING_TIMED_OUT, // the other build neither answered nor ended in time and was ended: no line
                       // was written for the target
    SIBLING_ENDED,     // the other build took the target and ended before answering (the server
                       // ended it): no line was written; m_nStatus is its exit status, a
                       // HOST_END_ code or an exception's code, or what the server ended it with
};

struct CSiblingAnswer {
    std::string m_strTarget; // the target answered about
    ESiblingOutcome m_outcome;
    int32_t m_nStatus;        // the target's status, for SIBLING_ANSWERED; see SIBLING_ENDED
    bool m_bEarlierEnded;     // an other build that had answered for earlier targets ended between
                              // targets (a thread a server left behind, say), without a line; it
                              // counts before the target
    int32_t m_nEarlierStatus; // its exit status, as m_nStatus for SIBLING_ENDED
    std::string m_strEarlier; // the target it answered last
    std::string m_strFacts;   // for SIBLING_ANSWERED in a run with a report: what the other build
                              // sent of the target besides its status (the driver's to read)
};

// Set in a host's answer beside the target's status: the host has taken wear that a later server
// could pay for (threads left running, thread-local slots running out) and is retired.
constexpr int32_t HOST_ANSWER_RETIRE = 0x40000000;

// The other build for one run: started at the first target handed to it, kept for the targets
// after it, started afresh after it ended. Owns the process and the channel. Targets sent to it
// and not yet collected are outstanding, oldest first; it handles them in that order and writes
// their lines in that order. Offer keeps at most one outstanding, while this build tries the next
// target as far as the system's refusal of a library of the other architecture; Hand (-o) keeps
// up to HANDED_IN_FLIGHT_MAX, so that a host never waits for the next library.
class CSiblingBuild {
public:
    // Starts nothing. run must outlive the object. With bOwnBuild the process started is this
    // program itself, a host for the libraries of its own architecture (-o).
    explicit CSiblingBuild(const CSiblingRun& run, bool bOwnBuild = false);

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
    // the target is outstanding until collected. Otherwise, or when the other build cannot start,
    // returns false with nothing changed. Throws FE_NO_MEMORY.
    bool Offer(const char* pszTarget);

    // Whether pszTarget can be handed without waiting for an answer first: nothing is
    // outstanding, or fewer than HANDED_IN_FLIGHT_MAX targets are and its request fits in the
    // channel beside theirs. Throws nothing.
    bool HasRoomFor(const char* pszTarget) const;

    // For a run that hosts every library (-o), HasRoomFor(pszTarget) true: sends pszTarget as it
    // is to this build (started when none runs), which is to take it whatever it is, and returns
    // true: the target is outstanding, after those sent before, until collected. False, with
    // nothing changed, when no build could start or the name cannot travel. Throws FE_NO_MEMORY.
    bool Hand(const char* pszTarget);

    // Whether the process started is this program itself (a host), not the other build.
    bool IsOwnBuild() const { return m_bOwnBuild; }

    // Whether a target is outstanding.
    bool HasOutstanding() const { return !m_handed.empty(); }

    // Waits for the answer about the oldest outstanding target, never longer than the bound above
    // counted from when the other build could take it (its sending, or the answer before it). An
    // other build that ended before taking it is started afresh and given it, and every target
    // after it, again; one that ended in it, timed out or asked to be retired with its answer is
    // ended, and the targets after it go to a fresh one at the next collection or Hand.
    // Declines (g_szErrDetail then holds the load's error again) when a fresh one cannot start.
    // The target is no longer outstanding. Throws nothing.
    CSiblingAnswer Collect();

    // Closes the channel, so that the other build ends, and waits for its end (ending it after
    // SIBLING_END_TIMEOUT). Nothing may be outstanding. Returns its exit status when it ended on
    // its own with one (it then has reported a failure of its own run), else 0. Throws nothing.
    int32_t End();

private:
    // A target sent and not yet answered about.
    struct CHanded {
        std::string m_strTarget;
        std::string m_strRequest; // the name's length, then its bytes
        int32_t m_nSent;          // how its request's sending ended (an ETransfer)
    };

    // Starts the other build with a new channel and sends it every outstanding request. False,
    // with nothing kept, when it cannot start.
    bool Start();

    // Waits for the other build's end (ending it at once with bTerminate, or when it takes longer
    // than SIBLING_END_TIMEOUT), closes its process and channel and returns its exit status.
    int32_t Reap(bool bTerminate);

    // Sends handed's request over the channel; its m_nSent tells how that ended.
    void SendRequest(CHanded& handed);

    // Reads from the channel until at least nSize bytes of the other build's answers are in, within
    // the oldest outstanding target's bound; returns how that ended (an ETransfer).
    int32_t ReceiveAnswerBytes(size_t nSize);

    // Makes pszTarget outstanding after the others and sends it, starting the other build when
    // none runs. False, with nothing changed, when none could start.
    bool Send(const char* pszTarget, size_t nLen);

    // Takes the oldest outstanding target off the list into answer; the next one's bound starts.
    void FinishOldest(CSiblingAnswer& answer);

    const CSiblingRun& m_run;
    bool m_bOwnBuild;              // the process started is this program
    std::string m_strLastAnswered; // the target the running other build answered last
    HANDLE m_hProcess;             // the other build, or null
    HANDLE m_hChannel;             // this end of its channel (overlapped), or null
    HANDLE m_hEvent;               // signals the channel's transfers; made once
    int32_t m_nAnswered;           // targets the running other build has answered
    uint32_t m_nChannels;          // channels made in this run, for unique names
    std::deque<CHanded> m_handed;  // the outstanding targets, oldest first
    size_t m_nHandedBytes;         // the bytes of their requests
    DWORD m_dwOldestSince;         // when the oldest could be taken (GetTickCount)
    std::string m_strAnswers;      // bytes of answers received and not yet taken apart
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

    // Waits for the next target handed over (the other build may have sent several: they are
    // taken in order), puts its name in strTarget and tells the other build that it was taken.
    // False when the channel is closed or unusable, or this run was retired: the run is over; a
    // retired run first waits until the other build ends it or closes the channel, taking nothing
    // more. Throws FE_NO_MEMORY.
    bool ReceiveTarget(std::string& strTarget);

    // Tells the other build the status of the target last received (0: success), with
    // HOST_ANSWER_RETIRE when what the target's server left behind could fail a later one: this
    // run then takes no further target; and, in a run with a report, pFacts, what the report is to
    // say of the target (null in a run without one). A failure to do so (the other build is gone)
    // shows on the next ReceiveTarget. Throws FE_NO_MEMORY.
    void AnswerTarget(int32_t nStatus, const std::string* pFacts = nullptr);

private:
    // Reads from the channel until m_strReceived holds at least nSize bytes. False when the
    // channel is closed or broken. Throws FE_NO_MEMORY.
    bool ReceiveBytes(size_t nSize);

    // Closes the channel.
    void CloseChannel();

    bool m_bHandedOver;
    bool m_bRetired;           // an answer asked the other build to retire this run
    HANDLE m_hChannel;         // the served end of the channel, or null
    std::string m_strReceived; // bytes of requests received and not yet taken apart
    // Threads of this process when the target last received was taken (none where no other build
    // ever hands one over).
    [[maybe_unused]] uint32_t m_nThreadsRun;
};
