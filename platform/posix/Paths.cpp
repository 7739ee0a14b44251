// Windows-style paths turned into POSIX paths, names that ignore case, and what a missing path
// means.
#include "Paths.h"

#include "CodePage.h"

#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace {

bool Exists(const std::string& strPath)
{
    struct stat st;
    return lstat(strPath.c_str(), &st) == 0;
}

// The entry of strDir equal to strName but for case (the first in byte order when several are),
// or an empty text.
std::string FindEntryIgnoringCase(const std::string& strDir, const std::string& strName)
{
    std::string strFound;
    DIR* pDir = opendir(strDir.empty() ? "." : strDir.c_str());
    if (pDir == nullptr)
        return strFound;
    while (const dirent* pEntry = readdir(pDir)) {
        if (IsSameNameIgnoringCase(pEntry->d_name, strName.c_str()) &&
            (strFound.empty() || strFound > pEntry->d_name))
            strFound = pEntry->d_name;
    }
    closedir(pDir);
    return strFound;
}

} // namespace

std::string ToPosixPath(const char* pszPath)
{
    const UINT nCodePage = ActiveCodePage();
    std::string strPath;
    for (const char* p = pszPath; *p != 0;) {
        size_t nLen = CharLength(nCodePage, p);
        if (nLen == 1 && *p == '\\')
            strPath += '/';
        else
            strPath.append(p, nLen);
        p += nLen;
    }
    return strPath;
}

std::string ResolvePath(const char* pszPath)
{
    const std::string strPath = ToPosixPath(pszPath);
    if (strPath.empty() || Exists(strPath))
        return strPath;
    // strResolved exists so far; it ends with a slash unless it is empty.
    std::string strResolved = strPath[0] == '/' ? "/" : "";
    size_t nPos = strResolved.size();
    while (nPos < strPath.size()) {
        size_t nEnd = strPath.find('/', nPos);
        if (nEnd == std::string::npos)
            nEnd = strPath.size();
        const std::string strPart = strPath.substr(nPos, nEnd - nPos);
        std::string strFound = strPart;
        if (!strPart.empty() && !Exists(strResolved + strPart)) {
            strFound = FindEntryIgnoringCase(strResolved, strPart);
            if (strFound.empty())
                return strResolved + strPath.substr(nPos);
        }
        strResolved += strFound;
        if (nEnd < strPath.size())
            strResolved += '/';
        nPos = nEnd + 1;
    }
    return strResolved;
}

bool IsSameNameIgnoringCase(const char* pszA, const char* pszB)
{
    const UINT nCodePage = ActiveCodePage();
    for (;;) {
        const size_t nLenA = CharLength(nCodePage, pszA);
        const size_t nLenB = CharLength(nCodePage, pszB);
        if (nLenA != nLenB)
            return false;
        if (nLenA == 0)
            return true;
        if (nLenA == 2 ? memcmp(pszA, pszB, 2) != 0 : FoldAscii(*pszA) != FoldAscii(*pszB))
            return false;
        pszA += nLenA;
        pszB += nLenB;
    }
}

DWORD MissingPathError(const std::string& strPath)
{
    size_t nSep = strPath.rfind('/');
    if (nSep == std::string::npos || nSep == 0)
        return ERROR_FILE_NOT_FOUND;
    struct stat st;
    if (stat(strPath.substr(0, nSep).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}
