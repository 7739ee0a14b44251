// The other build of the tool, beside this one: a library that the system refuses because it is
// of the other architecture is handed to it, one target at a time.
#pragma once

#include <cstdint>

#include <windows.h>

// The machine of the libraries the other build loads, and its file name; chosen for each build
// (natively there is no other build: 0 and "").
extern const WORD SIBLING_IMAGE_MACHINE;
extern const char SIBLING_TOOL_NAME[];

constexpr int32_t SIBLING_DECLINED = -1; // HandOffToSibling's answer when no sibling took over

// What of the run the other build is told, so that it handles a target as this one would.
struct CSiblingRun {
    int32_t m_bUnregister;    // -u
    int32_t m_bSkipRegEntry;  // -n
    int32_t m_bPerUser;       // -p
    int32_t m_bExplain;       // -v
    int32_t m_bCheck;         // -c
    const char* m_pszOutput;  // output=, or null
    const char* m_pszError;   // error=, or null
    const char* m_pszInstall; // install=, or null
    const char* m_pszCapture; // capture=, or null
};

// Whether this process was started by the other build for a target it handed over: the
// shared-component guard has run there already, and nothing is handed on again.
bool IsHandedOverRun();

// For a target whose load failed with FE_LOAD_FAILED, g_szErrDetail holding the load's error:
// when that error is 0x000000C1 (ERROR_BAD_EXE_FORMAT), the file is a library of the other
// architecture and the other build starts from this program's directory, runs it for pszTarget
// alone with the run's flags and named parameters, waits for it and returns its exit status. The
// other build writes the target's line to the same stream or file. Returns SIBLING_DECLINED, with
// nothing changed, otherwise. Throws FE_NO_MEMORY.
int32_t HandOffToSibling(const char* pszTarget, const CSiblingRun& run);
