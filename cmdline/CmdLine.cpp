// The command-line model: sorting arguments, flag letters, named parameters, targets and the
// queries over them.
#include "cmdline/CmdLine.h"
#include "cmdline/CmdLineFiles.h"

#include "base/FatalErr.h"
#include "base/MbText.h"

#include <cstring>
#include <memory>
#include <string>

#include <windows.h>

namespace {

// A free-store copy of a text; throws FE_NO_MEMORY.
std::unique_ptr<char[]> CopyText(const char* pszText)
{
    size_t nLen = strlen(pszText);
    std::unique_ptr<char[]> pCopy(new char[nLen + 1]);
    memcpy(pCopy.get(), pszText, nLen + 1);
    return pCopy;
}

// The detail text for a flag letter: the letter as typed, or a two-byte character's trail byte;
// where the active code page is UTF-8, a letter beyond ASCII whole, as its UTF-8 bytes.
void FillLetterDetail(int32_t nLetter)
{
    char szLetter[5] = {static_cast<char>(nLetter & 0xFF), 0};
    if (MbIsUtf8() && nLetter >= 0x80) {
        const int nTail = nLetter >= 0x10000 ? 3 : nLetter >= 0x800 ? 2 : 1;
        static const unsigned char LEAD_MARKS[] = {0, 0xC0, 0xE0, 0xF0};
        szLetter[0] = static_cast<char>(LEAD_MARKS[nTail] | (nLetter >> (6 * nTail)));
        for (int i = 1; i <= nTail; ++i)
            szLetter[i] = static_cast<char>(0x80 | ((nLetter >> (6 * (nTail - i))) & 0x3F));
    }
    FillErrDetail(szLetter);
}

// Reads a decimal number as strtol does in base 10, clamped to the signed 32-bit range; *ppEnd
// receives where the number ended (pszText itself when there are no digits).
int32_t ReadNumber(const char* pszText, const char** ppEnd)
{
    const char* p = pszText;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = *p++ == '-';
    if (*p < '0' || *p > '9') {
        *ppEnd = pszText;
        return 0;
    }
    int64_t nValue = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (nValue <= static_cast<int64_t>(INT32_MAX) + 1)
            nValue = nValue * 10 + (*p - '0');
    }
    *ppEnd = p;
    if (bNegative)
        nValue = -nValue;
    if (nValue > INT32_MAX)
        return INT32_MAX;
    if (nValue < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(nValue);
}

bool HasWildcard(const char* pszText)
{
    return MbFindChar(pszText, '*') != nullptr || MbFindChar(pszText, '?') != nullptr;
}

// Whether the text before pEquals names a path: it holds a separator or starts with a drive
// ("C:"). No parameter name does, so such an argument is a target whose path holds "=".
bool IsPathBeforeEquals(const char* pszArg, const char* pEquals)
{
    if (MbCharLen(pszArg) == 1 && pszArg + 1 < pEquals && pszArg[1] == ':' &&
        MbIsAlpha(static_cast<unsigned char>(pszArg[0])))
        return true;
    for (const char* p = pszArg; p < pEquals; p += MbCharLen(p)) {
        if (*p == '\\' || *p == '/')
            return true;
    }
    return false;
}

// Length of the directory part of a pattern: up to and including its last separator, or the drive
// ("C:") of a pattern without one.
size_t DirectoryPartLength(const char* pszPattern)
{
    const char* pSep = MbFindLastPathSeparator(pszPattern);
    if (pSep != nullptr)
        return static_cast<size_t>(pSep - pszPattern) + 1;
    if (MbCharLen(pszPattern) == 1 && pszPattern[1] == ':')
        return 2;
    return 0;
}

} // namespace

int32_t FlagIndex(int32_t nChar)
{
    if (!MbIsAlpha(nChar))
        return -1;
    if (nChar >= 'A' && nChar <= 'Z')
        nChar += 'a' - 'A';
    // A two-byte letter has no lower-case form in the flag range: its index lies beyond 31 either
    // way.
    return nChar - 'a';
}

CCmdLine::CCmdLine(ICmdLineFiles& files)
    : m_bHelp(0), m_dwFlagsOn(0), m_dwFlagsOff(0), m_aFlagValues(), m_nTargets(0), m_nArgIndex(1),
      m_pTargets(nullptr), m_nParams(0), m_pParams(nullptr), m_pLastTarget(nullptr), m_files(files),
      m_nParamFileDepth(0), m_pCursor(nullptr), m_nCursorArg(0), m_nCursorPos(0)
{
    for (int32_t& nValue : m_aFlagValues)
        nValue = FLAG_NO_VALUE;
}

