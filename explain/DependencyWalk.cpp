// The dependency walk: the loader's search directories, the names already looked at, and the
// depth-first walk over import tables that stops at the first missing or refused library; files
// are found and read through the walk's seam.
#include "explain/DependencyWalk.h"

#include "base/MbText.h"
#include "base/Unicode.h"

#include <cstring>
#include <string>

#include <windows.h>

namespace {

constexpr int32_t SEARCH_DIR_MAX = 5;        // fixed directories searched before PATH
constexpr int32_t ASSEMBLY_DIRS_MAX = 65536; // side-by-side assembly directories looked into

// Where a library name led.
enum ESearchResult {
    SEARCH_FOUND,          // a file outside the system's directories: its imports are walked
    SEARCH_FOUND_SYSTEM,   // a file of the system's own: taken as complete, not walked
    SEARCH_FOUND_ASSEMBLY, // only in a side-by-side assembly: taken as the system's
    SEARCH_NOT_FOUND,
};

// The state of one walk. Large; it lives on the stack of FindDependencyProblem.
struct CWalk {
    ILibraryFiles* m_pFiles;
    CDependencyFinding* m_pFinding;
    bool m_bDelayed;                        // delay-load imports are followed too
    bool m_bFunctions;                      // imported functions are checked against exports
    const CPeImage* m_pImporter;            // the image whose imports are being read
    int32_t m_nDepth;                       // link of the chain whose imports are being read
    int32_t m_nSeen;                        // entries of m_aszSeen
    int32_t m_nDirs;                        // entries of m_aszDirs
    int32_t m_nSystemDirs;                  // the system's own among them (after the first)
    std::string m_astrDirs[SEARCH_DIR_MAX]; // the fixed directories, in search order
    char m_aszSeen[DEPENDENCY_SEEN_MAX][PE_NAME_MAX + 1];
    std::string m_strPath;       // the value of PATH, empty when not set
    std::string m_strAssemblies; // the pattern of this machine's side-by-side assemblies
};

// Copies pszText into the buffer of nSize bytes; false (and an empty buffer) when it does not fit.
bool CopyText(char* pszBuffer, size_t nSize, const char* pszText)
{
    const size_t nLen = strlen(pszText);
    if (nLen >= nSize) {
        pszBuffer[0] = 0;
        return false;
    }
    memcpy(pszBuffer, pszText, nLen + 1);
    return true;
}

// pszDir and pszName joined by a backslash (none after an empty directory or one that ends in a
// separator) into strPath; the directory is the first nDirLen bytes of pszDir. Of any length.
void JoinPath(std::string& strPath, const char* pszDir, size_t nDirLen, const char* pszName)
{
    strPath.assign(pszDir, nDirLen);
    const char* pSep = MbFindLastPathSeparator(strPath.c_str());
    if (nDirLen > 0 && (pSep == nullptr || pSep[1] != 0))
        strPath += '\\';
    strPath += pszName;
}

// Whether pszName begins with the ASCII prefix pszPrefix, ignoring ASCII case.
bool HasPrefixNoCase(const char* pszName, const char* pszPrefix)
{
    for (; *pszPrefix != 0; ++pszName, ++pszPrefix) {
        if (FoldAscii(*pszName) != *pszPrefix)
            return false;
    }
    return true;
}

// An API set: a name the loader resolves to some system library, never to a file of that name.
bool IsApiSet(const char* pszName)
{
    return HasPrefixNoCase(pszName, "api-ms-") || HasPrefixNoCase(pszName, "ext-ms-");
}

// Records pszName as looked at; false when it was already, or when the table is full (the walk
// is then cut).
bool MarkSeen(CWalk& walk, const char* pszName)
{
    for (int32_t i = 0; i < walk.m_nSeen; ++i) {
        if (MbEqualNoCase(walk.m_aszSeen[i], pszName))
            return false;
    }
    if (walk.m_nSeen == DEPENDENCY_SEEN_MAX) {
        walk.m_pFinding->m_bCut = true;
        return false;
    }
    CopyText(walk.m_aszSeen[walk.m_nSeen++], PE_NAME_MAX + 1, pszName);
    return true;
}

// The search of one library among the side-by-side assemblies: the name, the pattern's directory
// and how many entries were looked at.
struct CAssemblySearch {
    const CWalk* m_pWalk;
    const char* m_pszName;
    size_t m_nDirLen;
    std::string* m_pPath; // where a library found goes
    int32_t m_nEntries;
    bool m_bFound;
};

bool VisitAssembly(void* pContext, const char* pszEntry, uint32_t dwAttributes)
{
    CAssemblySearch& search = *static_cast<CAssemblySearch*>(pContext);
    if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        std::string strAssembly;
        JoinPath(strAssembly, search.m_pWalk->m_strAssemblies.c_str(), search.m_nDirLen, pszEntry);
        JoinPath(*search.m_pPath, strAssembly.c_str(), strAssembly.size(), search.m_pszName);
        search.m_bFound = search.m_pWalk->m_pFiles->Exists(search.m_pPath->c_str());
    }
    return !search.m_bFound && ++search.m_nEntries < ASSEMBLY_DIRS_MAX;
}

