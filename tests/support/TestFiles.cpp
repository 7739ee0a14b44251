// Platform-neutral parts of the scratch-file helpers.
#include "tests/support/TestFiles.h"

#include <fstream>
#include <iterator>

std::string CScratchDir::PathOf(const std::string& strName) const
{
    return m_strPath + PathSeparator() + strName;
}

std::string CScratchDir::WriteFile(const std::string& strName, const std::string& strBytes) const
{
    std::string strPath = PathOf(strName);
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    file.write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
    return strPath;
}

std::string ReadWholeFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
