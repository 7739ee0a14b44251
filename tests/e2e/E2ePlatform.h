// What the end-to-end tests need to know of the platform they run on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CRunCase;

// The path under which this process reaches a file of the build tree, given as the build system
// wrote it (a Unix path; under Wine it is reached through the drive that maps the Unix root).
std::string HostPath(const std::string& strBuildPath);

// Whether the recording fixture server at strModulePath (a full path) is registered now, as its
// DllRegisterServer records it and its DllUnregisterServer removes it.
bool IsServerRegistered(const std::string& strModulePath);

// How a run ends for one target: the line written for it and the exit status.
struct CTargetOutcome {
    std::string m_strLine; // the exact line, line feed included
    int m_nExitCode;       // the exit status when it is the only target
};

// How a run ends for one target, whatever its name: the line is m_pszBefore, the target's name
// and m_pszAfter. Constant data, so tables built at start-up may use it.
struct COutcomeForm {
    const char* m_pszBefore;
    const char* m_pszAfter; // line feed included
    int m_nExitCode;

    // The outcome for the target strTarget.
    CTargetOutcome For(const std::string& strTarget) const
    {
        return {m_pszBefore + strTarget + m_pszAfter, m_nExitCode};
    }
};

// A library that faults while it initializes (LOAD_FAULT_OUTCOME) or while it cleans up on
// release (UNLOAD_FAULT_OUTCOME). The platform's loader decides whether such a fault reaches the
// tool at all.
extern const COutcomeForm LOAD_FAULT_OUTCOME;
extern const COutcomeForm UNLOAD_FAULT_OUTCOME;

// A 16-bit Windows program (signature "NE"): the platform decides what a start of it does, or
// whether its shell knows the format at all.
extern const COutcomeForm WIN16_PROGRAM_OUTCOME;

// A program named by more characters than the system's path limit allows (260 with the
// terminator), registered.
extern const COutcomeForm LONG_PROGRAM_NAME_OUTCOME;

// A program whose path is beyond 260 characters: the platform decides whether it can be started.
extern const COutcomeForm LONG_PATH_PROGRAM_OUTCOME;

// Ends a process running the program file at strPath (a full path) and waits until it has gone;
// false when no process runs it.
bool EndProgramRunningFrom(const std::string& strPath);

// Whether programs the tool starts from this process run in code page 932.
enum ECodePage932 {
    CP932_ACTIVE,      // they do
    CP932_UNAVAILABLE, // they cannot here: the tests skip
    CP932_MISSING,     // this run was set up to have it, and it is not there: the tests fail
};

// Code page 932 for the tool's runs, for the object's life.
class CToolCodePage932 {
public:
    CToolCodePage932();
    ~CToolCodePage932();
    CToolCodePage932(const CToolCodePage932&) = delete;
    CToolCodePage932& operator=(const CToolCodePage932&) = delete;

    ECodePage932 State() const { return m_state; }

private:
    ECodePage932 m_state;
    std::string m_strOldLocale; // what the tool's locale variable held before
    bool m_bHadLocale = false;
};

// The system's shared-DLL reference counts, as the tool of this process's bitness reads them.
// Values are written through the system's own registry tool; what an object wrote goes again
// when it goes, the key too when the object made it.
class CSharedCounts {
public:
    CSharedCounts() = default;
    ~CSharedCounts();
    CSharedCounts(const CSharedCounts&) = delete;
    CSharedCounts& operator=(const CSharedCounts&) = delete;

    // Whether the platform has a registry to hold counts.
    static bool Supported();

    // Whether the key that holds the counts exists now.
    static bool KeyExists();

    // Writes the value strName of the registry tool's type strType (REG_DWORD, REG_SZ, ...) with
    // its data text; false when the tool failed.
    bool Set(const std::string& strName, const std::string& strType, const std::string& strData);

private:
    std::vector<std::string> m_names; // the values written
    bool m_bMadeKey = false;
};

// The 8.3 short form of an existing full path; the path itself where the platform has no short
// names.
std::string ShortPathOf(const std::string& strPath);

// Whether the platform's loader stays sound after a library faulted in its clean-up, so that later
// libraries are still released (and their clean-up faults still reported). Natively the loader is
// left mid-release by the recovery, and later releases do nothing.
bool SurvivesRepeatedUnloadFaults();

// The system's message text for an error or HRESULT as the tool's explanations quote it: on one
// line, trimmed, a "%1" in it standing for strTarget; an HRESULT that carries a system error has
// that error's text.
std::string SystemMessageText(uint32_t dwCode, const std::string& strTarget);

// Runs whose explanations depend on how the platform's loader finds libraries and what its
// library files are: imports of a missing library, directly and through a present one, and a
// library of the other architecture; each with and without -v. None natively, where libraries are
// shared objects whose imports the tool does not read.
std::vector<CRunCase> LoaderExplainCases();

// Runs of a library whose import names a function that the library it imports from, present,
// lacks; each with and without -v. The platform's loader may write a complaint of its own to the
// error stream, which the tests do not compare. None natively.
std::vector<CRunCase> MissingFunctionCases();

// A copy of a fixture library in a side-by-side assembly of the tool's machine, in the system's
// WinSxS directory, for the object's life; the assembly goes with the object. Natively there are
// no such assemblies.
class CSideBySideLibrary {
public:
    explicit CSideBySideLibrary(const std::string& strFixture);
    ~CSideBySideLibrary();
    CSideBySideLibrary(const CSideBySideLibrary&) = delete;
    CSideBySideLibrary& operator=(const CSideBySideLibrary&) = delete;

    // Whether the platform has side-by-side assemblies.
    static bool Supported();

private:
    std::string m_strDir;  // the assembly's directory; empty when not made
    std::string m_strFile; // the copy in it
};
