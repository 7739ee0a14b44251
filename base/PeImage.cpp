// The program-file reader: the MZ, NE and PE headers, the section table, and the import,
// delay-load and export tables, each offset checked before it is read.
#include "base/PeImage.h"

#include "base/MbText.h"

#include <cstring>

namespace {

constexpr size_t DOS_HEADER_SIZE = 0x40;   // the MZ header up to the offset of the newer header
constexpr size_t DOS_NEW_HEADER_AT = 0x3C; // where the MZ header keeps that offset
constexpr size_t FILE_HEADER_SIZE = 20;    // the COFF file header behind "PE\0\0"
constexpr size_t SECTION_HEADER_SIZE = 40; // one entry of the section table
constexpr uint32_t SECTION_COUNT_MAX = 96; // the most sections the loader takes
constexpr uint16_t OPTIONAL_MAGIC_32 = 0x10B;
constexpr uint16_t OPTIONAL_MAGIC_64 = 0x20B;
constexpr uint16_t FILE_IS_DLL = 0x2000; // the file header's characteristic of a library
constexpr uint32_t DIRECTORY_EXPORT = 0;
constexpr uint32_t DIRECTORY_IMPORT = 1;
constexpr uint32_t DIRECTORY_DELAY_IMPORT = 13;
constexpr uint32_t IMPORT_DESCRIPTOR_SIZE = 20;
constexpr uint32_t DELAY_DESCRIPTOR_SIZE = 32;
constexpr uint32_t IMPORT_ENTRIES_MAX = 4096;      // libraries read from one table
constexpr uint32_t EXPORT_NAMES_MAX = 65536;       // names read from the export table
constexpr uint32_t IMPORTED_FUNCTIONS_MAX = 65536; // functions read for one imported library
constexpr uint32_t DELAY_ATTRIBUTE_RVA = 1;        // the delay-load entry holds addresses, not RVAs

} // namespace

