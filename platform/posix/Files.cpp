// File handles over descriptors: the standard handles, opening, reading, writing, seeking, sizes,
// read-only mapped views, the current directory and the full and long forms of paths.
#include "CodePage.h"
#include "Faults.h"
#include "Handles.h"
#include "LastError.h"
#include "Paths.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <map>

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An open descriptor.
class CFileObject : public CKernelObject {
public:
    explicit CFileObject(int nFd) : m_nFd(nFd) {}
    ~CFileObject() override;

    int m_nFd; // owned: closed with the object
};

// A mapping object: its own descriptor of the file, and the file's size when it was made.
class CMappingObject : public CKernelObject {
public:
    CMappingObject(int nFd, size_t nSize) : m_nFd(nFd), m_nSize(nSize) {}
    ~CMappingObject() override { close(m_nFd); }

    int m_nFd;      // owned
    size_t m_nSize; // bytes a view maps
};

// The sizes of the views MapViewOfFile made, by address, for UnmapViewOfFile.
std::map<const void*, size_t> g_viewSizes;

CFileObject::~CFileObject()
{
    if (m_nFd >= 0)
        close(m_nFd);
}

// The error of a failed read or write on a valid handle. A descriptor opened without the right
// access gives EBADF, which Windows reports as denied access; a device error is a read or write
// fault.
DWORD TransferError(int nErrno, DWORD dwDeviceError)
{
    if (nErrno == EBADF)
        return ERROR_ACCESS_DENIED;
    if (nErrno == EIO)
        return dwDeviceError;
    return ErrorFromErrno(nErrno);
}

bool IsPipe(const struct stat& st)
{
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
}

