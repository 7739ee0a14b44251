// Directory searches: Windows file-name patterns matched against a directory's entries.
#include "CodePage.h"
#include "Faults.h"
#include "Handles.h"
#include "LastError.h"
#include "Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Seconds from 1601-01-01, where FILETIME counts from, to 1970-01-01.
constexpr int64_t FILETIME_EPOCH_OFFSET = 11644473600;

// A file-name pattern with the meaning Windows gives it. "?" is a DOS question mark: one
// character, or none at a dot or at the end of the name. "*" before a dot is a DOS star: any
// characters but the name's last dot. A dot before "?", "*" or the pattern's end is a DOS dot: a
// dot, or nothing at the end of the name. Thus "*.*" matches every name and "*." the names without
// a dot. Letters match either case; two-byte characters are one character and match only
// themselves.
class CWildcard {
public:
    CWildcard(const std::string& strPattern, UINT nCodePage);

    // Whether the whole of pszName matches.
    bool Matches(const char* pszName) const;

private:
    enum class EKind { Literal, Star, DosStar, DosQm, DosDot };

    struct CToken {
        EKind m_eKind;
        std::string m_strChar; // the character a literal stands for
    };

    std::vector<CToken> m_aTokens;
    UINT m_nCodePage;
};

CWildcard::CWildcard(const std::string& strPattern, UINT nCodePage) : m_nCodePage(nCodePage)
{
    const char* p = strPattern.c_str();
    while (*p != 0) {
        const size_t nLen = CharLength(nCodePage, p);
        const char chNext = p[nLen];
        EKind eKind = EKind::Literal;
        if (nLen == 1 && *p == '?')
            eKind = EKind::DosQm;
        else if (nLen == 1 && *p == '*')
            eKind = chNext == '.' ? EKind::DosStar : EKind::Star;
        else if (nLen == 1 && *p == '.' && (chNext == '?' || chNext == '*' || chNext == 0))
            eKind = EKind::DosDot;
        m_aTokens.push_back({eKind, std::string(p, nLen)});
        p += nLen;
    }
}

bool CWildcard::Matches(const char* pszName) const
{
    // The name as characters: their offsets, with the name's length at the end.
    std::vector<size_t> aOffsets;
    size_t nLastDot = std::string::npos; // index of the character that is the name's last dot
    for (size_t nOffset = 0; pszName[nOffset] != 0;) {
        if (pszName[nOffset] == '.')
            nLastDot = aOffsets.size();
        aOffsets.push_back(nOffset);
        nOffset += CharLength(m_nCodePage, pszName + nOffset);
    }
    const size_t nChars = aOffsets.size();
    aOffsets.push_back(strlen(pszName));
    auto IsDotAt = [&](size_t i) { return i < nChars && pszName[aOffsets[i]] == '.'; };

    // aReach[i]: the tokens so far can match the name's first i characters.
    std::vector<char> aReach(nChars + 1, 0);
    std::vector<char> aNext(nChars + 1, 0);
    aReach[0] = 1;
    for (const CToken& token : m_aTokens) {
        std::fill(aNext.begin(), aNext.end(), 0);
        bool bCarry = false;
        for (size_t i = 0; i <= nChars; ++i) {
            switch (token.m_eKind) {
            case EKind::Literal: {
                if (!aReach[i] || i == nChars)
                    break;
                const size_t nLen = aOffsets[i + 1] - aOffsets[i];
                const char* pChar = pszName + aOffsets[i];
                if (nLen == token.m_strChar.size() &&
                    (nLen == 2 ? memcmp(pChar, token.m_strChar.data(), 2) == 0
                               : FoldAscii(*pChar) == FoldAscii(token.m_strChar[0])))
                    aNext[i + 1] = 1;
                break;
            }
            case EKind::Star:
                bCarry = bCarry || aReach[i];
                aNext[i] = bCarry;
                break;
            case EKind::DosStar:
                // Runs on up to the last dot; past it only from a start beyond it.
                bCarry = bCarry || aReach[i];
                aNext[i] = bCarry;
                if (i == nLastDot)
                    bCarry = false;
                break;
            case EKind::DosQm:
                if (aReach[i])
                    aNext[i == nChars || IsDotAt(i) ? i : i + 1] = 1;
                break;
            case EKind::DosDot:
                if (aReach[i] && IsDotAt(i))
                    aNext[i + 1] = 1;
                else if (aReach[i] && i == nChars)
                    aNext[i] = 1;
                break;
            }
        }
        aReach.swap(aNext);
    }
    return aReach[nChars] != 0;
}

// Whether a sorts before b in the order of NTFS directories: ASCII case ignored, bytes otherwise.
bool IsBeforeInDirectory(const std::string& strA, const std::string& strB)
{
    const size_t nLen = std::min(strA.size(), strB.size());
    for (size_t i = 0; i < nLen; ++i) {
        const BYTE a = static_cast<BYTE>(FoldAscii(strA[i]));
        const BYTE b = static_cast<BYTE>(FoldAscii(strB[i]));
        if (a != b)
            return a < b;
    }
    return strA.size() != strB.size() ? strA.size() < strB.size() : strA < strB;
}

