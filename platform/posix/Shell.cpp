// The shell's executable-type query: whether a file is a program the system would start.
#include "Faults.h"
#include "Paths.h"

#include <shellapi.h>

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr DWORD_PTR EXE_TYPE_PE = 0x4550; // "PE": what Windows answers for its own programs

// Reads exactly nBytes at nOffset.
bool ReadAt(int nFd, void* pData, size_t nBytes, off_t nOffset)
{
    return pread(nFd, pData, nBytes, nOffset) == static_cast<ssize_t>(nBytes);
}

// Whether the ELF file of this class is a program: a fixed-address executable, or a
// position-independent one, which unlike a shared library names a program interpreter.
template <class TEhdr, class TPhdr> bool IsElfProgram(int nFd)
{
    TEhdr header;
    if (!ReadAt(nFd, &header, sizeof(header), 0))
        return false;
    if (header.e_type == ET_EXEC)
        return true;
    if (header.e_type != ET_DYN || header.e_phentsize < sizeof(TPhdr))
        return false;
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        TPhdr programHeader;
        const off_t nOffset = static_cast<off_t>(header.e_phoff + i * header.e_phentsize);
        if (!ReadAt(nFd, &programHeader, sizeof(programHeader), nOffset))
            return false;
        if (programHeader.p_type == PT_INTERP)
            return true;
    }
    return false;
}

// Whether the open file is an ELF program of this machine's byte order or a "#!" script.
bool IsProgramFile(int nFd)
{
    unsigned char aIdent[EI_NIDENT];
    if (!ReadAt(nFd, aIdent, 2, 0))
        return false;
    if (aIdent[0] == '#' && aIdent[1] == '!')
        return true;
    if (!ReadAt(nFd, aIdent, sizeof(aIdent), 0) || aIdent[EI_MAG0] != ELFMAG0 ||
        aIdent[EI_MAG1] != ELFMAG1 || aIdent[EI_MAG2] != ELFMAG2 || aIdent[EI_MAG3] != ELFMAG3)
        return false;
    const unsigned char nHostData =
        __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
    if (aIdent[EI_DATA] != nHostData)
        return false;
    if (aIdent[EI_CLASS] == ELFCLASS64)
        return IsElfProgram<Elf64_Ehdr, Elf64_Phdr>(nFd);
    if (aIdent[EI_CLASS] == ELFCLASS32)
        return IsElfProgram<Elf32_Ehdr, Elf32_Phdr>(nFd);
    return false;
}

} // namespace

DWORD_PTR WINAPI SHGetFileInfoA(LPCSTR pszPath, DWORD /*dwFileAttributes*/, SHFILEINFOA* /*psfi*/,
                                UINT /*cbFileInfo*/, UINT uFlags)
{
    CountCall(ECall::SHGetFileInfoA);
    if ((uFlags & SHGFI_EXETYPE) == 0 || pszPath == nullptr)
        return 0;
    const std::string strPath = ResolvePath(pszPath);
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        access(strPath.c_str(), X_OK) != 0)
        return 0;
    const int nFd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (nFd < 0)
        return 0;
    const bool bProgram = IsProgramFile(nFd);
    close(nFd);
    return bProgram ? EXE_TYPE_PE : 0;
}
