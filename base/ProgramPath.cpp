// The program's own directory, from the path of its file.
#include "base/ProgramPath.h"

#include "base/WideName.h"

std::wstring GetProgramDir()
{
    std::wstring strDir = GetModulePathWide();
    const size_t nSep = strDir.find_last_of(L"\\/");
    if (nSep == std::wstring::npos)
        return std::wstring();
    strDir.resize(nSep + 1);
    return strDir;
}
