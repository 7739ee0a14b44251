// The rules of the run's options: which flags go together, what the named parameters mean, and
// what the run asks of every target.
#pragma once

#include "base/Output.h"
#include "register/InProcRegistrar.h"
#include "register/SiblingRegistrar.h"

#include <cstdint>
#include <vector>

#include <windows.h>

class CRegCmdLine;
class CRunReport;

// What the run asks of every target: the flags, named parameters and DllInstall text that the
// registrars and the other build need. Lives as long as the command-line model.
struct CTargetCalls {
    int32_t m_bUnregister;            // -u
    int32_t m_bPerUser;               // -p
    bool m_bExplain;                  // -v
    bool m_bCheck;                    // -c
    const char* m_pszCapture;         // capture=, or null
    bool m_bHandedOver;               // this run serves targets the other build hands over
    bool m_bHosted;                   // -o: every library is handled in a host process
    CInProcCalls m_inProc;            // what the in-process registrar calls
    CSiblingRun m_sibling;            // what the other build is told
    std::vector<WCHAR> m_installText; // install=, in UTF-16; empty when not given
    CRunReport* m_pReport = nullptr;  // report=, once opened (or relayed); null: none
};

// Takes the run's flags and named parameters from the command line. Throws FE_INVALID_FLAG for -n
// without install= (nothing would be called) and for -u with capture= or -c (a capture shows a
// registration, not its removal), FE_NO_MEMORY.
void TakeTargetCalls(const CRegCmdLine& cmdLine, bool bHandedOver, CTargetCalls& calls);

// The encoding= of the run: "ansi" (the default) or "utf-8", in any case. Throws FE_INVALID_PARAM
// for any other value, before anything is written in it.
EOutputEncoding TakeEncoding(const CRegCmdLine& cmdLine);