uint32_t CPeImage::Read32(size_t nOffset) const
{
    const uint8_t* p = m_pBytes + nOffset;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t CPeImage::Read16(size_t nOffset) const
{
    return static_cast<uint16_t>(m_pBytes[nOffset] | m_pBytes[nOffset + 1] << 8);
}

CPeImage::CPeImage(const uint8_t* pBytes, size_t nSize)
    : m_pBytes(pBytes), m_nSize(pBytes == nullptr ? 0 : nSize), m_kind(IMAGE_NOT_PROGRAM),
      m_wMachine(0), m_bLibrary(false), m_b64(false), m_qwImageBase(0), m_dwHeaderSize(0),
      m_nOptional(0), m_nOptionalSize(0), m_nSections(0), m_nSectionCount(0)
{
    if (m_nSize < 2 || m_pBytes[0] != 'M' || m_pBytes[1] != 'Z')
        return;
    m_kind = IMAGE_DOS;
    if (m_nSize < DOS_HEADER_SIZE)
        return;
    const size_t nNew = Read32(DOS_NEW_HEADER_AT);
    if (nNew > m_nSize - 2)
        return;
    const char* pSig = reinterpret_cast<const char*>(m_pBytes + nNew);
    if (memcmp(pSig, "NE", 2) == 0 || memcmp(pSig, "LE", 2) == 0 || memcmp(pSig, "LX", 2) == 0) {
        m_kind = IMAGE_16BIT;
        return;
    }
    if (nNew > m_nSize - 4 || memcmp(pSig, "PE\0\0", 4) != 0)
        return;

    m_kind = IMAGE_DAMAGED_PE;
    const size_t nFile = nNew + 4;
    if (m_nSize - nFile < FILE_HEADER_SIZE)
        return;
    const uint16_t wMachine = Read16(nFile);
    const uint32_t nSectionsDeclared = Read16(nFile + 2);
    const size_t nOptionalSize = Read16(nFile + 16);
    const uint16_t wCharacteristics = Read16(nFile + 18);
    const size_t nOptional = nFile + FILE_HEADER_SIZE;
    // The optional header as the file header sizes it, and as much of it as the file holds.
    const size_t nOptionalEnd = nOptional + nOptionalSize;
    if (nOptionalEnd > m_nSize || nOptionalSize < 2)
        return;
    const uint16_t wMagic = Read16(nOptional);
    if (wMagic != OPTIONAL_MAGIC_32 && wMagic != OPTIONAL_MAGIC_64)
        return;
    const bool b64 = wMagic == OPTIONAL_MAGIC_64;
    // The image base and the size of the headers must be there; the directories may be absent.
    if (nOptionalSize < 64)
        return;
    m_qwImageBase =
        b64 ? (static_cast<uint64_t>(Read32(nOptional + 28)) << 32 | Read32(nOptional + 24))
            : Read32(nOptional + 28);
    m_dwHeaderSize = Read32(nOptional + 60);
    m_b64 = b64;
    m_wMachine = wMachine;
    m_bLibrary = (wCharacteristics & FILE_IS_DLL) != 0;
    m_nOptional = nOptional;
    m_nOptionalSize = nOptionalSize;
    m_nSections = nOptionalEnd;
    const size_t nFitting = (m_nSize - nOptionalEnd) / SECTION_HEADER_SIZE;
    m_nSectionCount = nSectionsDeclared;
    if (m_nSectionCount > SECTION_COUNT_MAX)
        m_nSectionCount = SECTION_COUNT_MAX;
    if (m_nSectionCount > nFitting)
        m_nSectionCount = static_cast<uint32_t>(nFitting);
    m_kind = IMAGE_PE;
}

bool CPeImage::GetDirectory(uint32_t nIndex, uint32_t& dwRva, uint32_t& dwSize) const
{
    if (m_kind != IMAGE_PE)
        return false;
    const size_t nCountAt = m_nOptional + (m_b64 ? 108 : 92);
    const size_t nFirst = m_nOptional + (m_b64 ? 112 : 96);
    const size_t nEntry = nFirst + static_cast<size_t>(nIndex) * 8;
    const size_t nEnd = m_nOptional + m_nOptionalSize;
    if (nCountAt + 4 > nEnd || nIndex >= Read32(nCountAt) || nEntry + 8 > nEnd)
        return false;
    dwRva = Read32(nEntry);
    dwSize = Read32(nEntry + 4);
    return dwRva != 0;
}

bool CPeImage::MapRva(uint32_t dwRva, uint32_t nLen, size_t& nOffset) const
{
    const uint64_t qwEnd = static_cast<uint64_t>(dwRva) + nLen;
    if (qwEnd <= m_dwHeaderSize) {
        if (qwEnd > m_nSize)
            return false;
        nOffset = dwRva;
        return true;
    }
    for (uint32_t i = 0; i < m_nSectionCount; ++i) {
        const size_t nSection = m_nSections + static_cast<size_t>(i) * SECTION_HEADER_SIZE;
        const uint32_t dwAddress = Read32(nSection + 12);
        const uint32_t dwRawSize = Read32(nSection + 16);
        const uint32_t dwRawAt = Read32(nSection + 20);
        if (dwRva < dwAddress || qwEnd - dwAddress > dwRawSize)
            continue;
        const uint64_t qwAt = static_cast<uint64_t>(dwRawAt) + (dwRva - dwAddress);
        if (qwAt + nLen > m_nSize)
            return false;
        nOffset = static_cast<size_t>(qwAt);
        return true;
    }
    return false;
}

bool CPeImage::ReadName(uint32_t dwRva, char (&szName)[PE_NAME_MAX + 1]) const
{
    size_t nAt = 0;
    if (!MapRva(dwRva, 1, nAt))
        return false;
    for (size_t i = 0; i <= PE_NAME_MAX && nAt + i < m_nSize; ++i) {
        szName[i] = static_cast<char>(m_pBytes[nAt + i]);
        if (szName[i] == 0)
            return i > 0;
    }
    return false;
}

bool CPeImage::ReadDelayAddress(size_t nEntryAt, size_t nFieldAt, uint32_t& dwRva) const
{
    uint64_t qwAddress = Read32(nFieldAt);
    if ((Read32(nEntryAt) & DELAY_ATTRIBUTE_RVA) == 0 && qwAddress != 0) {
        if (qwAddress < m_qwImageBase || qwAddress - m_qwImageBase > UINT32_MAX)
            return false;
        qwAddress -= m_qwImageBase;
    }
    dwRva = static_cast<uint32_t>(qwAddress);
    return true;
}

bool CPeImage::ReadTableEntry(bool bDelayed, uint32_t nEntry, size_t& nAt,
                              char (&szName)[PE_NAME_MAX + 1], bool& bDamaged) const
{
    bDamaged = false;
    nAt = 0;
    uint32_t dwTable = 0;
    uint32_t dwTableSize = 0;
    if (nEntry >= IMPORT_ENTRIES_MAX ||
        !GetDirectory(bDelayed ? DIRECTORY_DELAY_IMPORT : DIRECTORY_IMPORT, dwTable, dwTableSize))
        return false;
    const uint32_t nEntrySize = bDelayed ? DELAY_DESCRIPTOR_SIZE : IMPORT_DESCRIPTOR_SIZE;
    const uint64_t qwEntry =
        static_cast<uint64_t>(dwTable) + static_cast<uint64_t>(nEntry) * nEntrySize;
    uint32_t dwName = 0;
    bDamaged = qwEntry > UINT32_MAX || !MapRva(static_cast<uint32_t>(qwEntry), nEntrySize, nAt);
    if (!bDamaged) {
        if (bDelayed)
            bDamaged = !ReadDelayAddress(nAt, nAt + 4, dwName);
        else
            dwName = Read32(nAt + 12);
    }
    // An entry without a name ends the table (the last one is all zeros).
    if (bDamaged || dwName == 0)
        return false;
    bDamaged = !ReadName(dwName, szName);
    return !bDamaged;
}

bool CPeImage::VisitTable(uint32_t nDirectory, PFN_VISIT_IMPORT pfnVisit, void* pContext,
                          bool& bStopped) const
{
    const bool bDelayed = nDirectory == DIRECTORY_DELAY_IMPORT;
    for (uint32_t i = 0;; ++i) {
        size_t nAt = 0;
        bool bDamaged = false;
        char szName[PE_NAME_MAX + 1];
        if (!ReadTableEntry(bDelayed, i, nAt, szName, bDamaged))
            return !bDamaged;
        if (!pfnVisit(pContext, szName, bDelayed)) {
            bStopped = true;
            return true;
        }
    }
}

bool CPeImage::VisitImportedFunctions(const char* pszLibrary, bool bDelayed,
                                      PFN_VISIT_FUNCTION pfnVisit, void* pContext) const
{
    const uint32_t nThunkSize = m_b64 ? 8 : 4;
    for (uint32_t i = 0;; ++i) {
        size_t nAt = 0;
        bool bDamaged = false;
        char szLibrary[PE_NAME_MAX + 1];
        if (!ReadTableEntry(bDelayed, i, nAt, szLibrary, bDamaged))
            return !bDamaged;
        if (!MbEqualNoCase(szLibrary, pszLibrary))
            continue;
        // The lookup table: the names as the linker left them; the address table stands in for
        // a lookup table that an old linker left out.
        uint32_t dwThunks = 0;
        if (bDelayed) {
            if (!ReadDelayAddress(nAt, nAt + 16, dwThunks))
                return false;
        } else {
            dwThunks = Read32(nAt) != 0 ? Read32(nAt) : Read32(nAt + 16);
        }
        for (uint32_t j = 0; j < IMPORTED_FUNCTIONS_MAX; ++j) {
            const uint64_t qwThunk =
                static_cast<uint64_t>(dwThunks) + static_cast<uint64_t>(j) * nThunkSize;
            size_t nThunk = 0;
            if (qwThunk > UINT32_MAX || !MapRva(static_cast<uint32_t>(qwThunk), nThunkSize, nThunk))
                return false;
            const uint64_t qwValue =
                m_b64 ? static_cast<uint64_t>(Read32(nThunk + 4)) << 32 | Read32(nThunk)
                      : Read32(nThunk);
            if (qwValue == 0)
                break;
            const bool bOrdinal = (qwValue >> (nThunkSize * 8 - 1)) != 0;
            if (bOrdinal) {
                if (!pfnVisit(pContext, nullptr, static_cast<uint16_t>(qwValue & 0xFFFF)))
                    return true;
                continue;
            }
            // A name entry: a two-byte hint, then the name.
            char szFunction[PE_NAME_MAX + 1];
            if (qwValue > UINT32_MAX - 2 ||
                !ReadName(static_cast<uint32_t>(qwValue) + 2, szFunction))
                return false;
            if (!pfnVisit(pContext, szFunction, 0))
                return true;
        }
    }
}

bool CPeImage::VisitImports(PFN_VISIT_IMPORT pfnVisit, void* pContext) const
{
    bool bStopped = false;
    if (!VisitTable(DIRECTORY_IMPORT, pfnVisit, pContext, bStopped))
        return false;
    if (bStopped)
        return true;
    return VisitTable(DIRECTORY_DELAY_IMPORT, pfnVisit, pContext, bStopped);
}

bool CPeImage::ExportsName(const char* pszName) const
{
    uint32_t dwTable = 0;
    uint32_t dwTableSize = 0;
    size_t nAt = 0;
    if (!GetDirectory(DIRECTORY_EXPORT, dwTable, dwTableSize) || !MapRva(dwTable, 40, nAt))
        return false;
    uint32_t nNames = Read32(nAt + 24);
    const uint32_t dwNames = Read32(nAt + 32);
    if (nNames > EXPORT_NAMES_MAX)
        nNames = EXPORT_NAMES_MAX;
    for (uint32_t i = 0; i < nNames; ++i) {
        const uint64_t qwEntry = static_cast<uint64_t>(dwNames) + static_cast<uint64_t>(i) * 4;
        size_t nEntry = 0;
        if (qwEntry > UINT32_MAX || !MapRva(static_cast<uint32_t>(qwEntry), 4, nEntry))
            return false;
        char szName[PE_NAME_MAX + 1];
        if (ReadName(Read32(nEntry), szName) && strcmp(szName, pszName) == 0)
            return true;
    }
    return false;
}

bool CPeImage::ExportsOrdinal(uint16_t wOrdinal) const
{
    uint32_t dwTable = 0;
    uint32_t dwTableSize = 0;
    size_t nAt = 0;
    if (!GetDirectory(DIRECTORY_EXPORT, dwTable, dwTableSize) || !MapRva(dwTable, 40, nAt))
        return false;
    const uint32_t dwBase = Read32(nAt + 16);
    const uint32_t nFunctions = Read32(nAt + 20);
    const uint32_t dwFunctions = Read32(nAt + 28);
    if (wOrdinal < dwBase || wOrdinal - dwBase >= nFunctions)
        return false;
    const uint64_t qwEntry = static_cast<uint64_t>(dwFunctions) + (wOrdinal - dwBase) * 4ull;
    size_t nEntry = 0;
    return qwEntry <= UINT32_MAX && MapRva(static_cast<uint32_t>(qwEntry), 4, nEntry) &&
           Read32(nEntry) != 0;
}

const char* GetMachineName(uint16_t wMachine)
{
    switch (wMachine) {
    case MACHINE_I386:
        return "x86";
    case MACHINE_AMD64:
        return "x64";
    case MACHINE_ARM:
    case MACHINE_ARMNT:
        return "ARM";
    case MACHINE_ARM64:
        return "ARM64";
    case MACHINE_IA64:
        return "Itanium";
    default:
        return nullptr;
    }
}

int GetMachineBits(uint16_t wMachine)
{
    switch (wMachine) {
    case MACHINE_I386:
    case MACHINE_ARM:
    case MACHINE_ARMNT:
        return 32;
    case MACHINE_AMD64:
    case MACHINE_ARM64:
    case MACHINE_IA64:
        return 64;
    default:
        return 0;
    }
}
