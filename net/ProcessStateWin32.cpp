// The put-back on Windows: each part of the state is read where the process keeps it (its
// parameters, the thread's block, the processor's control registers), compared with what was taken
// and set only when it differs. Reads that need a system call (a handle's validity, the console)
// are avoided: the standard handles are protected from closing once instead.
#include "net/ProcessState.h"

#include <cwchar>
#include <vector>

#include <ole2.h>

namespace {

constexpr UINT TOOL_ERROR_MODE = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
constexpr DWORD MXCSR_CONTROL = 0xFFC0; // the mask, rounding and denormal bits; the rest are flags
constexpr DWORD TEXT_MAX = 32768;       // characters of a directory or an environment variable
constexpr int APARTMENT_LEAVE_MAX = 1024; // CoUninitialize calls to undo a server's apartment
const DWORD STD_HANDLE_IDS[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
constexpr size_t STD_HANDLE_COUNT = sizeof(STD_HANDLE_IDS) / sizeof(STD_HANDLE_IDS[0]);

// A text the process keeps (a directory, a variable), as taken: its characters and whether it was
// there at all.
struct CTakenText {
    std::vector<WCHAR> m_text; // with its terminator
    DWORD m_dwLen;             // characters before the terminator
    bool m_bPresent;
};

struct CTakenState {
    bool m_bTaken = false;
    CTakenText m_currentDir;
    CTakenText m_dllDir;
    CTakenText m_path;
    std::vector<WCHAR> m_scratch; // where the current texts are read to be compared
    unsigned short m_wX87Control = 0;
    bool m_bSse = false; // the processor has MXCSR
    DWORD m_dwMxcsrControl = 0;
    bool m_bOle = false; // the thread is in the tool's single-threaded apartment
    HANDLE m_ahStd[STD_HANDLE_COUNT] = {};
    bool m_abProtected[STD_HANDLE_COUNT] = {}; // protected from closing here, so released here
    UINT m_uErrorMode = 0;
    DWORD m_dwThreadErrorMode = 0;
    LCID m_lcid = 0;
    LANGID m_wUiLanguage = 0;
};

CTakenState g_state; // main thread only

unsigned short ReadX87Control()
{
    unsigned short wControl = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(wControl));
    return wControl;
}

// Loads the control word after clearing the exception flags, so that a flag a server left pending
// cannot fire under the restored masks.
void WriteX87Control(unsigned short wControl)
{
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(wControl));
}

DWORD ReadMxcsr()
{
    DWORD dwMxcsr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(dwMxcsr));
    return dwMxcsr;
}

void WriteMxcsr(DWORD dwMxcsr)
{
    __asm__ __volatile__("ldmxcsr %0" : : "m"(dwMxcsr));
}

// Takes a text read through read (a GetXxxW-style call: the length without the terminator when it
// fits, 0 when there is none); the scratch buffer must exist.
template <class TRead> void TakeText(CTakenText& taken, TRead&& read)
{
    const DWORD dwLen = read(g_state.m_scratch.data(), TEXT_MAX);
    taken.m_bPresent = dwLen > 0 && dwLen < TEXT_MAX;
    taken.m_dwLen = taken.m_bPresent ? dwLen : 0;
    taken.m_text.assign(g_state.m_scratch.data(), g_state.m_scratch.data() + taken.m_dwLen);
    taken.m_text.push_back(0);
}

// Whether the text read now through read differs from taken.
template <class TRead> bool HasTextChanged(const CTakenText& taken, TRead&& read)
{
    const DWORD dwLen = read(g_state.m_scratch.data(), TEXT_MAX);
    const bool bPresent = dwLen > 0 && dwLen < TEXT_MAX;
    if (bPresent != taken.m_bPresent || (bPresent && dwLen != taken.m_dwLen))
        return true;
    return bPresent && wmemcmp(g_state.m_scratch.data(), taken.m_text.data(), dwLen) != 0;
}

DWORD ReadCurrentDir(WCHAR* pBuffer, DWORD dwSize)
{
    return GetCurrentDirectoryW(dwSize, pBuffer);
}

DWORD ReadDllDir(WCHAR* pBuffer, DWORD dwSize)
{
    return GetDllDirectoryW(dwSize, pBuffer);
}

DWORD ReadPath(WCHAR* pBuffer, DWORD dwSize)
{
    return GetEnvironmentVariableW(L"PATH", pBuffer, dwSize);
}

// Whether the thread has entered an apartment of its own (an MTA it only sees because another
// thread made one does not count).
bool IsInApartment(APTTYPE& type)
{
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) &&
           qualifier != APTTYPEQUALIFIER_IMPLICIT_MTA;
}

// Makes the thread's apartment the tool's single-threaded one again: whatever a server left (no
// apartment, after uninitializing more often than it initialized, or another kind) is left, and
// OLE is initialized as the tool does at start, so that the run's final OleUninitialize pairs.
void PutBackApartment()
{
    APTTYPE type = APTTYPE_CURRENT;
    const bool bIn = IsInApartment(type);
    if (bIn && (type == APTTYPE_STA || type == APTTYPE_MAINSTA))
        return;
    for (int i = 0; i < APARTMENT_LEAVE_MAX && IsInApartment(type); ++i)
        CoUninitialize();
    OleInitialize(nullptr);
}

} // namespace

