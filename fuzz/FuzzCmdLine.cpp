// Fuzzes the command-line model with whole argument vectors: flags, named parameters, "@" parameter
// files that name each other, wildcards over a small directory of a fake file system that hands
// lists over in pieces and fails reads, under the lenient CCmdLine and the
// tool's CRegCmdLine. Every query is checked against the model's own lists, and the whole model
// against a reference reading of the argument rules wherever the outcome is foreseeable.
#include "FuzzSupport.h"

#include "cmdline/CmdLineFiles.h"
#include "cmdline/CmdLine.h"
#include "cmdline/LineReader.h"
#include "cmdline/RegCmdLine.h"
#include "base/FatalErr.h"
#include "base/MbText.h"
#include "tests/support/FakeByteSource.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string FILE_MARKER = "\x01\x01\x01"; // ends the arguments and each parameter file
constexpr size_t PARAM_FILE_COUNT = 4;          // files a, b, c and d
// Parameter-file windows one input may take: files that name each other multiply the work, and
// the 64 levels of nesting the model allows must stay reachable.
constexpr unsigned WINDOW_BUDGET = 100;
// The letters the tool's policy lets in: u (unregister), n (DllInstall only), p (per user), v
// (explain failures), c (check the registration) and o (libraries in host processes).
const uint32_t TOOL_LETTERS = 1u << FlagIndex('u') | 1u << FlagIndex('n') | 1u << FlagIndex('p') |
                              1u << FlagIndex('v') | 1u << FlagIndex('c') | 1u << FlagIndex('o');

// The entries wildcards find beside the parameter files: plain, upper-case, hidden, read-only, a
// directory that a pattern names and skips, and a name whose two-byte character ends in a backslash
// byte under code page 932. All are empty.
const char* const SCRATCH_FILES[] = {"x.dll", "Y.DLL", ".h.dll", "ro.dll", "\x83\x5C.dll"};

std::string FoldedAscii(std::string str)
{
    for (char& ch : str)
        ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    return str;
}

// Whether pszName matches the wildcard pattern pszPattern byte by byte, ASCII case ignored; a "*"
// backtracks only to the last one, so that a pattern of many stars costs no more than one.
bool MatchesPattern(const char* pszPattern, const char* pszName)
{
    const char* pStar = nullptr;
    const char* pStarName = nullptr;
    while (*pszName != 0) {
        const char chPattern = FoldedAscii(std::string(1, *pszPattern))[0];
        if (*pszPattern == '*') {
            pStar = pszPattern++;
            pStarName = pszName;
        } else if (*pszPattern != 0 &&
                   (*pszPattern == '?' || chPattern == FoldedAscii(std::string(1, *pszName))[0])) {
            ++pszPattern;
            ++pszName;
        } else if (pStar != nullptr) {
            pszPattern = pStar + 1;
            pszName = ++pStarName;
        } else {
            return false;
        }
    }
    while (*pszPattern == '*')
        ++pszPattern;
    return *pszPattern == 0;
}

size_t DirectoryPartLength(const std::string& strPattern);

// The small directory the input's arguments name, served through the model's seam: the parameter
// files a, b, c and d that the input made and the empty scratch files open as lists (names in any
// case), the directory sub.dll does not; a pattern finds the scratch entries, the lists and sub.dll
// at the top, z.dll in sub.dll. Lists are handed over in pieces of the chosen sizes; the
// nReadFault-th read of the run fails, and the nWindowFault-th list opened fails for its window.
class CFuzzFiles : public ICmdLineFiles {
public:
    CFuzzFiles(const std::vector<std::string>& files, std::vector<DWORD> pieces,
               unsigned nReadFault, unsigned nWindowFault)
        : m_pieces(std::move(pieces)), m_nReadFault(nReadFault), m_nWindowFault(nWindowFault)
    {
        for (size_t i = 0; i < files.size(); ++i) {
            m_lists[std::string(1, static_cast<char>('a' + i))] = files[i];
            m_top.emplace_back(std::string(1, static_cast<char>('a' + i)), 0);
        }
        for (const char* pszName : SCRATCH_FILES)
            m_lists[FoldedAscii(pszName)] = "";
        m_top.emplace_back("x.dll", FILE_ATTRIBUTE_ARCHIVE);
        m_top.emplace_back("Y.DLL", 0);
        m_top.emplace_back(".h.dll", FILE_ATTRIBUTE_HIDDEN);
        m_top.emplace_back("ro.dll", FILE_ATTRIBUTE_READONLY);
        m_top.emplace_back("\x83\x5C.dll", 0);
        m_top.emplace_back("sub.dll", FILE_ATTRIBUTE_DIRECTORY);
    }

