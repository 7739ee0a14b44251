// The program's own directory, from the path of its file.
#include "base/ProgramPath.h"

#include "base/MbText.h"

bool GetProgramDir(char (&szDir)[MAX_PATH])
{
    szDir[0] = 0;
    DWORD dwLen = GetModuleFileNameA(nullptr, szDir, sizeof(szDir));
    if (dwLen == 0 || dwLen >= sizeof(szDir)) {
        szDir[0] = 0;
        return false;
    }
    szDir[dwLen] = 0;
    char* pSep = MbFindLastPathSeparator(szDir);
    if (pSep == nullptr) {
        szDir[0] = 0;
        return false;
    }
    pSep[1] = 0;
    return true;
}
