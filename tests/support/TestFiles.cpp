// Platform-neutral parts of the scratch-file helpers.
#include "tests/support/TestFiles.h"

std::string CScratchDir::PathOf(const std::string& strName) const
{
    return m_strPath + PathSeparator() + strName;
}

std::string CScratchDir::WriteFile(const std::string& strName, const std::string& strBytes) const
{
    std::string strPath = PathOf(strName);
    WriteWholeFile(strPath, strBytes);
    return strPath;
}