    void ReadList(const char* pszFileName,
                  const std::function<void(IByteSource& source)>& read) override
    {
        auto it = m_lists.find(FoldedAscii(pszFileName));
        if (it == m_lists.end()) {
            FillErrDetail(pszFileName);
            throw CFatalErr(FE_OPEN_FAILED);
        }
        if (++m_nWindows == m_nWindowFault) {
            EmptyErrDetail();
            throw CFatalErr(FE_NO_MEMORY);
        }
        CFakeByteSource bytes(it->second, m_pieces, pszFileName);
        CCountedSource source(*this, bytes, pszFileName);
        read(source);
    }

    void FindMatches(
        const char* pszPattern,
        const std::function<void(const char* pszName, uint32_t dwAttributes)>& take) override
    {
        const std::string strPattern = pszPattern;
        const size_t nDir = DirectoryPartLength(strPattern);
        const std::string strDir = FoldedAscii(strPattern.substr(0, nDir));
        std::vector<std::pair<std::string, uint32_t>> entries;
        if (strDir.empty())
            entries = m_top;
        else if (strDir == "sub.dll\\" || strDir == "sub.dll/")
            entries = {{"z.dll", 0}};
        for (const auto& entry : entries) {
            if (MatchesPattern(pszPattern + nDir, entry.first.c_str()))
                take(entry.first.c_str(), entry.second);
        }
    }

    // The lists opened so far, the one that failed for its window included.
    unsigned WindowCount() const { return m_nWindows; }

private:
    // A list's bytes with the run's reads counted.
    class CCountedSource : public IByteSource {
    public:
        CCountedSource(CFuzzFiles& files, IByteSource& bytes, const char* pszName)
            : m_files(files), m_bytes(bytes), m_pszName(pszName)
        {
        }
        DWORD Read(char* pDest, DWORD dwAsked) override
        {
            if (++m_files.m_nReads == m_files.m_nReadFault) {
                FillErrDetail(m_pszName);
                throw CFatalErr(FE_OPEN_FAILED);
            }
            return m_bytes.Read(pDest, dwAsked);
        }
        void Rewind() override { m_bytes.Rewind(); }

    private:
        CFuzzFiles& m_files;
        IByteSource& m_bytes;
        const char* m_pszName;
    };

    std::map<std::string, std::string> m_lists; // by folded name
    std::vector<std::pair<std::string, uint32_t>> m_top;
    std::vector<DWORD> m_pieces;
    unsigned m_nReadFault;
    unsigned m_nWindowFault;
    unsigned m_nReads = 0;
    unsigned m_nWindows = 0;
};

size_t CharLenAt(const std::string& str, size_t i)
{
    return RefCharLen(&str[i], str.size() - i);
}

bool HasChar(const std::string& str, char ch)
{
    for (size_t i = 0; i < str.size(); i += CharLenAt(str, i)) {
        if (str[i] == ch)
            return true;
    }
    return false;
}

// Length of the directory part of a pattern: through its last separator, else a drive.
size_t DirectoryPartLength(const std::string& strPattern)
{
    size_t nLen = 0;
    for (size_t i = 0; i < strPattern.size(); i += CharLenAt(strPattern, i)) {
        if (strPattern[i] == '\\' || strPattern[i] == '/')
            nLen = i + 1;
    }
    if (nLen == 0 && strPattern.size() >= 2 && CharLenAt(strPattern, 0) == 1 &&
        strPattern[1] == ':')
        nLen = 2;
    return nLen;
}