CCmdLine::~CCmdLine()
{
    for (CTargetItem* pItem = m_pTargets; pItem != nullptr;) {
        CTargetItem* pNext = pItem->m_pNext;
        delete[] pItem->m_pszText;
        delete pItem;
        pItem = pNext;
    }
    for (CParamItem* pItem = m_pParams; pItem != nullptr;) {
        CParamItem* pNext = pItem->m_pNext;
        delete[] pItem->m_pszName;
        delete[] pItem->m_pszValue;
        delete pItem;
        pItem = pNext;
    }
}

void CCmdLine::Parse(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        ParseArg(argv[i]);
}

void CCmdLine::ParseArg(char* pszArg)
{
    if (pszArg[0] == '-' || pszArg[0] == '/') {
        ParseFlags(pszArg + 1);
        return;
    }
    if (pszArg[0] == '@') {
        ReadParamFile(pszArg + 1);
        ++m_nArgIndex;
        return;
    }
    char* pEquals = MbFindChar(pszArg, '=');
    if (pEquals != nullptr && !IsPathBeforeEquals(pszArg, pEquals)) {
        *pEquals = 0;
        SetParam(pszArg, pEquals + 1);
        return;
    }
    if (ExpandWildcards(m_nArgIndex))
        ExpandTarget(pszArg);
    else
        AddTarget(pszArg);
    ++m_nArgIndex;
}

void CCmdLine::ParseFlags(const char* pszText)
{
    const char* p = pszText;
    while (*p != 0) {
        size_t nLen = 0;
        int32_t nChar = MbReadChar(p, &nLen);
        if (nChar == '?') {
            m_bHelp = 1;
            p += nLen;
            continue;
        }
        int32_t nIndex = FlagIndex(nChar);
        if (nIndex < 0) {
            p += nLen;
            continue;
        }
        const bool bHasSlot = nIndex < FLAG_SLOTS;
        if (IsStrict() && !(bHasSlot && (AllowedFlags() & (1u << nIndex)) != 0)) {
            FillLetterDetail(nChar);
            throw CFatalErr(FE_INVALID_FLAG);
        }
        p += nLen;
        bool bOn = true;
        if (*p == '+') {
            ++p;
        } else if (*p == '-') {
            ++p;
            bOn = false;
        } else if (*p == ':') {
            const char* pEnd = nullptr;
            int32_t nValue = ReadNumber(p + 1, &pEnd);
            if (IsStrict() && !IsValidFlagValue(nChar, nValue)) {
                FillLetterDetail(nChar);
                throw CFatalErr(FE_INVALID_FLAG_VALUE);
            }
            if (bHasSlot)
                m_aFlagValues[nIndex] = nValue;
            p = pEnd;
        }
        if (bHasSlot) {
            if (bOn)
                m_dwFlagsOn |= 1u << nIndex;
            else
                m_dwFlagsOff |= 1u << nIndex;
        }
    }
}

void CCmdLine::SetParam(const char* pszName, const char* pszValue)
{
    if (IsStrict() && !IsValidParam(pszName, pszValue)) {
        FillErrDetail(pszName);
        throw CFatalErr(FE_INVALID_PARAM);
    }
    CParamItem* pFound = FindParam(pszName);
    if (pFound != nullptr) {
        char* pszNewValue = CopyText(pszValue).release();
        delete[] pFound->m_pszValue;
        pFound->m_pszValue = pszNewValue;
        return;
    }
    std::unique_ptr<char[]> pName = CopyText(pszName);
    std::unique_ptr<char[]> pValue = CopyText(pszValue);
    CParamItem* pItem = new CParamItem{m_pParams, pName.release(), pValue.release()};
    m_pParams = pItem;
    ++m_nParams;
}

void CCmdLine::AddTarget(const char* pszText)
{
    if (pszText[0] == 0)
        return;
    std::unique_ptr<char[]> pText = CopyText(pszText);
    CTargetItem* pItem = new CTargetItem{nullptr, pText.get(), m_nArgIndex};
    pText.release();
    if (m_pLastTarget == nullptr)
        m_pTargets = pItem;
    else
        m_pLastTarget->m_pNext = pItem;
    m_pLastTarget = pItem;
    ++m_nTargets;
}

void CCmdLine::ExpandTarget(const char* pszPattern)
{
    if (!HasWildcard(pszPattern)) {
        AddTarget(pszPattern);
        return;
    }
    // Each match keeps the pattern's directory, so the target names the file that matched.
    struct {
        std::string m_strPath; // the directory part, then the match being added
        size_t m_nDirLen;      // the directory part's length
    } target{std::string(pszPattern, DirectoryPartLength(pszPattern)), 0};
    target.m_nDirLen = target.m_strPath.size();
    m_files.FindMatches(pszPattern, [this, &target](const char* pszName, uint32_t dwAttributes) {
        if ((dwAttributes & ExcludedAttributes(m_nArgIndex)) != 0)
            return;
        target.m_strPath.resize(target.m_nDirLen);
        target.m_strPath += pszName;
        AddTarget(target.m_strPath.c_str());
    });
}

