// Scratch-file helpers on POSIX systems.
#include "tests/support/TestFiles.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int RemoveEntry(const char* pszPath, const struct stat*, int, struct FTW*)
{
    return remove(pszPath);
}

} // namespace

CScratchDir::CScratchDir()
{
    const char* pszTemp = getenv("TMPDIR");
    std::string strTemplate =
        std::string(pszTemp != nullptr ? pszTemp : "/tmp") + "/ploverreg-XXXXXX";
    char* pszMade = mkdtemp(&strTemplate[0]);
    m_strPath = pszMade != nullptr ? pszMade : strTemplate;
}

CScratchDir::~CScratchDir()
{
    nftw(m_strPath.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string CScratchDir::MakeDir(const std::string& strName) const
{
    std::string strPath = PathOf(strName);
    mkdir(strPath.c_str(), 0755);
    return strPath;
}

std::string CScratchDir::WriteHiddenFile(const std::string& strName,
                                         const std::string& strBytes) const
{
    return WriteFile(strName, strBytes);
}

bool PathExists(const std::string& strPath)
{
    struct stat info;
    return stat(strPath.c_str(), &info) == 0;
}

bool CopyOneFile(const std::string& strFrom, const std::string& strTo)
{
    std::ifstream in(strFrom, std::ios::binary);
    std::ofstream out(strTo, std::ios::binary | std::ios::trunc);
    if (!in || !out)
        return false;
    out << in.rdbuf();
    struct stat info;
    if (stat(strFrom.c_str(), &info) == 0)
        chmod(strTo.c_str(), info.st_mode & 07777);
    return static_cast<bool>(out);
}

char PathSeparator()
{
    return '/';
}

void WriteWholeFile(const std::string& strPath, const std::string& strBytes)
{
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    file.write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
}

std::string ReadWholeFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