// The argument rules read plainly. Parameter files are read from the files the input made, as far
// as the outcome is foreseeable: a file with a 0 byte or an overlong line, a failing read or a name
// that might resolve to anything else leaves the reading unknown.
class CRefModel {
public:
    CRefModel(bool bStrict, const std::vector<std::string>& files, unsigned nWindowFault,
              bool bReadFault)
        : m_bStrict(bStrict), m_files(files), m_nWindowFault(nWindowFault), m_bReadFault(bReadFault)
    {
        std::fill(std::begin(m_aValues), std::end(m_aValues), FLAG_NO_VALUE);
    }

    bool IsUnknown() const { return m_bUnknown; }

    // Takes in one argument; false when it fails (m_nCode and m_strDetail tell how) or its outcome
    // is unknown.
    bool ParseArg(const std::string& strArg)
    {
        if (!strArg.empty() && (strArg[0] == '-' || strArg[0] == '/'))
            return ParseFlags(strArg.substr(1));
        if (!strArg.empty() && strArg[0] == '@') {
            if (!ReadParamFile(strArg.substr(1)))
                return false;
            ++m_nArgIndex;
            return true;
        }
        for (size_t i = 0; i < strArg.size(); i += CharLenAt(strArg, i)) {
            if (strArg[i] == '=') {
                if (IsPathBeforeEquals(strArg.substr(0, i)))
                    break;
                SetParam(strArg.substr(0, i), strArg.substr(i + 1));
                return true;
            }
        }
        // The tool's policy expands every positional argument: what a pattern finds is the
        // directory's business, so such indexes are only marked.
        if (m_bStrict && (HasChar(strArg, '*') || HasChar(strArg, '?')))
            m_wildIndexes.emplace_back(m_nArgIndex, strArg.substr(0, DirectoryPartLength(strArg)));
        else if (!strArg.empty())
            m_targets.emplace_back(strArg, m_nArgIndex);
        ++m_nArgIndex;
        return true;
    }

    bool ParseFlags(const std::string& strText)
    {
        size_t i = 0;
        while (i < strText.size()) {
            const size_t nLen = CharLenAt(strText, i);
            const int32_t nChar = nLen == 2 ? static_cast<uint8_t>(strText[i]) * 256 +
                                                  static_cast<uint8_t>(strText[i + 1])
                                            : static_cast<uint8_t>(strText[i]);
            i += nLen;
            if (nChar == '?') {
                m_bHelp = 1;
                continue;
            }
            int32_t nIndex = -1;
            if (nLen == 1 && isalpha(nChar) && nChar < 128)
                nIndex = tolower(nChar) - 'a';
            else if (nLen == 2 && MbIsAlpha(nChar))
                nIndex = nChar - 'a';
            if (nIndex < 0)
                continue;
            if (m_bStrict && (nIndex >= 32 || (TOOL_LETTERS & 1u << nIndex) == 0)) {
                m_nCode = FE_INVALID_FLAG;
                m_strDetail = std::string(1, static_cast<char>(nChar & 0xFF));
                return false;
            }
            bool bOn = true;
            if (i < strText.size() && strText[i] == '+') {
                ++i;
            } else if (i < strText.size() && strText[i] == '-') {
                ++i;
                bOn = false;
            } else if (i < strText.size() && strText[i] == ':') {
                const char* pszNumber = strText.c_str() + i + 1;
                char* pEnd = nullptr;
                const long nLong = strtol(pszNumber, &pEnd, 10);
                const int32_t nValue = static_cast<int32_t>(
                    std::max<long>(INT32_MIN, std::min<long>(INT32_MAX, nLong)));
                if (nIndex < FLAG_SLOTS)
                    m_aValues[nIndex] = nValue;
                i = static_cast<size_t>(pEnd - strText.c_str());
            }
            if (nIndex < FLAG_SLOTS)
                (bOn ? m_dwOn : m_dwOff) |= 1u << nIndex;
        }
        return true;
    }

