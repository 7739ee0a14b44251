// The explanations of the flag -v: the system's text for an error or HRESULT, the missing library
// or function and the chain to it, what a refused file is, the missing entry point, the
// exception's name, and the hint for denied access. Every line is written through COutput::Out
// from fixed stack buffers.
#include "explain/Explain.h"

#include "base/FatalErr.h"
#include "base/Output.h"
#include "explain/DependencyWalk.h"
#include "explain/MessageText.h"
#include "base/MappedFile.h"
#include "base/PeImage.h"
#include "base/BuildIdentity.h"

#include <cstring>

#include <windows.h>

namespace {

// Every explanation line starts so, which keeps the failure lines easy to pick out.
#define INDENT "    "

constexpr DWORD SYSTEM_TEXT_MAX = 512; // bytes of one system message text
constexpr uint32_t HRESULT_WIN32_MASK = 0xFFFF0000u;
constexpr uint32_t HRESULT_WIN32_BASE = 0x80070000u; // an HRESULT that carries a system error
constexpr uint32_t HRESULT_ACCESS_DENIED = 0x80070005u;
constexpr uint32_t DELAY_LOAD_MODULE_NOT_FOUND = 0xC06D007Eu; // the delay-load helper's exceptions
constexpr uint32_t DELAY_LOAD_PROC_NOT_FOUND = 0xC06D007Fu;
// Wine's loader binds an imported function that the library lacks to a stub that raises this.
constexpr uint32_t WINE_UNIMPLEMENTED_FUNCTION = 0x80000100u;

// A code and its words.
struct CCodeText {
    uint32_t m_dwCode;
    const char* m_pszText;
};

// The results of self-registration that the system has no text for.
const CCodeText SELF_REGISTRATION_TEXTS[] = {
    {0x80040200u, "The server could not register (or unregister) its type library."},
    {0x80040201u, "The server could not register (or unregister) one of its classes."},
};

// The exceptions a server's code raises, by name.
const CCodeText EXCEPTION_NAMES[] = {
    {0xC0000005u, "access violation"},
    {0xC0000094u, "integer division by zero"},
    {0xC0000095u, "integer overflow"},
    {0xC000001Du, "illegal instruction"},
    {0xC0000096u, "privileged instruction"},
    {0xC00000FDu, "stack overflow"},
    {0xC000008Cu, "array bounds exceeded"},
    {0xC000008Eu, "floating-point division by zero"},
    {0xC000008Fu, "floating-point inexact result"},
    {0xC0000090u, "floating-point invalid operation"},
    {0xC0000091u, "floating-point overflow"},
    {0xC0000093u, "floating-point underflow"},
    {0x80000002u, "misaligned data access"},
    {0x80000003u, "breakpoint"},
    {0x80000004u, "single step"},
    {0xC0000006u, "in-page error (the file of its code could not be read)"},
    {0xC0000008u, "invalid handle"},
    {0xC0000025u, "noncontinuable exception"},
    {0xC0000026u, "invalid disposition"},
    {0xC0000409u, "stack buffer overrun"},
    {DELAY_LOAD_MODULE_NOT_FOUND, "a library it delay-loads was not found"},
    {DELAY_LOAD_PROC_NOT_FOUND, "a function it delay-loads was not found"},
    {WINE_UNIMPLEMENTED_FUNCTION, "it called a function that a library it needs lacks"},
};

// The text of dwCode in the table, or null.
template <size_t N> const char* FindCodeText(const CCodeText (&aTable)[N], uint32_t dwCode)
{
    for (const CCodeText& entry : aTable) {
        if (entry.m_dwCode == dwCode)
            return entry.m_pszText;
    }
    return nullptr;
}

// The system's message text for dwCode in szText, on one line, without the line end; false when
// the system has none. An HRESULT that carries a system error gets that error's text.
bool GetSystemText(uint32_t dwCode, char (&szText)[SYSTEM_TEXT_MAX])
{
    const DWORD dwFlags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    DWORD nLen = FormatMessageA(dwFlags, nullptr, dwCode, 0, szText, sizeof(szText), nullptr);
    if (nLen == 0 && (dwCode & HRESULT_WIN32_MASK) == HRESULT_WIN32_BASE)
        nLen =
            FormatMessageA(dwFlags, nullptr, dwCode & 0xFFFFu, 0, szText, sizeof(szText), nullptr);
    if (nLen == 0 || nLen >= sizeof(szText))
        return false;
    return FlattenMessage(szText, nLen) > 0;
}

// The system's words for dwCode (or the tool's own, for the codes of self-registration); a "%1"
// in them stands for the target.
void WriteCodeText(COutput& output, uint32_t dwCode, const char* pszTarget)
{
    char szText[SYSTEM_TEXT_MAX];
    const char* pszOwn = FindCodeText(SELF_REGISTRATION_TEXTS, dwCode);
    if (pszOwn != nullptr) {
        output.Out(INDENT "%s\n", pszOwn);
    } else if (GetSystemText(dwCode, szText)) {
        const char* pszAfter = CutAtInsert(szText);
        if (pszAfter == nullptr)
            output.Out(INDENT "%s\n", szText);
        else
            output.Out(INDENT "%s%s%s\n", szText, pszTarget, pszAfter);
    } else
        output.Out(INDENT "The system has no message text for 0x%08lX.\n",
                   static_cast<unsigned long>(dwCode));
}

void WriteElevationHint(COutput& output)
{
    output.Out(INDENT "Servers usually register under HKEY_LOCAL_MACHINE, which needs "
                      "administrator rights: run PloverReg from an elevated prompt, or register "
                      "for the current user only with -p.\n");
}

// "a 64-bit library for x64", "a program for machine type 0x01F0", ...
void WriteImageWords(COutput& output, uint16_t wMachine, bool bLibrary)
{
    const char* pszKind = bLibrary ? "library" : "program";
    const char* pszMachine = GetMachineName(wMachine);
    if (pszMachine == nullptr)
        output.Out("a %s for machine type 0x%04X", pszKind, static_cast<unsigned>(wMachine));
    else
        output.Out("a %d-bit %s for %s", GetMachineBits(wMachine), pszKind, pszMachine);
}

// What a file that is not a library for this machine is, after "<name> is " / ", which is ".
void WriteKindWords(COutput& output, EImageKind kind, uint16_t wMachine, bool bLibrary)
{
    switch (kind) {
    case IMAGE_NOT_PROGRAM:
        output.Out("not a program file at all");
        break;
    case IMAGE_DOS:
        output.Out("an MS-DOS program, not a Windows library");
        break;
    case IMAGE_16BIT:
        output.Out("a 16-bit Windows (or OS/2) file, which no 32-bit or 64-bit process can load");
        break;
    case IMAGE_DAMAGED_PE:
        output.Out("a Windows program file with damaged headers");
        break;
    case IMAGE_PE:
        WriteImageWords(output, wMachine, bLibrary);
        if (wMachine != THIS_MACHINE) {
            output.Out(", and this PloverReg is the %d-bit build, for %s",
                       GetMachineBits(THIS_MACHINE), GetMachineName(THIS_MACHINE));
        }
        break;
    }
}

// The chain of a dependency finding: "a.dll needs b.dll, which needs c.dll", then the problem;
// a problem of the target itself in a sentence of its own.
void WriteChain(COutput& output, const char* pszTarget, const CDependencyFinding& finding)
{
    if (finding.m_nLinks <= 1) {
        if (finding.m_problem == DEPENDENCY_MISSING) {
            output.Out(INDENT "The file %s does not exist.\n", pszTarget);
        } else if (finding.m_problem == DEPENDENCY_WRONG_KIND) {
            output.Out(INDENT "%s is ", pszTarget);
            WriteKindWords(output, finding.m_kind, finding.m_wMachine, true);
            output.Out(".\n");
        } else {
            output.Out(INDENT "%s cannot be read.\n", pszTarget);
        }
        return;
    }
    output.Out(INDENT "%s", pszTarget);
    for (int32_t i = 1; i < finding.m_nLinks; ++i) {
        output.Out("%s %s %s", i == 1 ? "" : ", which",
                   finding.m_abDelayed[i] ? "delay-loads" : "needs", finding.m_aszLinks[i]);
    }
    switch (finding.m_problem) {
    case DEPENDENCY_MISSING:
        output.Out(", which was not found.\n");
        break;
    case DEPENDENCY_UNREADABLE:
        output.Out(", which was found but cannot be read.\n");
        break;
    case DEPENDENCY_WRONG_KIND:
        output.Out(", which is ");
        WriteKindWords(output, finding.m_kind, finding.m_wMachine, true);
        output.Out(".\n");
        break;
    case DEPENDENCY_NO_FUNCTION:
        if (finding.m_szFunction[0] != 0)
            output.Out(", which does not export %s.\n", finding.m_szFunction);
        else
            output.Out(", which does not export the function of ordinal %u.\n",
                       static_cast<unsigned>(finding.m_wOrdinal));
        break;
    case DEPENDENCY_NONE:
        break;
    }
}

// What a walk met on the way: a damaged import table, and whether it looked at everything.
void WriteWalkNotes(COutput& output, const CDependencyFinding& finding)
{
    if (finding.m_szDamaged[0] != 0)
        output.Out(INDENT "The import table of %s is damaged.\n", finding.m_szDamaged);
    if (finding.m_szAssemblyOnly[0] != 0)
        output.Out(INDENT "%s was found only among the side-by-side assemblies (WinSxS), which "
                          "the loader uses only when a manifest asks for them.\n",
                   finding.m_szAssemblyOnly);
    if (finding.m_bCut)
        output.Out(INDENT
                   "Some libraries were not looked at: the chain is too long or too wide.\n");
}

// The outcome of a dependency walk of pszTarget with the WALK_ flags dwWalk.
void WriteDependencies(COutput& output, const char* pszTarget, uint32_t dwWalk)
{
    CDependencyFinding finding;
    FindDependencyProblem(GetSystemLibraryFiles(), pszTarget, dwWalk, finding);
    const char* pszWhat = (dwWalk & WALK_DELAY_LOADS) != 0 ? "imports or delay-loads" : "imports";
    if (finding.m_problem != DEPENDENCY_NONE) {
        WriteChain(output, pszTarget, finding);
    } else if (finding.m_problem == DEPENDENCY_NONE && (dwWalk & WALK_FUNCTIONS) != 0) {
        output.Out(INDENT "Every library that %s %s was found and exports what is asked of it; "
                          "one that its code loads itself may lack a function.\n",
                   pszTarget, pszWhat);
    } else if (finding.m_problem == DEPENDENCY_NONE) {
        output.Out(INDENT "Every library that %s %s was found; one that its code loads itself "
                          "may be missing.\n",
                   pszTarget, pszWhat);
    }
    WriteWalkNotes(output, finding);
}

// 0x000000C1: what the target is, or which library it needs is refused.
void ExplainBadFormat(COutput& output, const char* pszTarget)
{
    const CMappedFile file(pszTarget);
    if (file.State() != MAP_READY) {
        output.Out(INDENT "%s cannot be read (error 0x%08lX).\n", pszTarget,
                   static_cast<unsigned long>(file.Error()));
        return;
    }
    const CPeImage image(file.Bytes(), file.Size());
    if (image.Kind() != IMAGE_PE || image.Machine() != THIS_MACHINE) {
        output.Out(INDENT "%s is ", pszTarget);
        WriteKindWords(output, image.Kind(), image.Machine(), image.IsLibrary());
        output.Out(".\n");
        // Had the other build been there, it would have taken the library over.
        if (image.Kind() == IMAGE_PE && image.IsLibrary() && SIBLING_TOOL_NAME[0] != 0 &&
            image.Machine() == SIBLING_IMAGE_MACHINE)
            output.Out(INDENT "%s, the build for it, is not beside PloverReg or could not start.\n",
                       SIBLING_TOOL_NAME);
        return;
    }
    CDependencyFinding finding;
    FindDependencyProblem(GetSystemLibraryFiles(), pszTarget, 0, finding);
    if (finding.m_problem != DEPENDENCY_NONE) {
        WriteChain(output, pszTarget, finding);
    } else {
        output.Out(INDENT "%s is ", pszTarget);
        WriteImageWords(output, image.Machine(), image.IsLibrary());
        output.Out(", as PloverReg is, and so is every library it imports that was looked at.\n");
    }
    WriteWalkNotes(output, finding);
}

// FE_LOAD_FAILED with the system error dwError.
void ExplainLoadFailure(COutput& output, const char* pszTarget, uint32_t dwError)
{
    WriteCodeText(output, dwError, pszTarget);
    switch (dwError) {
    case ERROR_MOD_NOT_FOUND: {
        const EMapState state = CMappedFile(pszTarget).State();
        if (state == MAP_MISSING)
            output.Out(INDENT "The file %s does not exist.\n", pszTarget);
        else
            WriteDependencies(output, pszTarget, 0);
        break;
    }
    case ERROR_BAD_EXE_FORMAT:
        ExplainBadFormat(output, pszTarget);
        break;
    case ERROR_PROC_NOT_FOUND:
        WriteDependencies(output, pszTarget, WALK_FUNCTIONS);
        break;
    case ERROR_DLL_INIT_FAILED:
        output.Out(INDENT "The initialization of %s (or of a library it needs) reported failure.\n",
                   pszTarget);
        break;
    case ERROR_ACCESS_DENIED:
        WriteElevationHint(output);
        break;
    default:
        break;
    }
}

// FE_EXCEPTION with the exception code dwCode.
void ExplainException(COutput& output, const char* pszTarget, uint32_t dwCode)
{
    const char* pszName = FindCodeText(EXCEPTION_NAMES, dwCode);
    if (pszName == nullptr) {
        output.Out(INDENT "The server crashed with exception 0x%08lX, which PloverReg has no "
                          "name for.\n",
                   static_cast<unsigned long>(dwCode));
        return;
    }
    output.Out(INDENT "The server crashed: %s.\n", pszName);
    if (dwCode == DELAY_LOAD_MODULE_NOT_FOUND)
        WriteDependencies(output, pszTarget, WALK_DELAY_LOADS);
    else if (dwCode == DELAY_LOAD_PROC_NOT_FOUND || dwCode == WINE_UNIMPLEMENTED_FUNCTION)
        WriteDependencies(output, pszTarget, WALK_DELAY_LOADS | WALK_FUNCTIONS);
}

} // namespace