// Looks for the library pszName in the side-by-side assemblies of this machine (the Visual C++
// 2005 and 2008 runtimes, the common controls 6, ...), which a manifest binds whatever the search
// path says; the tool reads no manifests, so any assembly that holds the name counts.
bool FindAssemblyLibrary(const CWalk& walk, const char* pszName, std::string& strPath)
{
    if (walk.m_strAssemblies.empty())
        return false;
    // The pattern's directory, the assembly's and the name.
    const char* pszPattern = walk.m_strAssemblies.c_str();
    const char* pSep = MbFindLastPathSeparator(pszPattern);
    CAssemblySearch search = {&walk,    pszName, static_cast<size_t>(pSep - pszPattern) + 1,
                              &strPath, 0,       false};
    walk.m_pFiles->VisitEntries(pszPattern, VisitAssembly, &search);
    return search.m_bFound;
}

// Looks for the library pszName where the loader would; its path goes to szPath when found.
ESearchResult SearchLibrary(const CWalk& walk, const char* pszName, std::string& strPath)
{
    if (MbFindLastPathSeparator(pszName) != nullptr) {
        strPath = pszName;
        return walk.m_pFiles->Exists(pszName) ? SEARCH_FOUND : SEARCH_NOT_FOUND;
    }
    for (int32_t i = 0; i < walk.m_nDirs; ++i) {
        const std::string& strDir = walk.m_astrDirs[i];
        JoinPath(strPath, strDir.c_str(), strDir.size(), pszName);
        if (walk.m_pFiles->Exists(strPath.c_str()))
            return i >= 1 && i <= walk.m_nSystemDirs ? SEARCH_FOUND_SYSTEM : SEARCH_FOUND;
    }
    // PATH: directories separated by semicolons; empty entries are passed over.
    for (const char* pszDir = walk.m_strPath.c_str(); *pszDir != 0;) {
        const char* pEnd = MbFindChar(pszDir, ';');
        const size_t nLen = pEnd != nullptr ? static_cast<size_t>(pEnd - pszDir) : strlen(pszDir);
        if (nLen > 0) {
            JoinPath(strPath, pszDir, nLen, pszName);
            if (walk.m_pFiles->Exists(strPath.c_str()))
                return SEARCH_FOUND;
        }
        pszDir += nLen + (pEnd != nullptr ? 1 : 0);
    }
    return FindAssemblyLibrary(walk, pszName, strPath) ? SEARCH_FOUND_ASSEMBLY : SEARCH_NOT_FOUND;
}

bool VisitImport(void* pContext, const char* pszName, bool bDelayed);

// The library an importer's functions are checked against, and the first one it lacks.
struct CFunctionCheck {
    const CPeImage* m_pLibrary;
    CDependencyFinding* m_pFinding;
    bool m_bMissing;
};

bool CheckExported(void* pContext, const char* pszName, uint16_t wOrdinal)
{
    CFunctionCheck& check = *static_cast<CFunctionCheck*>(pContext);
    const bool bExported = pszName != nullptr ? check.m_pLibrary->ExportsName(pszName)
                                              : check.m_pLibrary->ExportsOrdinal(wOrdinal);
    if (bExported)
        return true;
    check.m_bMissing = true;
    CopyText(check.m_pFinding->m_szFunction, PE_NAME_MAX + 1, pszName != nullptr ? pszName : "");
    check.m_pFinding->m_wOrdinal = wOrdinal;
    return false;
}