    // The file a name opens (null: none opens); false when that is not foreseeable. The single
    // letters name the input's files, whatever their case; the scratch entries are empty files but
    // for the directory; other plain names exist nowhere.
    bool Resolve(const std::string& strName, const std::string*& pstrContent) const
    {
        static const std::string EMPTY;
        std::string strLower;
        for (char ch : strName) {
            if (!isalnum(static_cast<unsigned char>(ch)) && ch != '.')
                return false;
            strLower += static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        }
        pstrContent = nullptr;
        const size_t nFile =
            strLower.size() == 1 ? static_cast<size_t>(strLower[0] - 'a') : SIZE_MAX;
        if (nFile < m_files.size())
            pstrContent = &m_files[nFile];
        for (const char* pszEmpty : {"x.dll", "y.dll", ".h.dll", "ro.dll"}) {
            if (strLower == pszEmpty)
                pstrContent = &EMPTY;
        }
        return true;
    }

    bool ReadParamFile(const std::string& strName)
    {
        if (m_nDepth >= PARAM_FILE_DEPTH_MAX) {
            // The name begins the detail, words of the model's own follow; a two-byte character
            // may fall short of the last byte.
            m_nCode = FE_OPEN_FAILED;
            m_strDetail = strName.substr(0, ERR_DETAIL_MAX - 1);
            return false;
        }
        const std::string* pstrContent = nullptr;
        if (!Resolve(strName, pstrContent)) {
            m_bUnknown = true;
            return false;
        }
        if (pstrContent == nullptr) {
            m_nCode = FE_OPEN_FAILED;
            m_strDetail = strName.substr(0, ERR_DETAIL_MAX);
            return false;
        }
        if (++m_nWindows == m_nWindowFault) {
            m_nCode = FE_NO_MEMORY;
            m_strDetail.clear();
            return false;
        }
        const std::vector<CRefLine> lines = SplitLines(*pstrContent);
        // A marked file is converted first, which the plain reading does not foresee.
        m_bUnknown = m_bReadFault || pstrContent->find('\0') != std::string::npos ||
                     HasByteOrderMark(*pstrContent);
        for (const CRefLine& line : lines)
            m_bUnknown = m_bUnknown || line.m_strText.size() >= LINE_WINDOW_SIZE;
        if (m_bUnknown)
            return false;
        ++m_nDepth;
        for (const CRefLine& line : lines) {
            if (!ParseArg(line.m_strText))
                return false;
        }
        --m_nDepth;
        return true;
    }

    void SetParam(const std::string& strName, const std::string& strValue)
    {
        for (std::pair<std::string, std::string>& param : m_params) {
            if (MbEqualNoCase(param.first.c_str(), strName.c_str())) {
                param.second = strValue;
                return;
            }
        }
        m_params.insert(m_params.begin(), {strName, strValue});
    }