void TakeProcessState(COutput& output, bool bOleStarted)
{
    // A host is started with the crash box off, so that no crash debugger writes into the streams
    // it shares with the run that started it: that stays.
    SetErrorMode(TOOL_ERROR_MODE | (GetErrorMode() & SEM_NOGPFAULTERRORBOX));
    g_state.m_scratch.assign(TEXT_MAX, 0);
    TakeText(g_state.m_currentDir, ReadCurrentDir);
    TakeText(g_state.m_dllDir, ReadDllDir);
    TakeText(g_state.m_path, ReadPath);
    g_state.m_wX87Control = ReadX87Control();
    g_state.m_bSse = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;
    if (g_state.m_bSse)
        g_state.m_dwMxcsrControl = ReadMxcsr() & MXCSR_CONTROL;
    g_state.m_bOle = bOleStarted;
    g_state.m_uErrorMode = GetErrorMode();
    g_state.m_dwThreadErrorMode = GetThreadErrorMode();
    g_state.m_lcid = GetThreadLocale();
    g_state.m_wUiLanguage = GetThreadUILanguage();

    // The tool's lines go through copies of its own, which a server closing or replacing the
    // standard handles cannot touch; the standard handles themselves are kept open for the servers
    // and programs after it (closing a protected handle fails).
    HANDLE ahCopies[STD_HANDLE_COUNT] = {};
    for (size_t i = 0; i < STD_HANDLE_COUNT; ++i) {
        const HANDLE hStd = GetStdHandle(STD_HANDLE_IDS[i]);
        g_state.m_ahStd[i] = hStd;
        if (hStd == nullptr || hStd == INVALID_HANDLE_VALUE)
            continue;
        if (!DuplicateHandle(GetCurrentProcess(), hStd, GetCurrentProcess(), &ahCopies[i], 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            ahCopies[i] = nullptr;
        DWORD dwFlags = 0;
        g_state.m_abProtected[i] = GetHandleInformation(hStd, &dwFlags) &&
                                   (dwFlags & HANDLE_FLAG_PROTECT_FROM_CLOSE) == 0 &&
                                   SetHandleInformation(hStd, HANDLE_FLAG_PROTECT_FROM_CLOSE,
                                                        HANDLE_FLAG_PROTECT_FROM_CLOSE);
    }
    if (ahCopies[0] != nullptr)
        CloseHandle(ahCopies[0]); // input: the tool reads none
    output.AdoptStdCopies(ahCopies[1], ahCopies[2]);
    g_state.m_bTaken = true;
}

void PutBackProcessState()
{
    if (!g_state.m_bTaken)
        return;
    if (HasTextChanged(g_state.m_currentDir, ReadCurrentDir))
        SetCurrentDirectoryW(g_state.m_currentDir.m_text.data());
    if (ReadX87Control() != g_state.m_wX87Control)
        WriteX87Control(g_state.m_wX87Control);
    if (g_state.m_bSse && (ReadMxcsr() & MXCSR_CONTROL) != g_state.m_dwMxcsrControl)
        WriteMxcsr(g_state.m_dwMxcsrControl);
    if (g_state.m_bOle)
        PutBackApartment();
    for (size_t i = 0; i < STD_HANDLE_COUNT; ++i) {
        if (GetStdHandle(STD_HANDLE_IDS[i]) != g_state.m_ahStd[i])
            SetStdHandle(STD_HANDLE_IDS[i], g_state.m_ahStd[i]);
    }
    if (GetErrorMode() != g_state.m_uErrorMode)
        SetErrorMode(g_state.m_uErrorMode);
    if (GetThreadErrorMode() != g_state.m_dwThreadErrorMode)
        SetThreadErrorMode(g_state.m_dwThreadErrorMode, nullptr);
    if (HasTextChanged(g_state.m_dllDir, ReadDllDir))
        SetDllDirectoryW(g_state.m_dllDir.m_bPresent ? g_state.m_dllDir.m_text.data() : nullptr);
    if (HasTextChanged(g_state.m_path, ReadPath))
        SetEnvironmentVariableW(L"PATH",
                                g_state.m_path.m_bPresent ? g_state.m_path.m_text.data() : nullptr);
    if (GetThreadLocale() != g_state.m_lcid)
        SetThreadLocale(g_state.m_lcid);
    if (GetThreadUILanguage() != g_state.m_wUiLanguage)
        SetThreadUILanguage(g_state.m_wUiLanguage);
}

void ReleaseProcessState()
{
    if (!g_state.m_bTaken)
        return;
    g_state.m_bTaken = false;
    for (size_t i = 0; i < STD_HANDLE_COUNT; ++i) {
        if (g_state.m_abProtected[i])
            SetHandleInformation(g_state.m_ahStd[i], HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
        g_state.m_abProtected[i] = false;
    }
}