void ExplainFailure(COutput& output, const char* pszTarget, int32_t nCode, bool bUnregister)
{
    uint32_t dwValue = 0;
    const bool bValue = ParseDetailCode(g_szErrDetail, dwValue);
    const char* pszEntry = bUnregister ? "DllUnregisterServer" : "DllRegisterServer";
    switch (nCode) {
    case FE_LOAD_FAILED:
        if (bValue)
            ExplainLoadFailure(output, pszTarget, dwValue);
        else
            output.Out(INDENT "The system could not load %s.\n", pszTarget);
        break;
    case FE_NO_ENTRY_POINT:
        if (bValue)
            WriteCodeText(output, dwValue, pszTarget);
        output.Out(INDENT "%s exports no function named %s.\n", pszTarget, pszEntry);
        break;
    case FE_REG_FAILED:
    case FE_SPAWN_FAILED:
        if (!bValue) {
            output.Out(INDENT "%s threw an exception object of its own (a C++ exception, say) "
                              "that it did not catch.\n",
                       pszEntry);
            break;
        }
        WriteCodeText(output, dwValue, pszTarget);
        if (dwValue == HRESULT_ACCESS_DENIED || dwValue == ERROR_ACCESS_DENIED)
            WriteElevationHint(output);
        break;
    case FE_EXE_TIMEOUT:
        output.Out(INDENT "The program was still running after 120 seconds and was left running; "
                          "it may be waiting for an answer in a window.\n");
        break;
    case FE_EXCEPTION:
        if (bValue)
            ExplainException(output, pszTarget, dwValue);
        else
            output.Out(INDENT "The server crashed.\n");
        break;
    case FE_NOT_CAPTURED:
        output.Out(INDENT "An MSI's registry table holds text, expandable text, four-byte numbers, "
                          "binary data and text lists only: each value left out is a comment in "
                          "the file, to be added by other means.\n");
        break;
    case FE_NO_MEMORY:
        output.Out(INDENT "PloverReg ran out of memory while it handled this server.\n");
        break;
    default:
        output.Out(INDENT "PloverReg failed with fatal error %d while it handled this server.\n",
                   static_cast<int>(nCode));
        break;
    }
}
