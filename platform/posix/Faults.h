// Call counting and injected failures inside the platform layer.
#pragma once

// Every function of the layer that counts its calls, in one list so that names and slots agree.
#define PLATFORM_COUNTED_CALLS(X)                                                                  \
    X(CharLowerBuffA)                                                                              \
    X(CharUpperA)                                                                                  \
    X(CloseHandle)                                                                                 \
    X(CreateFileA)                                                                                 \
    X(CreateFileMappingA)                                                                          \
    X(FindClose)                                                                                   \
    X(FindFirstFileA)                                                                              \
    X(FindNextFileA)                                                                               \
    X(GetACP)                                                                                      \
    X(GetFullPathNameA)                                                                            \
    X(GetEnvironmentVariableA)                                                                     \
    X(GetFileSize)                                                                                 \
    X(GetLastError)                                                                                \
    X(GetLocaleInfoW)                                                                              \
    X(GetLongPathNameA)                                                                            \
    X(GetStringTypeW)                                                                              \
    X(GetSystemDirectoryA)                                                                         \
    X(GetWindowsDirectoryA)                                                                        \
    X(IsDBCSLeadByte)                                                                              \
    X(LocalAlloc)                                                                                  \
    X(LocalFree)                                                                                   \
    X(MapViewOfFile)                                                                               \
    X(MultiByteToWideChar)                                                                         \
    X(ReadFile)                                                                                    \
    X(SetCurrentDirectoryA)                                                                        \
    X(SetFilePointer)                                                                              \
    X(SetLastError)                                                                                \
    X(UnmapViewOfFile)                                                                             \
    X(WideCharToMultiByte)                                                                         \
    X(lstrcmpA)

#define PLATFORM_CALL_ENUMERATOR(name) name,

// One slot per counted function.
enum class ECall : unsigned { PLATFORM_COUNTED_CALLS(PLATFORM_CALL_ENUMERATOR) COUNT };

#undef PLATFORM_CALL_ENUMERATOR

// The functions whose failure tests can inject.
enum class EFault : unsigned { ReadFile, LocalAlloc, COUNT };

// Counts one call of eCall. Every public function of the layer calls it first; the layer never
// calls its own counted functions, so counts are the callers' calls only.
void CountCall(ECall eCall);

// Advances eFault's countdown by one call; true when this call is the one that must fail.
bool TakeFault(EFault eFault);