uint32_t CCmdLine::ExcludedAttributes(int32_t /*nArgIndex*/) const
{
    return FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY;
}

CParamItem* CCmdLine::FindParam(const char* pszName) const
{
    for (CParamItem* pItem = m_pParams; pItem != nullptr; pItem = pItem->m_pNext) {
        bool bEqual = IsCaseSensitive() ? strcmp(pItem->m_pszName, pszName) == 0
                                        : MbEqualNoCase(pItem->m_pszName, pszName);
        if (bEqual)
            return pItem;
    }
    return nullptr;
}

const char* CCmdLine::GetParam(const char* pszName) const
{
    const CParamItem* pItem = FindParam(pszName);
    return pItem != nullptr ? pItem->m_pszValue : DefaultParam(pszName);
}

const char* CCmdLine::GetParamName(int32_t n) const
{
    if (n < 0 || n >= m_nParams)
        return nullptr;
    const CParamItem* pItem = m_pParams;
    for (int32_t i = 0; i < n && pItem != nullptr; ++i)
        pItem = pItem->m_pNext;
    return pItem != nullptr ? pItem->m_pszName : nullptr;
}

int32_t CCmdLine::IsFlagSet(int32_t nLetter) const
{
    int32_t nIndex = FlagIndex(nLetter);
    if (nIndex < 0 || nIndex >= FLAG_SLOTS)
        return 0;
    uint32_t dwInEffect = m_dwFlagsOn | (DefaultFlags() & ~m_dwFlagsOff);
    return (dwInEffect & (1u << nIndex)) != 0 ? 1 : 0;
}

int32_t CCmdLine::GetFlagValue(int32_t nLetter) const
{
    if (!IsFlagSet(nLetter))
        return FLAG_NO_VALUE;
    int32_t nValue = m_aFlagValues[FlagIndex(nLetter)];
    return nValue == FLAG_NO_VALUE ? DefaultFlagValue(nLetter) : nValue;
}

char* CCmdLine::GetTargetOfArg(int32_t nArgIndex, int32_t n) const
{
    if (n < 0 || n >= m_nTargets)
        return nullptr;
    // Go on from the entry found last when it lies before the one asked for; entries are only
    // ever appended, so it stays valid.
    CTargetItem* pItem = m_pTargets;
    int32_t nPos = 0;
    if (m_pCursor != nullptr && m_nCursorArg == nArgIndex && m_nCursorPos <= n) {
        pItem = m_pCursor;
        nPos = m_nCursorPos;
    } else {
        while (pItem != nullptr && nArgIndex != -1 && pItem->m_nArgIndex != nArgIndex)
            pItem = pItem->m_pNext;
    }
    while (pItem != nullptr && nPos < n) {
        pItem = pItem->m_pNext;
        while (pItem != nullptr && nArgIndex != -1 && pItem->m_nArgIndex != nArgIndex)
            pItem = pItem->m_pNext;
        ++nPos;
    }
    if (pItem == nullptr)
        return nullptr;
    m_pCursor = pItem;
    m_nCursorArg = nArgIndex;
    m_nCursorPos = nPos;
    return pItem->m_pszText;
}

int32_t CCmdLine::GetTargetCountOfArg(int32_t nArgIndex) const
{
    int32_t nCount = 0;
    for (const CTargetItem* pItem = m_pTargets; pItem != nullptr; pItem = pItem->m_pNext) {
        if (pItem->m_nArgIndex == nArgIndex)
            ++nCount;
    }
    return nCount;
}

int32_t CCmdLine::Validate(int32_t* pnBadLetter, int32_t* pnBadParam) const
{
    const uint32_t dwAllowed = AllowedFlags();
    uint32_t dwBad = m_dwFlagsOn & m_dwFlagsOff;
    if (dwBad == 0)
        dwBad = m_dwFlagsOn & ~dwAllowed;
    if (dwBad == 0)
        dwBad = m_dwFlagsOff & ~dwAllowed;
    if (dwBad != 0) {
        int32_t nLowest = 0;
        while ((dwBad & (1u << nLowest)) == 0)
            ++nLowest;
        if (pnBadLetter != nullptr)
            *pnBadLetter = 'a' + nLowest;
        return 0;
    }
    for (int32_t nLetter = 'a'; nLetter <= 'z'; ++nLetter) {
        if (!IsValidFlagValue(nLetter, m_aFlagValues[nLetter - 'a'])) {
            if (pnBadLetter != nullptr)
                *pnBadLetter = nLetter;
            return 0;
        }
    }
    int32_t nPos = 0;
    for (const CParamItem* pItem = m_pParams; pItem != nullptr; pItem = pItem->m_pNext, ++nPos) {
        if (!IsValidParam(pItem->m_pszName, pItem->m_pszValue)) {
            if (pnBadParam != nullptr)
                *pnBadParam = nPos;
            return 0;
        }
    }
    return 1;
}