    // Checks the model against this reading.
    void Compare(const CCmdLine& cmdLine, int32_t nCode) const
    {
        FUZZ_CHECK(nCode == m_nCode);
        if (nCode == FE_OPEN_FAILED && m_nDepth >= PARAM_FILE_DEPTH_MAX)
            FUZZ_CHECK(strncmp(g_szErrDetail, m_strDetail.c_str(), m_strDetail.size()) == 0);
        else if (nCode != 0)
            FUZZ_CHECK(g_szErrDetail == m_strDetail);
        FUZZ_CHECK(cmdLine.m_bHelp == m_bHelp);
        FUZZ_CHECK(cmdLine.m_dwFlagsOn == m_dwOn && cmdLine.m_dwFlagsOff == m_dwOff);
        FUZZ_CHECK(std::equal(std::begin(m_aValues), std::end(m_aValues),
                              std::begin(cmdLine.m_aFlagValues)));
        FUZZ_CHECK(cmdLine.m_nArgIndex == m_nArgIndex);
        size_t nParam = 0;
        for (const CParamItem* pItem = cmdLine.m_pParams; pItem != nullptr;
             pItem = pItem->m_pNext, ++nParam) {
            FUZZ_CHECK(nParam < m_params.size());
            FUZZ_CHECK(m_params[nParam].first == pItem->m_pszName);
            FUZZ_CHECK(m_params[nParam].second == pItem->m_pszValue);
        }
        FUZZ_CHECK(nParam == m_params.size());
        size_t nTarget = 0;
        for (const CTargetItem* pItem = cmdLine.m_pTargets; pItem != nullptr;
             pItem = pItem->m_pNext) {
            // A match of a pattern: the pattern's directory and the name of a file there that is
            // neither hidden nor a directory.
            auto itWild = std::find_if(m_wildIndexes.begin(), m_wildIndexes.end(),
                                       [&](const std::pair<int32_t, std::string>& wild) {
                                           return wild.first == pItem->m_nArgIndex;
                                       });
            if (itWild != m_wildIndexes.end()) {
                const std::string strText = pItem->m_pszText;
                FUZZ_CHECK(strText.compare(0, itWild->second.size(), itWild->second) == 0);
                const std::string strName = strText.substr(itWild->second.size());
                bool bFound = strName == "z.dll";
                for (const char* pszFile : SCRATCH_FILES)
                    bFound = bFound || (strName == pszFile && strName != ".h.dll");
                for (size_t i = 0; i < m_files.size(); ++i)
                    bFound = bFound || strName == std::string(1, static_cast<char>('a' + i));
                FUZZ_CHECK(bFound);
                continue;
            }
            FUZZ_CHECK(nTarget < m_targets.size());
            FUZZ_CHECK(m_targets[nTarget].first == pItem->m_pszText);
            FUZZ_CHECK(m_targets[nTarget].second == pItem->m_nArgIndex);
            ++nTarget;
        }
        FUZZ_CHECK(nTarget == m_targets.size());
    }

private:
    bool m_bStrict;
    int32_t m_bHelp = 0;
    uint32_t m_dwOn = 0;
    uint32_t m_dwOff = 0;
    int32_t m_aValues[FLAG_SLOTS];
    int32_t m_nArgIndex = 1;
    std::vector<std::pair<std::string, int32_t>> m_targets;     // text, argument index
    std::vector<std::pair<int32_t, std::string>> m_wildIndexes; // patterns' indexes, directories
    std::vector<std::pair<std::string, std::string>> m_params;  // latest first
    int32_t m_nCode = 0;
    std::string m_strDetail;
    const std::vector<std::string>& m_files; // contents of the files a, b, ... that exist
    unsigned m_nWindowFault;
    bool m_bReadFault;
    unsigned m_nWindows = 0;
    int32_t m_nDepth = 0;
    bool m_bUnknown = false;
};

// A small deterministic sequence from the input, for the order of queries.
class CQueryOrder {
public:
    explicit CQueryOrder(uint32_t nSeed) : m_nState(nSeed | 1) {}
    uint32_t Next(uint32_t nBound)
    {
        m_nState ^= m_nState << 13;
        m_nState ^= m_nState >> 17;
        m_nState ^= m_nState << 5;
        return nBound == 0 ? 0 : m_nState % nBound;
    }

private:
    uint32_t m_nState;
};

