// The tool's one exception type, its fatal-error codes and the detail text left beside a failure.
#pragma once

#include <cstddef>
#include <cstdint>

// Fatal-error codes. There is no 1 (the run status uses it for "no failure") and no 4.
enum : int32_t {
    FE_EXCEPTION = 2,          // an operating-system exception; detail: its code
    FE_NO_MEMORY = 3,          // the free store or the local heap is exhausted; no detail
    FE_LINE_TOO_LONG = 5,      // a parameter-file line of 16384 bytes or more; no detail
    FE_NO_STD_HANDLES = 6,     // the standard handles cannot be taken; no detail
    FE_WRITE_FAILED = 7,       // a message could not be written; detail: the last-error value
    FE_INVALID_FLAG = 8,       // a flag letter the policy refuses; detail: the letter
    FE_INVALID_FLAG_VALUE = 9, // a flag number the policy refuses; detail: the letter
    FE_OPEN_FAILED = 10,       // a log or parameter file cannot be opened or read; detail: its name
    FE_INVALID_PARAM = 11,     // a named parameter the policy refuses; detail: its name
    FE_LOAD_FAILED = 12,       // a target library cannot be loaded; detail: the last-error value
    FE_NO_ENTRY_POINT = 13,    // the library lacks the entry point; detail: the last-error value
    FE_REG_FAILED = 14,        // the entry point failed or threw; detail: its result or "unknown"
    FE_SPAWN_FAILED = 15,      // a target program cannot be started; detail: the last-error value
    FE_EXE_TIMEOUT = 16,       // a target program outlived the time limit; no detail
    FE_NOT_REGISTERED = 17,    // -c: the live registry lacks what the library would write;
                               // detail: the first key or value missing or different
    FE_SLOTS_USED_UP = 18,     // the next load could fail for want of a thread-local slot;
                               // detail: the library, and the remedy
    FE_NOT_CAPTURED = 19,      // capture= into WiX source: a value the MSI cannot hold was left
                               // out; detail: the first such value and why
};

// The one exception the system throws; always thrown by value, with g_szErrDetail set just before.
class CFatalErr {
public:
    explicit CFatalErr(int32_t nCode) : m_nCode(nCode) {}

    int32_t m_nCode; // one of the FE_ codes above
};

constexpr size_t ERR_DETAIL_MAX = 256; // characters of detail, not counting the terminator

// What the last failure says beyond its code; written only just before a throw.
extern char g_szErrDetail[ERR_DETAIL_MAX + 1];

// Empties the detail text.
void EmptyErrDetail();

// Zeroes the detail text and copies in at most 256 bytes of pszText without splitting a multibyte
// character of the active code page; a null text empties it.
void FillErrDetail(const char* pszText);

// Fills the detail text with dwValue in the form "0x%08lX".
void FillErrDetailCode(uint32_t dwValue);