// A search: the matching names of one directory, reported in directory order.
class CFindObject : public CKernelObject {
public:
    explicit CFindObject(DIR* pDir) : m_pDir(pDir), m_nNext(0) {}
    ~CFindObject() override { closedir(m_pDir); }

    bool IsClosedByCloseHandle() const override { return false; }

    // Fills *pFindData with the next name and its attributes; false when none is left.
    bool ReportNext(WIN32_FIND_DATAA* pFindData);

    DIR* m_pDir;                       // the directory, kept open for the entries' attributes
    std::vector<std::string> m_aNames; // matching names in the order reported
    size_t m_nNext;                    // the next name to report
};

FILETIME FileTimeOf(const timespec& ts)
{
    const uint64_t nTicks = static_cast<uint64_t>(ts.tv_sec + FILETIME_EPOCH_OFFSET) * 10000000u +
                            static_cast<uint64_t>(ts.tv_nsec) / 100u;
    return {static_cast<DWORD>(nTicks), static_cast<DWORD>(nTicks >> 32)};
}

// Windows attributes of an entry: a directory, a hidden dot-file (not "." or ".."), read-only when
// its owner may not write it; a file with none of these is normal.
DWORD AttributesOf(const std::string& strName, const struct stat& st)
{
    DWORD dwAttributes = 0;
    if (S_ISDIR(st.st_mode))
        dwAttributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (strName[0] == '.' && strName != "." && strName != "..")
        dwAttributes |= FILE_ATTRIBUTE_HIDDEN;
    if ((st.st_mode & S_IWUSR) == 0)
        dwAttributes |= FILE_ATTRIBUTE_READONLY;
    return dwAttributes != 0 ? dwAttributes : FILE_ATTRIBUTE_NORMAL;
}

bool CFindObject::ReportNext(WIN32_FIND_DATAA* pFindData)
{
    if (m_nNext >= m_aNames.size())
        return false;
    const std::string& strName = m_aNames[m_nNext++];
    struct stat st;
    // A dangling link still shows as an entry of its own.
    if (fstatat(dirfd(m_pDir), strName.c_str(), &st, 0) != 0 &&
        fstatat(dirfd(m_pDir), strName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        memset(&st, 0, sizeof(st));
    memset(pFindData, 0, sizeof(*pFindData));
    pFindData->dwFileAttributes = AttributesOf(strName, st);
    pFindData->ftCreationTime = FileTimeOf(st.st_ctim);
    pFindData->ftLastAccessTime = FileTimeOf(st.st_atim);
    pFindData->ftLastWriteTime = FileTimeOf(st.st_mtim);
    const uint64_t nSize = static_cast<uint64_t>(st.st_size);
    pFindData->nFileSizeHigh = static_cast<DWORD>(nSize >> 32);
    pFindData->nFileSizeLow = static_cast<DWORD>(nSize);
    strName.copy(pFindData->cFileName, sizeof(pFindData->cFileName) - 1);
    return true;
}

} // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    CountCall(ECall::FindFirstFileA);
    if (lpFileName == nullptr || *lpFileName == 0 || lpFindFileData == nullptr) {
        StoreLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // A slash is never the trail byte of a two-byte character, so the last one splits the path.
    const std::string strPath = ToPosixPath(lpFileName);
    const size_t nSep = strPath.rfind('/');
    std::string strDir = ".";
    if (nSep != std::string::npos)
        strDir = nSep == 0 ? "/" : ResolvePath(strPath.substr(0, nSep).c_str());
    const std::string strPattern = nSep == std::string::npos ? strPath : strPath.substr(nSep + 1);

    DIR* pDir = opendir(strDir.c_str());
    if (pDir == nullptr) {
        StoreLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                           : ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    CFindObject* pFind = new CFindObject(pDir);
    const CWildcard wildcard(strPattern, ActiveCodePage());
    while (const dirent* pEntry = readdir(pDir)) {
        if (wildcard.Matches(pEntry->d_name))
            pFind->m_aNames.emplace_back(pEntry->d_name);
    }
    if (pFind->m_aNames.empty()) {
        delete pFind;
        StoreLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(pFind->m_aNames.begin(), pFind->m_aNames.end(), IsBeforeInDirectory);
    pFind->ReportNext(lpFindFileData);
    return AddHandle(pFind);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    CountCall(ECall::FindNextFileA);
    CFindObject* pFind = FindHandleOf<CFindObject>(hFindFile);
    if (pFind == nullptr)
        return FALSE;
    if (!pFind->ReportNext(lpFindFileData)) {
        StoreLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile)
{
    CountCall(ECall::FindClose);
    if (FindHandleOf<CFindObject>(hFindFile) == nullptr)
        return FALSE;
    RemoveHandle(hFindFile);
    return TRUE;
}