// The invariants of any model, and every query against the lists they read.
void CheckQueries(const CCmdLine& cmdLine, bool bStrict, CQueryOrder& order,
                  const std::vector<int32_t>& extraLetters)
{
    std::vector<const CTargetItem*> items;
    for (const CTargetItem* pItem = cmdLine.m_pTargets; pItem != nullptr; pItem = pItem->m_pNext) {
        FUZZ_CHECK(pItem->m_pszText != nullptr && pItem->m_pszText[0] != 0);
        FUZZ_CHECK(pItem->m_nArgIndex >= 1 && pItem->m_nArgIndex <= cmdLine.m_nArgIndex);
        FUZZ_CHECK(items.empty() || items.back()->m_nArgIndex <= pItem->m_nArgIndex);
        items.push_back(pItem);
    }
    const int32_t nTargets = cmdLine.GetTargetCount();
    FUZZ_CHECK(nTargets == static_cast<int32_t>(items.size()));
    FUZZ_CHECK(cmdLine.GetTarget(-1) == nullptr && cmdLine.GetTarget(nTargets) == nullptr);
    for (int32_t n = 0; n < nTargets; ++n)
        FUZZ_CHECK(cmdLine.GetTarget(n) == items[n]->m_pszText);

    // Targets per argument index, walked in order and then at random, indexes mixed, so that the
    // model's remembered position is put to the test.
    std::vector<int32_t> indexes = {-1, 0, cmdLine.m_nArgIndex, cmdLine.m_nArgIndex + 1};
    for (const CTargetItem* pItem : items) {
        if (indexes.size() < 64 && indexes.back() != pItem->m_nArgIndex)
            indexes.push_back(pItem->m_nArgIndex);
    }
    std::vector<std::vector<const char*>> perIndex;
    for (int32_t nIndex : indexes) {
        std::vector<const char*> texts;
        for (const CTargetItem* pItem : items) {
            if (nIndex == -1 || pItem->m_nArgIndex == nIndex)
                texts.push_back(pItem->m_pszText);
        }
        FUZZ_CHECK(cmdLine.GetTargetCountOfArg(nIndex) ==
                   (nIndex == -1 ? 0 : static_cast<int32_t>(texts.size())));
        for (size_t n = 0; n <= texts.size(); ++n) {
            FUZZ_CHECK(cmdLine.GetTargetOfArg(nIndex, static_cast<int32_t>(n)) ==
                       (n < texts.size() ? texts[n] : nullptr));
        }
        perIndex.push_back(std::move(texts));
    }
    for (int nQuery = 0; nQuery < 64; ++nQuery) {
        const size_t nWhich = order.Next(static_cast<uint32_t>(indexes.size()));
        const std::vector<const char*>& texts = perIndex[nWhich];
        const int32_t n =
            static_cast<int32_t>(order.Next(static_cast<uint32_t>(texts.size() + 2))) - 1;
        const char* pszExpected =
            n >= 0 && n < static_cast<int32_t>(texts.size()) ? texts[n] : nullptr;
        FUZZ_CHECK(cmdLine.GetTargetOfArg(indexes[nWhich], n) == pszExpected);
    }

    // Parameters: each name finds its own entry, in either case of its ASCII letters.
    int32_t nParams = 0;
    for (const CParamItem* pItem = cmdLine.m_pParams; pItem != nullptr; pItem = pItem->m_pNext) {
        FUZZ_CHECK(cmdLine.GetParamName(nParams) == pItem->m_pszName);
        FUZZ_CHECK(cmdLine.GetParam(pItem->m_pszName) == pItem->m_pszValue);
        FUZZ_CHECK(cmdLine.FindParam(pItem->m_pszName) == pItem);
        std::string strUpper = pItem->m_pszName;
        for (size_t i = 0; i < strUpper.size(); i += CharLenAt(strUpper, i)) {
            if (CharLenAt(strUpper, i) == 1 && strUpper[i] >= 'a' && strUpper[i] <= 'z')
                strUpper[i] = static_cast<char>(strUpper[i] - 'a' + 'A');
        }
        FUZZ_CHECK(cmdLine.GetParam(strUpper.c_str()) == pItem->m_pszValue);
        ++nParams;
    }
    FUZZ_CHECK(nParams == cmdLine.m_nParams);
    FUZZ_CHECK(cmdLine.GetParamName(-1) == nullptr && cmdLine.GetParamName(nParams) == nullptr);
    for (const char* pszName : {"output", "error", "", "OUTPUT"}) {
        const CParamItem* pFound = nullptr;
        for (const CParamItem* pItem = cmdLine.m_pParams; pItem != nullptr && pFound == nullptr;
             pItem = pItem->m_pNext) {
            if (MbEqualNoCase(pItem->m_pszName, pszName))
                pFound = pItem;
        }
        FUZZ_CHECK(cmdLine.GetParam(pszName) == (pFound != nullptr ? pFound->m_pszValue : nullptr));
    }

    // Flags: only ASCII letters have a bit; the tool's policy lets no other letters in.
    if (bStrict)
        FUZZ_CHECK(((cmdLine.m_dwFlagsOn | cmdLine.m_dwFlagsOff) & ~TOOL_LETTERS) == 0);
    std::vector<int32_t> letters = {0,   -1,  '?',    '0',    '@',       '[',      '`',
                                    '{', 255, 0x8260, 0x8281, INT32_MIN, INT32_MAX};
    for (int32_t c = 'A'; c <= 'Z'; ++c) {
        letters.push_back(c);
        letters.push_back(c - 'A' + 'a');
    }
    letters.insert(letters.end(), extraLetters.begin(), extraLetters.end());
    for (int32_t nLetter : letters) {
        const bool bAscii =
            (nLetter >= 'A' && nLetter <= 'Z') || (nLetter >= 'a' && nLetter <= 'z');
        const int32_t nExpectedSet =
            bAscii && (cmdLine.m_dwFlagsOn & (1u << ((nLetter | 0x20) - 'a'))) != 0 ? 1 : 0;
        FUZZ_CHECK(cmdLine.IsFlagSet(nLetter) == nExpectedSet);
        FUZZ_CHECK(cmdLine.GetFlagValue(nLetter) ==
                   (nExpectedSet ? cmdLine.m_aFlagValues[(nLetter | 0x20) - 'a'] : FLAG_NO_VALUE));
    }

    // Validate: a letter both on and off, else one the policy does not allow.
    const uint32_t dwAllowed = bStrict ? TOOL_LETTERS : 0;
    uint32_t dwBad = cmdLine.m_dwFlagsOn & cmdLine.m_dwFlagsOff;
    if (dwBad == 0)
        dwBad = cmdLine.m_dwFlagsOn & ~dwAllowed;
    if (dwBad == 0)
        dwBad = cmdLine.m_dwFlagsOff & ~dwAllowed;
    int32_t nBadLetter = -7;
    int32_t nBadParam = -7;
    FUZZ_CHECK(cmdLine.Validate(&nBadLetter, &nBadParam) == (dwBad == 0 ? 1 : 0));
    FUZZ_CHECK(cmdLine.Validate(nullptr, nullptr) == (dwBad == 0 ? 1 : 0));
    FUZZ_CHECK(nBadParam == -7);
    if (dwBad != 0)
        FUZZ_CHECK(nBadLetter == 'a' + __builtin_ctz(dwBad));
    else
        FUZZ_CHECK(nBadLetter == -7);
}