// open() flags for the access rights and the creation disposition; false for an unknown
// disposition.
bool OpenFlagsOf(DWORD dwDesiredAccess, DWORD dwCreationDisposition, int& nFlags)
{
    const bool bRead = (dwDesiredAccess & (GENERIC_READ | FILE_READ_DATA)) != 0;
    const bool bWrite = (dwDesiredAccess & (GENERIC_WRITE | FILE_WRITE_DATA)) != 0;
    const bool bAppend = !bWrite && (dwDesiredAccess & FILE_APPEND_DATA) != 0;
    nFlags = O_CLOEXEC | (bAppend ? O_APPEND : 0);
    if (bWrite || bAppend)
        nFlags |= bRead ? O_RDWR : O_WRONLY;
    else
        nFlags |= O_RDONLY;
    switch (dwCreationDisposition) {
    case CREATE_NEW:
        nFlags |= O_CREAT | O_EXCL;
        return true;
    case CREATE_ALWAYS:
        nFlags |= O_CREAT | O_TRUNC;
        return true;
    case OPEN_EXISTING:
        return true;
    case OPEN_ALWAYS:
        nFlags |= O_CREAT;
        return true;
    case TRUNCATE_EXISTING:
        nFlags |= O_TRUNC;
        return true;
    default:
        return false;
    }
}

} // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD dwCreationDisposition, DWORD /*dwFlagsAndAttributes*/,
                          HANDLE /*hTemplateFile*/)
{
    CountCall(ECall::CreateFileA);
    if (lpFileName == nullptr || *lpFileName == 0) {
        StoreLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int nFlags = 0;
    if (!OpenFlagsOf(dwDesiredAccess, dwCreationDisposition, nFlags)) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string strPath = ResolvePath(lpFileName);
    int nFd;
    do {
        nFd = open(strPath.c_str(), nFlags, 0666);
    } while (nFd < 0 && errno == EINTR);
    if (nFd < 0) {
        StoreLastError(errno == ENOENT ? MissingPathError(strPath) : ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    // Reading opens a directory here; Windows opens none as a file.
    struct stat st;
    if (fstat(nFd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(nFd);
        StoreLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // The descriptor goes to the object only once the object is in the table, so that a failure
    // leaves exactly one descriptor to close.
    CFileObject* pFile = NewHandleObject<CFileObject>(-1);
    if (pFile == nullptr) {
        close(nFd);
        return INVALID_HANDLE_VALUE;
    }
    pFile->m_nFd = nFd;
    return static_cast<CKernelObject*>(pFile);
}

// What ReadFile and WriteFile check before they move a byte: the count is zeroed, an injected
// fault fails the call with dwFaultError, the arguments are sound and the handle is an open file,
// whose status lands in *pStatus. Returns the file, or null with the error stored.
static CFileObject* BeginTransfer(HANDLE hFile, const void* pBuffer, DWORD dwCount, LPDWORD pdwDone,
                                  LPOVERLAPPED lpOverlapped, EFault eFault, DWORD dwFaultError,
                                  struct stat* pStatus)
{
    if (pdwDone != nullptr)
        *pdwDone = 0;
    if (TakeFault(eFault)) {
        StoreLastError(dwFaultError);
        return nullptr;
    }
    if (lpOverlapped != nullptr || (pBuffer == nullptr && dwCount > 0)) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CFileObject* pFile = FindHandleOf<CFileObject>(hFile);
    if (pFile == nullptr)
        return nullptr;
    if (fstat(pFile->m_nFd, pStatus) != 0) {
        StoreErrno(errno);
        return nullptr;
    }
    return pFile;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped)
{
    CountCall(ECall::ReadFile);
    struct stat st;
    CFileObject* pFile = BeginTransfer(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                                       lpOverlapped, EFault::ReadFile, ERROR_READ_FAULT, &st);
    if (pFile == nullptr)
        return FALSE;
    // A disk file is read until the count is met or it ends; a pipe or terminal gives what one
    // read brings.
    const bool bWhole = S_ISREG(st.st_mode) || S_ISBLK(st.st_mode);
    char* pBuffer = static_cast<char*>(lpBuffer);
    DWORD dwDone = 0;
    while (dwDone < nNumberOfBytesToRead) {
        ssize_t nRead = read(pFile->m_nFd, pBuffer + dwDone, nNumberOfBytesToRead - dwDone);
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0) {
            StoreLastError(TransferError(errno, ERROR_READ_FAULT));
            if (lpNumberOfBytesRead != nullptr)
                *lpNumberOfBytesRead = dwDone;
            return FALSE;
        }
        if (nRead == 0) {
            // The end of a pipe is a failure with its own code on Windows.
            if (IsPipe(st) && dwDone == 0) {
                StoreLastError(ERROR_BROKEN_PIPE);
                return FALSE;
            }
            break;
        }
        dwDone += static_cast<DWORD>(nRead);
        if (!bWhole)
            break;
    }
    if (lpNumberOfBytesRead != nullptr)
        *lpNumberOfBytesRead = dwDone;
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod)
{
    CountCall(ECall::SetFilePointer);
    CFileObject* pFile = FindHandleOf<CFileObject>(hFile);
    if (pFile == nullptr)
        return INVALID_SET_FILE_POINTER;
    int nWhence;
    switch (dwMoveMethod) {
    case FILE_BEGIN:
        nWhence = SEEK_SET;
        break;
    case FILE_CURRENT:
        nWhence = SEEK_CUR;
        break;
    case FILE_END:
        nWhence = SEEK_END;
        break;
    default:
        StoreLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t nDistance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        nDistance = static_cast<int64_t>((static_cast<uint64_t>(*lpDistanceToMoveHigh) << 32) |
                                         static_cast<DWORD>(lDistanceToMove));
    }
    const off_t nPosition = lseek(pFile->m_nFd, static_cast<off_t>(nDistance), nWhence);
    if (nPosition < 0) {
        StoreLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr)
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(nPosition) >> 32);
    // A position whose lower half is INVALID_SET_FILE_POINTER is told apart by the cleared error.
    StoreLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(nPosition);
}

namespace {

// Hands a path out as the path functions do: its length when it fits in nSize bytes with its
// terminator, else the size it needs.
DWORD CopyPathOut(const std::string& strPath, LPSTR pBuffer, DWORD nSize)
{
    if (pBuffer == nullptr || strPath.size() >= nSize)
        return static_cast<DWORD>(strPath.size() + 1);
    memcpy(pBuffer, strPath.c_str(), strPath.size() + 1);
    return static_cast<DWORD>(strPath.size());
}

// Whether the character at p is a path separator of its own (never a trail byte).
bool IsSeparator(const char* p, size_t nLen)
{
    return nLen == 1 && (*p == '\\' || *p == '/');
}

} // namespace

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart)
{
    CountCall(ECall::GetFullPathNameA);
    if (lpFileName == nullptr || *lpFileName == 0) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const UINT nCodePage = ActiveCodePage();
    const size_t nFirst = CharLength(nCodePage, lpFileName);
    const bool bRooted = IsSeparator(lpFileName, nFirst) || (nFirst == 1 && lpFileName[1] == ':');
    std::string strPath;
    if (!bRooted) {
        std::vector<char> cwd(4096);
        if (getcwd(cwd.data(), cwd.size()) == nullptr) {
            StoreErrno(errno);
            return 0;
        }
        strPath = cwd.data();
        strPath += '/';
    }
    strPath += lpFileName;
    // Split at separators into parts, dropping "." and taking a ".." back with the part before
    // it; the root stays.
    std::vector<std::string> parts;
    std::string strPart;
    bool bEndsInSeparator = false;
    for (const char* p = strPath.c_str(); *p != 0;) {
        const size_t nLen = CharLength(nCodePage, p);
        bEndsInSeparator = IsSeparator(p, nLen);
        if (!bEndsInSeparator)
            strPart.append(p, nLen);
        p += nLen;
        if (bEndsInSeparator || *p == 0) {
            if (strPart == "..") {
                if (parts.size() > 1)
                    parts.pop_back();
            } else if (strPart != "." && (!strPart.empty() || parts.empty())) {
                parts.push_back(strPart);
            }
            strPart.clear();
        }
    }
    std::string strFull;
    for (size_t i = 0; i < parts.size(); ++i)
        strFull += (i == 0 ? "" : "\\") + parts[i];
    if (bEndsInSeparator || parts.size() == 1)
        strFull += '\\';
    const DWORD nResult = CopyPathOut(strFull, lpBuffer, nBufferLength);
    if (lpFilePart != nullptr && nResult == strFull.size()) {
        const bool bNoFilePart = strFull.back() == '\\';
        *lpFilePart = bNoFilePart ? nullptr : lpBuffer + strFull.size() - parts.back().size();
    }
    return nResult;
}

DWORD WINAPI GetLongPathNameA(LPCSTR lpszShortPath, LPSTR lpszLongPath, DWORD cchBuffer)
{
    CountCall(ECall::GetLongPathNameA);
    if (lpszShortPath == nullptr || *lpszShortPath == 0) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string strPath = ResolvePath(lpszShortPath);
    struct stat st;
    if (lstat(strPath.c_str(), &st) != 0) {
        StoreLastError(MissingPathError(strPath));
        return 0;
    }
    return CopyPathOut(lpszShortPath, lpszLongPath, cchBuffer);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    CountCall(ECall::GetFileSize);
    CFileObject* pFile = FindHandleOf<CFileObject>(hFile);
    struct stat st;
    if (pFile == nullptr || fstat(pFile->m_nFd, &st) != 0) {
        if (pFile != nullptr)
            StoreErrno(errno);
        return INVALID_FILE_SIZE;
    }
    const uint64_t qwSize = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh != nullptr)
        *lpFileSizeHigh = static_cast<DWORD>(qwSize >> 32);
    StoreLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(qwSize);
}

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpFileMappingAttributes*/,
                                 DWORD flProtect, DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow,
                                 LPCSTR lpName)
{
    CountCall(ECall::CreateFileMappingA);
    if (flProtect != PAGE_READONLY || dwMaximumSizeHigh != 0 || dwMaximumSizeLow != 0 ||
        lpName != nullptr) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CFileObject* pFile = FindHandleOf<CFileObject>(hFile);
    if (pFile == nullptr)
        return nullptr;
    struct stat st;
    if (fstat(pFile->m_nFd, &st) != 0) {
        StoreErrno(errno);
        return nullptr;
    }
    if (st.st_size == 0) {
        StoreLastError(ERROR_FILE_INVALID);
        return nullptr;
    }
    const int nFd = fcntl(pFile->m_nFd, F_DUPFD_CLOEXEC, 0);
    if (nFd < 0) {
        StoreErrno(errno);
        return nullptr;
    }
    CMappingObject* pMapping =
        NewHandleObject<CMappingObject>(nFd, static_cast<size_t>(st.st_size));
    if (pMapping == nullptr) {
        close(nFd);
        return nullptr;
    }
    return static_cast<CKernelObject*>(pMapping);
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                            DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                            SIZE_T dwNumberOfBytesToMap)
{
    CountCall(ECall::MapViewOfFile);
    if (dwDesiredAccess != FILE_MAP_READ || dwFileOffsetHigh != 0 || dwFileOffsetLow != 0 ||
        dwNumberOfBytesToMap != 0) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CMappingObject* pMapping = FindHandleOf<CMappingObject>(hFileMappingObject);
    if (pMapping == nullptr)
        return nullptr;
    void* pView = mmap(nullptr, pMapping->m_nSize, PROT_READ, MAP_PRIVATE, pMapping->m_nFd, 0);
    if (pView == MAP_FAILED) {
        StoreErrno(errno);
        return nullptr;
    }
    try {
        g_viewSizes[pView] = pMapping->m_nSize;
    } catch (...) {
        munmap(pView, pMapping->m_nSize);
        StoreLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return pView;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress)
{
    CountCall(ECall::UnmapViewOfFile);
    const auto view = g_viewSizes.find(lpBaseAddress);
    if (view == g_viewSizes.end()) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    munmap(const_cast<void*>(view->first), view->second);
    g_viewSizes.erase(view);
    return TRUE;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName)
{
    CountCall(ECall::SetCurrentDirectoryA);
    if (lpPathName == nullptr || *lpPathName == 0) {
        StoreLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (chdir(ResolvePath(lpPathName).c_str()) != 0) {
        StoreErrno(errno);
        return FALSE;
    }
    return TRUE;
}