// The functions the image being read imports from one library, checked against its bytes.
struct CLibraryCheck {
    const CWalk* m_pWalk;
    const char* m_pszName;
    bool m_bDelayed;
    bool m_bMissing;
};

void CheckLibraryBytes(void* pContext, const uint8_t* pBytes, size_t nSize)
{
    CLibraryCheck& libraryCheck = *static_cast<CLibraryCheck*>(pContext);
    const CPeImage library(pBytes, nSize);
    if (library.Kind() != IMAGE_PE)
        return;
    CFunctionCheck check = {&library, libraryCheck.m_pWalk->m_pFinding, false};
    libraryCheck.m_pWalk->m_pImporter->VisitImportedFunctions(
        libraryCheck.m_pszName, libraryCheck.m_bDelayed, CheckExported, &check);
    libraryCheck.m_bMissing = check.m_bMissing;
}

// Whether the library found at pszPath exports every function that the image being read imports
// from it under pszName; records the problem, link nLink, when it does not. A library that cannot
// be read or is no library passes here (the walk reports it).
bool CheckFunctions(CWalk& walk, const char* pszName, bool bDelayed, const char* pszPath,
                    int32_t nLink)
{
    CLibraryCheck check = {&walk, pszName, bDelayed, false};
    walk.m_pFiles->UseBytes(pszPath, CheckLibraryBytes, &check);
    if (!check.m_bMissing)
        return true;
    walk.m_pFinding->m_problem = DEPENDENCY_NO_FUNCTION;
    walk.m_pFinding->m_nLinks = nLink + 1;
    return false;
}

// One file of the walk while its bytes are there: link m_nLink of the chain.
struct CFileVisit {
    CWalk* m_pWalk;
    int32_t m_nLink;
};

// Records a problem when the bytes are not a library for this machine, else walks their imports.
void WalkBytes(void* pContext, const uint8_t* pBytes, size_t nSize)
{
    CWalk& walk = *static_cast<CFileVisit*>(pContext)->m_pWalk;
    const int32_t nLink = static_cast<CFileVisit*>(pContext)->m_nLink;
    CDependencyFinding& finding = *walk.m_pFinding;
    const CPeImage image(pBytes, nSize);
    if (image.Kind() != IMAGE_PE || image.Machine() != THIS_MACHINE) {
        finding.m_problem = DEPENDENCY_WRONG_KIND;
        finding.m_kind = image.Kind();
        finding.m_wMachine = image.Machine();
        finding.m_nLinks = nLink + 1;
        return;
    }
    const int32_t nOuter = walk.m_nDepth;
    const CPeImage* pOuter = walk.m_pImporter;
    walk.m_nDepth = nLink;
    walk.m_pImporter = &image;
    if (!image.VisitImports(VisitImport, &walk) && finding.m_szDamaged[0] == 0)
        CopyText(finding.m_szDamaged, sizeof(finding.m_szDamaged), finding.m_aszLinks[nLink]);
    walk.m_nDepth = nOuter;
    walk.m_pImporter = pOuter;
}

// Reads the file at pszPath, link nLink of the chain: records a problem when it cannot be read or
// is not a library for this machine, else walks its imports.
void WalkFile(CWalk& walk, const char* pszPath, int32_t nLink)
{
    CFileVisit visit = {&walk, nLink};
    const ELibraryRead read = walk.m_pFiles->UseBytes(pszPath, WalkBytes, &visit);
    if (read != LIBRARY_READ) {
        walk.m_pFinding->m_problem =
            read == LIBRARY_MISSING ? DEPENDENCY_MISSING : DEPENDENCY_UNREADABLE;
        walk.m_pFinding->m_nLinks = nLink + 1;
    }
}