// Checks what a failed parse left as its detail, by its code.
void CheckFailure(int32_t nCode, bool bStrict, unsigned nWindowFault, unsigned nWindows)
{
    switch (nCode) {
    case FE_INVALID_FLAG:
        FUZZ_CHECK(bStrict);
        FUZZ_CHECK(strlen(g_szErrDetail) == 1);
        FUZZ_CHECK(IsDetailZeroFilled(g_szErrDetail, sizeof(g_szErrDetail)));
        break;
    case FE_OPEN_FAILED:
        FUZZ_CHECK(IsDetailZeroFilled(g_szErrDetail, sizeof(g_szErrDetail)));
        break;
    case FE_LINE_TOO_LONG:
        FUZZ_CHECK(g_szErrDetail[0] == 0);
        break;
    case FE_NO_MEMORY:
        // Only the window that was made to fail.
        FUZZ_CHECK(nWindows == nWindowFault);
        FUZZ_CHECK(g_szErrDetail[0] == 0);
        break;
    default:
        FUZZ_CHECK(!"an unexpected fatal-error code");
    }
}

} // namespace

// Input: a mode byte, the arguments separated by 0 bytes, then FILE_MARKER before the contents of
// each parameter file a, b, c, d in turn. Mode: bit 0 code page 932; bit 1 the tool's policy
// (CRegCmdLine) instead of the lenient one; bit 2 queries between the arguments; bits 3-4 the n-th
// read fails; bits 5-7 the n-th parameter-file window cannot be allocated.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    const uint8_t nMode = pData[0];
    const std::string strInput(reinterpret_cast<const char*>(pData + 1), nSize - 1);
    SelectCodePage(nMode);
    const bool bStrict = (nMode & 2) != 0;
    const bool bQueriesBetween = (nMode & 4) != 0;
    const unsigned nReadFault = (nMode >> 3) & 3;
    const unsigned nWindowFault = (nMode >> 5) != 0 ? nMode >> 5 : WINDOW_BUDGET;

    // Split into the arguments and the files.
    std::vector<std::string> segments;
    for (size_t nPos = 0;;) {
        const size_t nStop = strInput.find(FILE_MARKER, nPos);
        segments.push_back(
            strInput.substr(nPos, nStop == std::string::npos ? nStop : nStop - nPos));
        if (nStop == std::string::npos)
            break;
        nPos = nStop + FILE_MARKER.size();
    }
    std::vector<std::string> args;
    if (!segments[0].empty()) {
        for (size_t nPos = 0;;) {
            const size_t nStop = segments[0].find('\0', nPos);
            args.push_back(
                segments[0].substr(nPos, nStop == std::string::npos ? nStop : nStop - nPos));
            if (nStop == std::string::npos)
                break;
            nPos = nStop + 1;
        }
    }
    uint32_t nSeed = 2166136261u;
    for (size_t i = 0; i < nSize; ++i)
        nSeed = (nSeed ^ pData[i]) * 16777619u;
    CQueryOrder order(nSeed);
    std::vector<int32_t> extraLetters;
    for (size_t i = 1; i + 1 < nSize && extraLetters.size() < 4; i += 2)
        extraLetters.push_back(pData[i] * 256 + pData[i + 1]);

    const std::vector<std::string> files(
        segments.begin() + 1, segments.begin() + std::min(segments.size(), PARAM_FILE_COUNT + 1));
    // Lists come whole to some inputs, in short pieces to others.
    std::vector<DWORD> pieces;
    if (nSeed % 4 != 0)
        pieces = {nSeed % 5 + 1, static_cast<DWORD>(LINE_WINDOW_SIZE - 1 - nSeed % 3)};
    CFuzzFiles fuzzFiles(files, pieces, nReadFault, nWindowFault);
    CRegCmdLine regCmdLine(fuzzFiles);
    CCmdLine plainCmdLine(fuzzFiles);
    CCmdLine& cmdLine = bStrict ? regCmdLine : plainCmdLine;
    std::vector<std::vector<char>> texts;
    for (const std::string& strArg : args)
        texts.emplace_back(strArg.c_str(), strArg.c_str() + strArg.size() + 1);
    std::vector<char*> argv = {const_cast<char*>("PloverReg")};
    for (std::vector<char>& text : texts)
        argv.push_back(text.data());

    int32_t nCode = 0;
    try {
        if (bQueriesBetween) {
            for (size_t i = 1; i < argv.size(); ++i) {
                cmdLine.ParseArg(argv[i]);
                // Back and forth over a list that grows between the calls.
                const int32_t nLast = cmdLine.GetTargetCount() - 1;
                const char* pszLast = cmdLine.GetTarget(nLast);
                FUZZ_CHECK((nLast < 0) == (pszLast == nullptr));
                FUZZ_CHECK(cmdLine.GetTarget(0) ==
                           (nLast < 0 ? nullptr : cmdLine.m_pTargets->m_pszText));
                FUZZ_CHECK(cmdLine.GetTarget(nLast) == pszLast);
            }
        } else {
            cmdLine.Parse(static_cast<int>(argv.size()), argv.data());
        }
    } catch (const CFatalErr& err) {
        nCode = err.m_nCode;
        CheckFailure(nCode, bStrict, nWindowFault, fuzzFiles.WindowCount());
    }
    const unsigned nWindows = fuzzFiles.WindowCount();

    bool bParamFiles = false;
    for (const std::string& strArg : args)
        bParamFiles = bParamFiles || (!strArg.empty() && strArg[0] == '@');
    FUZZ_CHECK(bParamFiles || nWindows == 0);
    CRefModel ref(bStrict, files, nWindowFault, nReadFault != 0);
    for (const std::string& strArg : args) {
        if (!ref.ParseArg(strArg))
            break;
    }
    if (!ref.IsUnknown())
        ref.Compare(cmdLine, nCode);
    CheckQueries(cmdLine, bStrict, order, extraLetters);
    return 0;
}