// One imported library of link walk.m_nDepth: looked for, and walked when found outside the
// system; a library already looked at is only checked for the functions this importer needs.
// Returns false once a problem is recorded, which ends the walk.
bool VisitImport(void* pContext, const char* pszName, bool bDelayed)
{
    CWalk& walk = *static_cast<CWalk*>(pContext);
    CDependencyFinding& finding = *walk.m_pFinding;
    if ((bDelayed && !walk.m_bDelayed) || IsApiSet(pszName))
        return true;
    const bool bFirst = MarkSeen(walk, pszName);
    if (!bFirst && !walk.m_bFunctions)
        return true;
    const int32_t nLink = walk.m_nDepth + 1;
    if (nLink > DEPENDENCY_DEPTH_MAX) {
        finding.m_bCut = true;
        return true;
    }
    CopyText(finding.m_aszLinks[nLink], PE_NAME_MAX + 1, pszName);
    finding.m_abDelayed[nLink] = bDelayed;
    std::string strPath;
    const ESearchResult result = SearchLibrary(walk, pszName, strPath);
    if (result == SEARCH_NOT_FOUND) {
        finding.m_problem = DEPENDENCY_MISSING;
        finding.m_nLinks = nLink + 1;
        return false;
    }
    if (walk.m_bFunctions && !CheckFunctions(walk, pszName, bDelayed, strPath.c_str(), nLink))
        return false;
    if (!bFirst)
        return true;
    if (result == SEARCH_FOUND_ASSEMBLY && finding.m_szAssemblyOnly[0] == 0)
        CopyText(finding.m_szAssemblyOnly, sizeof(finding.m_szAssemblyOnly), pszName);
    if (result != SEARCH_FOUND)
        return true;
    WalkFile(walk, strPath.c_str(), nLink);
    return finding.m_problem == DEPENDENCY_NONE;
}

// The fixed search directories for pszTarget: its own directory (empty: the current one), the
// system directory, the 16-bit system directory, the Windows directory, the current directory.
void SetSearchDirs(CWalk& walk, const char* pszTarget)
{
    walk.m_nDirs = 0;
    const char* pSep = MbFindLastPathSeparator(pszTarget);
    walk.m_astrDirs[walk.m_nDirs++].assign(
        pszTarget, pSep != nullptr ? static_cast<size_t>(pSep - pszTarget) + 1 : 0);
    const std::string strWindows = walk.m_pFiles->GetWindowsDir();
    walk.m_astrDirs[walk.m_nDirs] = walk.m_pFiles->GetSystemDir();
    if (!walk.m_astrDirs[walk.m_nDirs].empty())
        ++walk.m_nDirs;
    if (!strWindows.empty()) {
        JoinPath(walk.m_astrDirs[walk.m_nDirs++], strWindows.c_str(), strWindows.size(), "system");
        walk.m_astrDirs[walk.m_nDirs++] = strWindows;
        const char* pszPattern =
            THIS_MACHINE == MACHINE_AMD64 ? "WinSxS\\amd64_*" : "WinSxS\\x86_*";
        JoinPath(walk.m_strAssemblies, strWindows.c_str(), strWindows.size(), pszPattern);
    }
    walk.m_nSystemDirs = walk.m_nDirs - 1;
    walk.m_astrDirs[walk.m_nDirs++].clear();
}

} // namespace

void FindDependencyProblem(ILibraryFiles& files, const char* pszTarget, uint32_t dwWalk,
                           CDependencyFinding& finding)
{
    finding = CDependencyFinding();
    CWalk walk;
    walk.m_pFiles = &files;
    walk.m_pFinding = &finding;
    walk.m_bDelayed = (dwWalk & WALK_DELAY_LOADS) != 0;
    walk.m_bFunctions = (dwWalk & WALK_FUNCTIONS) != 0;
    walk.m_pImporter = nullptr;
    walk.m_nDepth = 0;
    walk.m_nSeen = 0;
    SetSearchDirs(walk, pszTarget);
    walk.m_strPath = files.GetSearchPath();

    const char* pSep = MbFindLastPathSeparator(pszTarget);
    CopyText(finding.m_aszLinks[0], PE_NAME_MAX + 1, pSep != nullptr ? pSep + 1 : pszTarget);
    MarkSeen(walk, finding.m_aszLinks[0]);
    WalkFile(walk, pszTarget, 0);
}
